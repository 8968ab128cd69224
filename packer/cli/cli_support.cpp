#include "packer/cli/cli_support.h"

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "bytes/little_endian.h"
#include "container/payload_container.h"
#include "packer/cli/command.h"
#include "packer/system/exit_codes.h"
#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

static std::string Formatted(const char* format, va_list arguments)
{
    va_list again;
    va_copy(again, arguments);
    char small[512];
    int length = vsnprintf(small, sizeof small, format, again);
    va_end(again);
    if (length < 0)
        return "";
    if ((size_t)length < sizeof small)
        return std::string(small, (size_t)length);
    std::string text((size_t)length + 1, '\0');
    vsnprintf(&text[0], text.size(), format, arguments);
    text.pop_back();
    return text;
}

void Print(FILE* stream, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    // A line of a listing fits, and goes out without an allocation.
    char line[256];
    int length = vsnprintf(line, sizeof line, format, again);
    va_end(again);
    if (length >= 0 && (size_t)length < sizeof line)
        WriteText(stream, line, (size_t)length);
    else
        WriteText(stream, Formatted(format, arguments));
    va_end(arguments);
}

int Complain(int code, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    // What went to standard output before stays before the message when both are piped.
    fflush(stdout);
    WriteText(stderr, "morlu-pack: " + Formatted(format, arguments) + "\n");
    va_end(arguments);
    return code;
}

int UsageError(const char* command, const char* arguments, const char* format, ...)
{
    va_list list;
    va_start(list, format);
    fflush(stdout);
    std::string message = "morlu-pack: " + Formatted(format, list);
    va_end(list);
    Print(stderr, "%s\nUsage: morlu-pack %s %s (see morlu-pack %s --help)\n", message.c_str(), command, arguments,
          command);
    return EXIT_USAGE;
}

int ShowCommandHelp(const Command& command)
{
    Print(stdout, "Usage: morlu-pack %s %s\n%s\n\n%s", command.name, command.arguments, command.summary,
          command.details);
    return EXIT_OK;
}

int ParseOperands(const Command& command, int argc, char** argv, std::vector<const char*>* operands)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0')
            operands->push_back(arg);
        else if (strcmp(arg, "--") == 0)
            optionsEnded = true;
        else if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0)
            return ShowCommandHelp(command);
        else
            return UsageError(command.name, command.arguments, "%s: unknown option '%s'", command.name, arg);
    }
    return kKeepGoing;
}

// Control characters, C1 ones included, would act on the terminal: a name
// could clear the screen or forge a line of output.
static void AppendEscaped(std::string& shown, const char* utf8, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = (unsigned char)utf8[i];
        unsigned char next = i + 1 < length ? (unsigned char)utf8[i + 1] : 0;
        if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04X", next);
            shown += escaped;
            ++i;
        } else {
            shown += (char)c;
        }
    }
}

std::string DisplayName(const char* cp932, size_t length)
{
    std::string shown;
    // ASCII is the same in both.
    if (std::all_of(cp932, cp932 + length, [](char c) { return (unsigned char)c < 0x80; })) {
        AppendEscaped(shown, cp932, length);
        return shown;
    }
    size_t at = 0;
    while (at < length) {
        std::string utf8;
        size_t stopped;
        try {
            stopped = Cp932ToUtf8Prefix(std::string(cp932 + at, length - at), &utf8);
        } catch (const PackError&) {
            stopped = 0; // no conversion at all: every byte shown as a number
        }
        AppendEscaped(shown, utf8.data(), utf8.size());
        if (stopped == std::string::npos)
            break;
        at += stopped;
        char escaped[8];
        snprintf(escaped, sizeof escaped, "\\x%02X", (unsigned char)cp932[at]);
        shown += escaped;
        ++at;
    }
    return shown;
}

std::string DisplayName(const char* cp932)
{
    return DisplayName(cp932, strlen(cp932));
}

