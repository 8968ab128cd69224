#include "packer/pack/container_writer.h"

#include <cstddef>
#include <cstring>

#include "bytes/cp932_chars.h"
#include "bytes/little_endian.h"
#include "container/payload_container.h"
#include "packer/stub/stub_image.h"
#include "packer/system/pack_error.h"

void CheckVersionText(const std::string& versionText)
{
    if (versionText.size() > kMaxVersionText)
        throw PackError("version text is " + std::to_string(versionText.size()) + " bytes in CP932; at most " +
                        std::to_string(kMaxVersionText) + " fit the payload header");
    if (versionText.find('\0') != std::string::npos)
        throw PackError("version text holds a NUL byte");
}

void CheckMessageText(const std::string& message)
{
    if (message.find('\0') != std::string::npos)
        throw PackError("message text holds a NUL byte, which would cut it short");
}

namespace {

// A message box is at most 278 dialog units wide (Vista on): some 36
// full-width characters of the 9-point UI font, 72 half-width columns.
const size_t kBoxColumns = 72;
// A 1024x768 screen's work area above a 40-pixel taskbar, less the box's
// title bar, margins and buttons (some 120 pixels), at 16 pixels a line.
const size_t kBoxLines = 36;
const size_t kTabColumns = 8;

} // namespace

std::string MessageOverflow(const std::string& message)
{
    size_t lines = 0, shown = 0, widest = 0, widestLine = 0, columns = 0;
    auto endLine = [&]() {
        ++lines;
        shown += columns == 0 ? 1 : (columns + kBoxColumns - 1) / kBoxColumns;
        if (columns > widest)
            widest = columns, widestLine = lines;
        columns = 0;
    };
    for (size_t i = 0; i < message.size(); ++i) {
        unsigned char c = (unsigned char)message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n')
                ++i;
            endLine();
        } else if (c == '\t') {
            columns += kTabColumns - columns % kTabColumns;
        } else if (IsCp932LeadByte(c) && i + 1 < message.size()) {
            columns += 2;
            ++i;
        } else {
            columns += 1;
        }
    }
    if (columns > 0 || lines == 0)
        endLine();
    if (shown <= kBoxLines)
        return "";
    return "the message is " + std::to_string(lines) + " line" + (lines == 1 ? "" : "s") + ", the widest (line " +
           std::to_string(widestLine) + ") " + std::to_string(widest) + " columns: a message box on a 1024x768 "
           "screen shows about " + std::to_string(kBoxLines) + " lines of " + std::to_string(kBoxColumns) +
           " columns (" + std::to_string(kBoxColumns / 2) + " full-width characters), so its OK and Cancel buttons "
           "would lie below the screen's edge; shorten it";
}

void CheckInstallerSize(uint64_t size, const std::string& packedSoFar)
{
    if (size <= kMaxInstaller)
        return;
    std::string sizeIs = packedSoFar.empty() ? SizeText(size) + " bytes"
                                             : "more than " + SizeText(size) + " bytes (" + packedSoFar + ")";
    throw PackError("the installer would be " + sizeIs + "; it may be at most " + SizeText(kMaxInstaller) +
                    " bytes (1 GiB): it maps the whole of itself into memory, and 32-bit Windows seldom has a "
                    "larger block of addresses free");
}

InstallerImage StartInstallerImage(const std::vector<uint8_t>& stub)
{
    // Taken once more as it now is: an icon's image could have formed a
    // magic run that the installer would find before ours.
    CheckCanCarryContainer(stub);
    InstallerImage image;
    const size_t containerStart = (stub.size() + kContainerAlignment - 1) / kContainerAlignment * kContainerAlignment;
    image.headerOffset = containerStart + kMagicRunLength;
    image.bytes.assign(image.headerOffset + sizeof(PayloadHeader), 0);
    memcpy(image.bytes.data(), stub.data(), stub.size());
    // Built from the repeats: no single constant in this program is the whole run.
    for (uint32_t group = 0; group < kMagicRepeats; ++group)
        memcpy(&image.bytes[containerStart + group * kMagicTextLength], kMagicText, kMagicTextLength);
    return image;
}

std::vector<uint8_t> PayloadHeaderBytes(size_t headerOffset, size_t archiveSize, const std::string& versionText,
                                   const std::string& message, int32_t memberCount)
{
    CheckVersionText(versionText);
    CheckMessageText(message);
    const size_t archiveOffset = sizeof(PayloadHeader);
    const size_t messageBytes = message.empty() ? 0 : message.size() + 1;
    CheckInstallerSize((uint64_t)headerOffset + archiveOffset + archiveSize + messageBytes);

    std::vector<uint8_t> header(sizeof(PayloadHeader), 0);
    memcpy(header.data(), versionText.data(), versionText.size());
    StoreLe32(&header[offsetof(PayloadHeader, messageOffset)],
              message.empty() ? 0 : (uint32_t)(archiveOffset + archiveSize));
    StoreLe32(&header[offsetof(PayloadHeader, memberCount)], (uint32_t)memberCount);
    StoreLe32(&header[offsetof(PayloadHeader, archiveOffset)], (uint32_t)archiveOffset);
    StoreLe32(&header[offsetof(PayloadHeader, archiveSize)], (uint32_t)archiveSize);
    return header;
}

std::vector<uint8_t> MessageTrailer(const std::string& message)
{
    std::vector<uint8_t> trailer(message.begin(), message.end());
    if (!message.empty())
        trailer.push_back(0);
    return trailer;
}
