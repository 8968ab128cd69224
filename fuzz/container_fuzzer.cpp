// Any bytes as an installer file: the container scan must stay inside them
// and give what the format says, worked out here another way: the magic run
// looked for at every offset, the first one at a 256-byte boundary with a
// byte after it taken; its header must fit, and the archive and message it
// names must lie inside the file.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "container/payload_container.h"

static void Require(bool condition)
{
    if (!condition)
        abort();
}

static int64_t Field(const uint8_t* p)
{
    return (int32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t header;
    int code = ScanContainer(data, (uint32_t)size, &header);

    static const char kRun[] = "#ZQJ# #ZQJ# #ZQJ# #ZQJ# ";
    const size_t runLength = sizeof kRun - 1;
    size_t run = SIZE_MAX;
    for (const uint8_t* at = data; (at = std::search(at, data + size, kRun, kRun + runLength)) != data + size; ++at) {
        size_t offset = (size_t)(at - data);
        if (offset % 256 == 0 && offset + runLength < size) {
            run = offset;
            break;
        }
    }
    if (run == SIZE_MAX) {
        Require(code == PAYLOAD_NOT_FOUND && header == kNoHeader);
        return 0;
    }
    size_t expected = run + runLength;
    if (expected + 32 > size) {
        Require(code == PAYLOAD_OUT_OF_BOUNDS && header == kNoHeader);
        return 0;
    }
    Require(header == expected);
    const uint8_t* h = data + expected;
    int64_t archive = (int64_t)expected + Field(h + 24), archiveSize = Field(h + 28), message = Field(h + 16);
    bool inside = archive >= 0 && archiveSize >= 0 && archive + archiveSize <= (int64_t)size;
    if (inside && message != 0) {
        int64_t start = (int64_t)expected + message;
        inside = start >= 0 && start < (int64_t)size && memchr(data + start, 0, size - (size_t)start) != nullptr;
    }
    Require(code == (inside ? PAYLOAD_OK : PAYLOAD_OUT_OF_BOUNDS));
    return 0;
}
