#include "packer/pack/container_writer.h"

#include <cstddef>
#include <cstring>

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
