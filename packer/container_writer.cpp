#include "packer/container_writer.h"

#include <cstddef>
#include <cstring>

#include "driver/container.h"
#include "packer/pack_error.h"

namespace {

// The installer reads its own size and every offset as signed 32-bit numbers.
const size_t kMaxImage = 0x7FFFFFFF;

void PutLe32(uint8_t* p, int32_t value)
{
    uint32_t v = (uint32_t)value;
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

} // namespace

void CheckStub(const std::vector<uint8_t>& stub)
{
    if (stub.size() < 2 || stub[0] != 'M' || stub[1] != 'Z')
        throw PackError("not a Windows program (no MZ header)");
    if (stub.size() > kMaxImage)
        throw PackError("too large for an installer");
    uint32_t headerOffset;
    if (ScanContainer(stub.data(), (uint32_t)stub.size(), &headerOffset) != PAYLOAD_NOT_FOUND)
        throw PackError("already carries a payload container; give the bare stub");
}

void CheckTexts(const std::string& versionText, const std::string& message)
{
    if (versionText.size() > kMaxVersionText)
        throw PackError("version text is " + std::to_string(versionText.size()) + " bytes in CP932; at most " +
                        std::to_string(kMaxVersionText) + " fit the payload header");
    if (versionText.find('\0') != std::string::npos)
        throw PackError("version text holds a NUL byte");
    if (message.find('\0') != std::string::npos)
        throw PackError("message text holds a NUL byte, which would cut it short");
}

std::vector<uint8_t> BuildInstallerImage(const InstallerParts& parts)
{
    CheckStub(parts.stub);
    CheckTexts(parts.versionText, parts.message);

    const size_t containerStart = (parts.stub.size() + kContainerAlignment - 1) / kContainerAlignment * kContainerAlignment;
    const size_t headerStart = containerStart + kMagicRunLength;
    const size_t archiveStart = headerStart + sizeof(PayloadHeader);
    const size_t messageBytes = parts.message.empty() ? 0 : parts.message.size() + 1;
    const size_t total = archiveStart + parts.archive.size() + messageBytes;
    if (total > kMaxImage)
        throw PackError("the installer would exceed 2 GiB, more than it can read of itself");

    std::vector<uint8_t> image(total, 0);
    memcpy(image.data(), parts.stub.data(), parts.stub.size());
    // Built from the repeats: no single constant in this program is the whole run.
    for (uint32_t group = 0; group < kMagicRepeats; ++group)
        memcpy(&image[containerStart + group * kMagicTextLength], kMagicText, kMagicTextLength);

    uint8_t* header = &image[headerStart];
    memcpy(header, parts.versionText.data(), parts.versionText.size());
    const int32_t archiveOffset = (int32_t)sizeof(PayloadHeader);
    const int32_t archiveSize = (int32_t)parts.archive.size();
    PutLe32(header + offsetof(PayloadHeader, messageOffset), parts.message.empty() ? 0 : archiveOffset + archiveSize);
    PutLe32(header + offsetof(PayloadHeader, memberCount), parts.memberCount);
    PutLe32(header + offsetof(PayloadHeader, archiveOffset), archiveOffset);
    PutLe32(header + offsetof(PayloadHeader, archiveSize), archiveSize);

    if (!parts.archive.empty())
        memcpy(&image[archiveStart], parts.archive.data(), parts.archive.size());
    if (!parts.message.empty())
        memcpy(&image[archiveStart + parts.archive.size()], parts.message.data(), parts.message.size());
    return image;
}
