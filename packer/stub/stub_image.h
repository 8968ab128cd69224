// The installer stub as the packer takes it: one of ours, recognised by the
// marker resource that resources/installer.rc gives it, unsigned, and
// optionally branded with the publisher's icon and version information.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/stub/icon_file.h"
#include "packer/stub/version_resource.h"

// The installer maps the whole of its file into its address space: a 32-bit
// process, which on 32-bit Windows has 2 GiB of addresses, its largest free
// block well under that.
const uint64_t kMaxInstaller = (uint64_t)1 << 30;

// Throws PackError (data error, without the file's name) when program is no
// Windows program that a payload container can follow: no MZ header, too
// large for the installer, or one that already carries a container (the
// installer would find that one instead).
void CheckCanCarryContainer(const std::vector<uint8_t>& program);

// What build asks of the stub it is given: CheckCanCarryContainer's tests,
// then that it is one of our stubs and unsigned. Throws PackError as that
// does.
void CheckStub(const std::vector<uint8_t>& stub);

struct Branding {
    std::vector<IconImage> icon; // empty: the stub's own
    VersionStrings versionStrings; // empty: the stub's own
    std::string executionLevel; // empty: the stub's own (execution_level.h)
};

// The stub with the first icon group (the one Explorer shows) replaced by the
// icon, or one added when it has none, with a VERSIONINFO resource of the
// strings in place of any it had, and with its manifest's execution level
// set. What brands nothing leaves the stub's bytes as they are. Throws
// PackError.
std::vector<uint8_t> BrandStub(const std::vector<uint8_t>& stub, const Branding& branding);