const char* DescribeFailure(ExtractFailure reason)
{
    switch (reason) {
    case FAILURE_NONE: return "no failure";
    case FAILURE_HEADER_TOO_LARGE: return "header size above 102 bytes";
    case FAILURE_HEADER_TRUNCATED: return "archive ends inside the member's header";
    case FAILURE_HEADER_CHECKSUM: return "header checksum does not match";
    case FAILURE_METHOD: return "compression method not supported (only -lh0-, -lh4-, -lh5-)";
    case FAILURE_NAME_TOO_LONG: return "name runs past the end of its header";
    case FAILURE_EXTENDED_HEADER: return "extended header damaged or cut short";
    case FAILURE_UNSAFE_NAME: return "name would leave the destination folder (absolute, drive or stream colon, or '..')";
    case FAILURE_INVALID_NAME:
        return "name is no file name Windows can create (empty, a device such as CON or NUL, <>\"|?*, or a control character)";
    case FAILURE_PATH_TOO_LONG: return "folder and name together exceed 259 bytes";
    case FAILURE_CREATE: return "cannot create the file";
    case FAILURE_DATA_TRUNCATED: return "archive ends inside the member's data";
    case FAILURE_BAD_CODE_COUNT: return "compressed data damaged (code-length count out of range)";
    case FAILURE_BAD_SINGLE_CODE: return "compressed data damaged (one-symbol code names no symbol)";
    case FAILURE_DATA_PAST_END: return "compressed data damaged (it runs past the end of the archive)";
    case FAILURE_SHORT_WRITE: return "cannot write the whole file";
    case FAILURE_CRC_MISMATCH: return "CRC-16 does not match (data damaged)";
    }
    return "unknown failure";
}

int LoadArchive(const char* path, LoadedArchive* loaded)
{
    InputFile input;
    FileStatus status;
    int error = input.Open(path);
    if (error == 0)
        error = input.Status(&status);
    if (error != 0)
        return Complain(EXIT_FILE_ERROR, "%s: %s", path, ErrorText(error).c_str());
    if (status.kind != FileKind::Regular)
        return Complain(EXIT_FILE_ERROR, "%s: not a regular file", path);
    if (status.size > UINT32_MAX)
        return Complain(EXIT_FILE_ERROR, "%s: files of 4 GiB or more are not supported", path);
    static const unsigned char kEmpty[1] = {0};
    const unsigned char* file = kEmpty;
    size_t fileSize = (size_t)status.size;
    if (fileSize > 0) {
        if (int error = loaded->memory.Load(input, &fileSize))
            return Complain(EXIT_FILE_ERROR, "%s: %s", path, ErrorText(error).c_str());
        file = loaded->memory.bytes();
    }

    // An LHA archive never starts with "MZ": its third byte is the '-' of the
    // method. A bare archive is taken whole, also when a stored installer
    // inside it holds a magic run.
    uint32_t size = (uint32_t)fileSize;
    if (size < 2 || file[0] != 'M' || file[1] != 'Z') {
        // Anything else would pass as an archive of no members, "0 members OK".
        if (size == 0)
            return Complain(EXIT_DATA_ERROR, "%s: an empty file, neither an installer nor an LHA archive", path);
        if (size < 7 || file[2] != '-' || file[6] != '-')
            return Complain(EXIT_DATA_ERROR,
                            "%s: neither an installer (a program, \"MZ\") nor an LHA archive (no member header at "
                            "its start)",
                            path);
        loaded->archive = file;
        loaded->size = size;
        return EXIT_OK;
    }
    uint32_t header;
    int found = ScanContainer(file, size, &header);
    if (found == PAYLOAD_NOT_FOUND)
        return Complain(EXIT_DATA_ERROR, "%s: a program without a payload container", path);
    if (found == PAYLOAD_OUT_OF_BOUNDS)
        return Complain(EXIT_DATA_ERROR,
                        "%s: payload container damaged: its header, archive or message runs past the end of the file",
                        path);
    const unsigned char* payload = file + header;
    loaded->archive = payload + (int32_t)LoadLe32(payload + offsetof(PayloadHeader, archiveOffset));
    loaded->size = (uint32_t)(int32_t)LoadLe32(payload + offsetof(PayloadHeader, archiveSize));
    loaded->installer = true;
    loaded->memberCount = (int32_t)LoadLe32(payload + offsetof(PayloadHeader, memberCount));
    return EXIT_OK;
}

int CheckMemberCount(const char* path, const LoadedArchive& loaded, int members, const char* done)
{
    if (!loaded.installer || loaded.memberCount == members)
        return EXIT_OK;
    return Complain(EXIT_DATA_ERROR,
                    "%s: the payload header counts %d members but the archive holds %d%s; the installer refuses it",
                    path, loaded.memberCount, members, done);
}
