// Joins the stub and the payload container into the finished installer: the
// stub, zeros up to the next 256-byte boundary, the magic run, the payload
// header, the archive, and the confirmation text if there is one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

const size_t kMaxVersionText = 15;

struct InstallerParts {
    std::vector<uint8_t> stub;     // the installer program; must carry no container yet
    std::string versionText;       // CP932, at most kMaxVersionText bytes
    std::string message;           // CP932, no NUL; empty: no confirmation
    int32_t memberCount = 0;
    std::vector<uint8_t> archive;  // with its end mark
};

// Throws PackError when the stub is not a Windows program or already carries a
// container (the installer would find that one instead of ours).
void CheckStub(const std::vector<uint8_t>& stub);

// Throws PackError when the texts do not fit: a version text over 15 bytes, or
// a message holding a NUL byte.
void CheckTexts(const std::string& versionText, const std::string& message);

// The installer file. Throws PackError as the checks above do, and for an image
// too large for the installer's signed 32-bit offsets.
std::vector<uint8_t> BuildInstallerImage(const InstallerParts& parts);
