// morlu-pack list FILE: one line per member, read from the headers alone.
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "extract/member_header.h"
#include "packer/cli_support.h"
#include "packer/command.h"
#include "packer/exit_codes.h"

static const char kArguments[] = "FILE";

static void PrintMember(const unsigned char* header)
{
    char method[6];
    for (int i = 0; i < 5; ++i) {
        unsigned char c = header[kHeaderMethod + i];
        method[i] = c >= 0x20 && c < 0x7F ? (char)c : '?';
    }
    method[5] = '\0';
    unsigned date = LoadLe16(header + kHeaderDosDate);
    unsigned time = LoadLe16(header + kHeaderDosTime);
    unsigned nameLength = header[kHeaderNameLength];
    printf("%s %10u %10u %04X %04u-%02u-%02u %02u:%02u:%02u %s\n", method, LoadLe32(header + kHeaderPackedSize),
           LoadLe32(header + kHeaderOriginalSize), LoadLe16(header + kHeaderName + nameLength), 1980 + (date >> 9),
           date >> 5 & 0x0F, date & 0x1F, time >> 11, time >> 5 & 0x3F, (time & 0x1F) * 2,
           DisplayName((const char*)header + kHeaderName, nameLength).c_str());
}

// Steps over level-1 extended headers; returns their total size, or -1 when
// they are damaged or cut short.
static int64_t ExtendedHeadersLength(const unsigned char* header, const unsigned char* next,
                                     const unsigned char* end)
{
    if (header[kHeaderLevel] != 1)
        return 0;
    int64_t total = 0;
    uint32_t size = LoadLe16(header + header[0]);
    while (size != 0) {
        if (size < 3 || end - next < (ptrdiff_t)size)
            return -1;
        total += size;
        next += size;
        size = LoadLe16(next - 2);
    }
    return total;
}

static int ListArchive(const char* path, const unsigned char* archive, uint32_t size)
{
    const unsigned char* at = archive;
    const unsigned char* const end = archive + size;
    for (unsigned member = 1; at < end && *at != 0; ++member) {
        unsigned headerSize = *at;
        if (headerSize > kMaxHeaderSize)
            return Complain(EXIT_DATA_ERROR, "%s: member %u: header size %u is above %u bytes", path, member,
                            headerSize, kMaxHeaderSize);
        if (end - at < (ptrdiff_t)headerSize + 2)
            return Complain(EXIT_DATA_ERROR, "%s: member %u: the archive ends inside its header", path, member);
        // Bytes a short header lacks read as zero.
        unsigned char header[kHeaderCapacity] = {};
        memcpy(header, at, headerSize + 2);
        if (!HeaderChecksumMatches(header))
            return Complain(EXIT_DATA_ERROR, "%s: member %u: header checksum does not match", path, member);
        MemberMethod method = ClassifyMethod(header);
        if (method == METHOD_REFUSED)
            return Complain(EXIT_DATA_ERROR, "%s: member %u: compression method '%.5s' not supported", path, member,
                            (const char*)header + kHeaderMethod);
        unsigned nameLength = header[kHeaderNameLength];
        if (nameLength > kMaxNameLength)
            return Complain(EXIT_DATA_ERROR, "%s: member %u: name runs past the end of its header", path, member);

        const unsigned char* next = at + headerSize + 2;
        int64_t extended = ExtendedHeadersLength(header, next, end);
        if (extended < 0)
            return Complain(EXIT_DATA_ERROR, "%s: member %u: extended header damaged or cut short", path, member);
        int64_t dataLength = method == METHOD_STORED ? LoadLe32(header + kHeaderOriginalSize)
                                                     : (int64_t)LoadLe32(header + kHeaderPackedSize) - extended;
        if (dataLength < 0 || end - (next + extended) < dataLength)
            return Complain(EXIT_DATA_ERROR, "%s: member %u (%s): the archive ends inside its data", path, member,
                            DisplayName((const char*)header + kHeaderName, nameLength).c_str());
        PrintMember(header);
        at = next + extended + dataLength;
    }
    return EXIT_OK;
}

static int RunList(int argc, char** argv)
{
    if (argc != 2)
        return UsageError("list", kArguments, argc < 2 ? "list: no FILE given" : "list: too many arguments");
    LoadedArchive loaded;
    int code = LoadArchive(argv[1], &loaded);
    if (code != EXIT_OK)
        return code;
    return ListArchive(argv[1], loaded.archive, loaded.size);
}

const Command listCommand = {
    "list", kArguments,
    "List the members: method, packed size, original size, CRC-16, date and time, name.", RunList};
