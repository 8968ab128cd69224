// The installer stub as the packer takes it: one of ours, recognised by the
// marker resource that resources/installer.rc gives it, unsigned, and
// optionally branded with the publisher's icon and version information.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/stub/icon_file.h"
#include "packer/stub/version_resource.h"

// Throws PackError (data error, without the file's name) when stub is no
// Windows program, is not one of our stubs, or carries a signature.
void CheckOurStub(const std::vector<uint8_t>& stub);

struct Branding {
    std::vector<IconImage> icon; // empty: the stub's own
    VersionStrings versionStrings; // empty: the stub's own
};

// The stub with the first icon group (the one Explorer shows) replaced by the
// icon, or one added when it has none, and with a VERSIONINFO resource of the
// strings in place of any it had. Throws PackError.
std::vector<uint8_t> BrandStub(const std::vector<uint8_t>& stub, const Branding& branding);
