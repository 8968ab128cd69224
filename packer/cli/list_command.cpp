// morlu-pack list FILE: one line per member, read from the headers alone.
#include <stdio.h>

#include <string>

#include "extract/member_header.h"
#include "packer/cli/cli_support.h"
#include "packer/cli/command.h"
#include "packer/system/exit_codes.h"

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
    Print(stdout, "%s %10u %10u %04X %04u-%02u-%02u %02u:%02u:%02u %s\n", method, LoadLe32(header + kHeaderPackedSize),
           LoadLe32(header + kHeaderOriginalSize), LoadLe16(header + kHeaderName + nameLength), 1980 + (date >> 9),
           date >> 5 & 0x0F, date & 0x1F, time >> 11, time >> 5 & 0x3F, (time & 0x1F) * 2,
           DisplayName((const char*)header + kHeaderName, nameLength).c_str());
}

// Reads the headers with the engine's own header code, so that list refuses
// what test and extract refuse, in the same words; no member is decoded.
static int ListArchive(const char* path, const unsigned char* archive, uint32_t size)
{
    const unsigned char* at = archive;
    const unsigned char* const end = archive + size;
    for (unsigned member = 1; at < end && *at != 0; ++member) {
        unsigned char header[kHeaderCapacity] = {};
        MemberMethod method = METHOD_REFUSED;
        ExtractFailure refused = CopyMemberHeader(at, end, header, &method);
        if (refused != FAILURE_NONE)
            return Complain(EXIT_DATA_ERROR, "%s: member %u: %s", path, member, DescribeFailure(refused));

        std::string name = DisplayName((const char*)header + kHeaderName, header[kHeaderNameLength]);
        const unsigned char* next = at + header[0] + 2;
        uint32_t extended, dataLength;
        refused = MeasureMemberData(header, method, next, end, &extended, &dataLength);
        if (refused == FAILURE_NONE && (uint32_t)(end - (next + extended)) < dataLength)
            refused = FAILURE_DATA_TRUNCATED;
        if (refused != FAILURE_NONE)
            return Complain(EXIT_DATA_ERROR, "%s: member %u (%s): %s", path, member, name.c_str(),
                            DescribeFailure(refused));
        PrintMember(header);
        at = next + extended + dataLength;
    }
    return EXIT_OK;
}

static int RunList(int argc, char** argv)
{
    std::vector<const char*> files;
    int code = ParseOperands(listCommand, argc, argv, &files);
    if (code != kKeepGoing)
        return code;
    if (files.size() != 1)
        return UsageError("list", kArguments, files.empty() ? "list: no FILE given" : "list: too many arguments");
    LoadedArchive loaded;
    code = LoadArchive(files[0], &loaded);
    if (code != EXIT_OK)
        return code;
    return ListArchive(files[0], loaded.archive, loaded.size);
}

const Command listCommand = {
    "list", kArguments, "List the members: method, packed size, original size, CRC-16, date and time, name.",
    RunList,
    "FILE is a bare LHA archive or an installer (a Windows program, \"MZ\") whose\n"
    "payload container holds the archive. One line per member: method, packed\n"
    "size, original size, CRC-16 (hex), date and time as stored (morlu-pack build\n"
    "stores Japan Standard Time), name. Names are code page 932 and shown in\n"
    "UTF-8; control characters and bytes that are no code page 932 are shown as\n"
    "\\xNN, C1 controls as \\uNNNN, so that no name acts on the terminal.\n\n"
    "  -h, --help  show this help\n"
    "  --          ends the options: a FILE may then start with a dash\n\n"
    "Exit status: 0 success, 1 usage error, 2 damaged archive or container, or a\n"
    "file that is neither an installer nor an archive, 3 a file that cannot be\n"
    "read.\n"};
