// Joins the stub and the payload container into the finished installer: the
// stub, zeros up to the next 256-byte boundary, the magic run, the payload
// header, the archive, and the confirmation text if there is one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

const size_t kMaxVersionText = 15;

// Throws PackError when the stub is not a Windows program or already carries a
// container (the installer would find that one instead of ours).
void CheckStub(const std::vector<uint8_t>& stub);

// Throws PackError when the texts do not fit: a version text over 15 bytes, or
// a message holding a NUL byte.
void CheckTexts(const std::string& versionText, const std::string& message);

struct InstallerImage {
    std::vector<uint8_t> bytes;
    size_t headerOffset = 0;
};

// The stub, the padding, the magic run and room for the payload header; the
// archive is to be appended right behind. Throws as CheckStub does.
InstallerImage StartInstallerImage(const std::vector<uint8_t>& stub);

// The payload header for an archive of archiveSize bytes right behind it,
// with the message (CP932, without NUL; empty for none) placed after the
// archive, in an installer that starts with the header at headerOffset. Throws
// as CheckTexts does, and for an image too large for the installer's signed
// 32-bit offsets.
std::vector<uint8_t> PayloadHeaderBytes(size_t headerOffset, size_t archiveSize, const std::string& versionText,
                                   const std::string& message, int32_t memberCount);

// The confirmation text as it follows the archive: its bytes and a NUL, or nothing.
std::vector<uint8_t> MessageTrailer(const std::string& message);

// Fills in the header for the archive that now ends the image, and appends the
// message. Throws as PayloadHeaderBytes does.
void FinishInstallerImage(InstallerImage& image, const std::string& versionText, const std::string& message,
                          int32_t memberCount);
