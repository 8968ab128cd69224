// Any bytes as an installer file: the container scan must stay inside them,
// find the first magic run at a 256-byte boundary, and accept only headers
// whose archive and message lie inside the file.
#include <stdlib.h>
#include <string.h>

#include "bytes/little_endian.h"
#include "container/payload_container.h"

static bool MagicAt(const uint8_t* data, size_t at)
{
    for (uint32_t i = 0; i < kMagicRepeats; ++i)
        if (memcmp(data + at + i * kMagicTextLength, kMagicText, kMagicTextLength) != 0)
            return false;
    return true;
}

static void Require(bool condition)
{
    if (!condition)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t header;
    int code = ScanContainer(data, (uint32_t)size, &header);

    size_t first = SIZE_MAX;
    for (size_t at = 0; size > kMagicRunLength && at < size - kMagicRunLength; at += kContainerAlignment) {
        if (MagicAt(data, at)) {
            first = at;
            break;
        }
    }
    if (code == PAYLOAD_NOT_FOUND) {
        Require(first == SIZE_MAX && header == kNoHeader);
        return 0;
    }
    Require(first != SIZE_MAX);
    if (code == PAYLOAD_OUT_OF_BOUNDS) {
        Require(header == kNoHeader ? first + 56 > size : header == first + kMagicRunLength);
        return 0;
    }
    Require(code == PAYLOAD_OK && header == first + kMagicRunLength && header + 32 <= size);
    const uint8_t* h = data + header;
    int64_t archive = (int64_t)header + (int32_t)LoadLe32(h + 24);
    int64_t archiveSize = (int32_t)LoadLe32(h + 28);
    Require(archive >= 0 && archiveSize >= 0 && archive + archiveSize <= (int64_t)size);
    int32_t message = (int32_t)LoadLe32(h + 16);
    if (message != 0) {
        int64_t start = (int64_t)header + message;
        Require(start >= 0 && start < (int64_t)size && memchr(data + start, 0, size - (size_t)start) != nullptr);
    }
    return 0;
}
