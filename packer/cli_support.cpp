#include "packer/cli_support.h"

#include <errno.h>
#include <iconv.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "driver/container.h"
#include "packer/exit_codes.h"

int Complain(int code, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    fputs("morlu-pack: ", stderr);
    vfprintf(stderr, format, arguments);
    fputc('\n', stderr);
    va_end(arguments);
    return code;
}

int UsageError(const char* command, const char* arguments, const char* format, ...)
{
    va_list list;
    va_start(list, format);
    fputs("morlu-pack: ", stderr);
    vfprintf(stderr, format, list);
    fprintf(stderr, "\nUsage: morlu-pack %s %s (see morlu-pack --help)\n", command, arguments);
    va_end(list);
    return EXIT_USAGE;
}

std::string DisplayName(const char* cp932, size_t length)
{
    static iconv_t converter = iconv_open("UTF-8", "CP932");
    std::string shown;
    size_t at = 0;
    while (at < length) {
        char buffer[16];
        char* in = const_cast<char*>(cp932 + at);
        size_t inLeft = length - at;
        char* out = buffer;
        size_t outLeft = sizeof buffer;
        if (converter != (iconv_t)-1)
            iconv(converter, &in, &inLeft, &out, &outLeft);
        shown.append(buffer, (size_t)(out - buffer));
        size_t converted = (size_t)(in - (cp932 + at));
        at += converted;
        if (converted == 0 && out == buffer && at < length) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", (unsigned char)cp932[at]);
            shown += escaped;
            ++at;
            if (converter != (iconv_t)-1)
                iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
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
    case FAILURE_HEADER_CHECKSUM: return "header checksum does not match";
    case FAILURE_METHOD: return "compression method not supported (only -lh0-, -lh4-, -lh5-)";
    case FAILURE_NAME_TOO_LONG: return "name runs past the end of its header";
    case FAILURE_EXTENDED_HEADER: return "extended header damaged or cut short";
    case FAILURE_UNSAFE_NAME: return "name would leave the destination folder (absolute, drive or stream colon, or '..')";
    case FAILURE_PATH_TOO_LONG: return "folder and name together exceed 259 bytes";
    case FAILURE_CREATE: return "cannot create the file";
    case FAILURE_DATA_TRUNCATED: return "archive ends inside the member's data";
    case FAILURE_BAD_CODE_COUNT: return "compressed data damaged (code-length count out of range)";
    case FAILURE_BAD_SINGLE_CODE: return "compressed data damaged (one-symbol code names no symbol)";
    case FAILURE_SHORT_WRITE: return "cannot write the whole file";
    case FAILURE_CRC_MISMATCH: return "CRC-16 does not match (data damaged)";
    }
    return "unknown failure";
}

int LoadArchive(const char* path, LoadedArchive* loaded)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
        return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(errno));
    unsigned char chunk[65536];
    size_t count;
    while ((count = fread(chunk, 1, sizeof chunk, file)) > 0)
        loaded->file.insert(loaded->file.end(), chunk, chunk + count);
    bool failed = ferror(file) != 0;
    int readError = errno;
    fclose(file);
    if (failed)
        return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(readError));
    if (loaded->file.size() > UINT32_MAX)
        return Complain(EXIT_FILE_ERROR, "%s: files of 4 GiB or more are not supported", path);

    uint32_t size = (uint32_t)loaded->file.size();
    uint32_t header;
    int found = ScanContainer(loaded->file.data(), size, &header);
    if (found == PAYLOAD_NOT_FOUND) {
        loaded->archive = loaded->file.data();
        loaded->size = size;
        return EXIT_OK;
    }
    if (found == PAYLOAD_OUT_OF_BOUNDS)
        return Complain(EXIT_DATA_ERROR,
                        "%s: payload container damaged: its header, archive or message runs past the end of the file",
                        path);
    const unsigned char* payload = loaded->file.data() + header;
    loaded->archive = payload + ReadLe32(payload + 24);
    loaded->size = (uint32_t)ReadLe32(payload + 28);
    return EXIT_OK;
}
