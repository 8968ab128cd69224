#include "container/payload_container.h"

#include <string.h>

#include "bytes/little_endian.h"

const char kMagicText[kMagicTextLength + 1] = "#ZQJ# ";

static bool MagicRunAt(const unsigned char* p)
{
    for (uint32_t group = 0; group < kMagicRepeats; ++group) {
        if (memcmp(p + group * kMagicTextLength, kMagicText, kMagicTextLength) != 0)
            return false;
    }
    return true;
}

// 64-bit arithmetic: no offset or size from the header can wrap around and
// point back into the buffer, whatever its sign.
static bool RangeInside(int64_t start, int64_t length, uint32_t size)
{
    return start >= 0 && length >= 0 && start + length <= (int64_t)size;
}

static bool MessageInside(const unsigned char* file, uint32_t size, uint32_t header, int32_t messageOffset)
{
    if (messageOffset == 0)
        return true;
    int64_t start = (int64_t)header + messageOffset;
    if (!RangeInside(start, 1, size))
        return false;
    return memchr(file + start, 0, size - (uint32_t)start) != nullptr;
}

int ScanContainer(const unsigned char* file, uint32_t size, uint32_t* headerOffset)
{
    *headerOffset = kNoHeader;
    if (size <= kMagicRunLength)
        return PAYLOAD_NOT_FOUND;

    for (uint64_t offset = 0; offset < size - kMagicRunLength; offset += kContainerAlignment) {
        if (!MagicRunAt(file + offset))
            continue;
        uint32_t header = (uint32_t)offset + kMagicRunLength;
        if ((uint64_t)header + sizeof(PayloadHeader) > size)
            return PAYLOAD_OUT_OF_BOUNDS;
        *headerOffset = header;

        const unsigned char* h = file + header;
        int32_t messageOffset = (int32_t)LoadLe32(h + 16);
        int32_t archiveOffset = (int32_t)LoadLe32(h + 24);
        int32_t archiveSize = (int32_t)LoadLe32(h + 28);
        if (!RangeInside((int64_t)header + archiveOffset, archiveSize, size))
            return PAYLOAD_OUT_OF_BOUNDS;
        if (!MessageInside(file, size, header, messageOffset))
            return PAYLOAD_OUT_OF_BOUNDS;
        return PAYLOAD_OK;
    }
    return PAYLOAD_NOT_FOUND;
}
