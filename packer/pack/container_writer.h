// Joins the stub and the payload container into the finished installer: the
// stub, zeros up to the next 256-byte boundary, the magic run, the payload
// header, the archive, and the confirmation text if there is one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

const size_t kMaxVersionText = 15;

// Throw PackError when a text does not fit the payload header: a version
// text over 15 bytes or holding a NUL byte; a message holding a NUL byte.
void CheckVersionText(const std::string& versionText);
void CheckMessageText(const std::string& message);

// Throws PackError naming size and kMaxInstaller (packer/stub/stub_image.h)
// when an installer of size bytes would be larger; packedSoFar, when not
// empty, says that size counts only what has been packed so far.
void CheckInstallerSize(uint64_t size, const std::string& packedSoFar = "");

// How the installer's message box shows the confirmation message (CP932) on
// a 1024x768 screen: "" when whole, else a warning that names its line count
// and widest line. Lines are counted as Windows wraps them.
std::string MessageOverflow(const std::string& message);

struct InstallerImage {
    std::vector<uint8_t> bytes;
    size_t headerOffset = 0;
};

// The stub, the padding, the magic run and room for the payload header; the
// archive is to be appended right behind. Throws as CheckCanCarryContainer
// (packer/stub/stub_image.h) does.
InstallerImage StartInstallerImage(const std::vector<uint8_t>& stub);

// The payload header for an archive of archiveSize bytes right behind it,
// with the message (CP932, without NUL; empty for none) placed after the
// archive, in an installer that starts with the header at headerOffset. Throws
// as the text checks and CheckInstallerSize do.
std::vector<uint8_t> PayloadHeaderBytes(size_t headerOffset, size_t archiveSize, const std::string& versionText,
                                   const std::string& message, int32_t memberCount);

// The confirmation text as it follows the archive: its bytes and a NUL, or nothing.
std::vector<uint8_t> MessageTrailer(const std::string& message);
