#include "packer/cli_support.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "container/payload_container.h"
#include "packer/command.h"
#include "packer/exit_codes.h"

int Complain(int code, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    // What went to standard output before stays before the message when both are piped.
    fflush(stdout);
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
    fflush(stdout);
    fputs("morlu-pack: ", stderr);
    vfprintf(stderr, format, list);
    fprintf(stderr, "\nUsage: morlu-pack %s %s (see morlu-pack %s --help)\n", command, arguments, command);
    va_end(list);
    return EXIT_USAGE;
}

int ShowCommandHelp(const Command& command)
{
    printf("Usage: morlu-pack %s %s\n%s\n\n%s", command.name, command.arguments, command.summary, command.details);
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
        AppendEscaped(shown, buffer, (size_t)(out - buffer));
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

LoadedArchive::~LoadedArchive()
{
    if (mapping != nullptr)
        munmap(mapping, mappingSize);
}

const size_t kHugePage = 2u << 20;
// Larger archives are mapped: their pages stay the page cache's to reclaim.
const size_t kReadLimit = (size_t)1 << 30;

static bool HugePagesAvailable()
{
    char setting[64] = "";
    int fd = open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t count = read(fd, setting, sizeof setting - 1);
        setting[count > 0 ? count : 0] = '\0';
        close(fd);
    }
    return strstr(setting, "[always]") != nullptr || strstr(setting, "[madvise]") != nullptr;
}

// A large archive is read into huge pages rather than mapped: read from a
// mapped file's 4 KiB pages, stored members took three quarters more CPU time
// to check. A file that comes up shorter than its size is taken as far as it
// goes.
static int ReadIntoHugePages(int fd, const char* path, size_t* size, LoadedArchive* loaded,
                             const unsigned char** file)
{
    size_t capacity = (*size + kHugePage - 1) & ~(kHugePage - 1);
    void* mapping = mmap(nullptr, capacity + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(errno));
    loaded->mapping = mapping;
    loaded->mappingSize = capacity + kHugePage;
    unsigned char* buffer = (unsigned char*)(((uintptr_t)mapping + kHugePage - 1) & ~(kHugePage - 1));
    madvise(buffer, capacity, MADV_HUGEPAGE);
    size_t done = 0;
    while (done < *size) {
        ssize_t count = read(fd, buffer + done, *size - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(errno));
        if (count == 0)
            break;
        done += (size_t)count;
    }
    *size = done;
    *file = buffer;
    return EXIT_OK;
}

int LoadArchive(const char* path, LoadedArchive* loaded)
{
    // O_NONBLOCK: a FIFO or a device under the name must not hold the open.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(errno));
    struct stat status;
    if (fstat(fd, &status) != 0) {
        int error = errno;
        close(fd);
        return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(error));
    }
    if (!S_ISREG(status.st_mode)) {
        close(fd);
        return Complain(EXIT_FILE_ERROR, "%s: not a regular file", path);
    }
    if ((uint64_t)status.st_size > UINT32_MAX) {
        close(fd);
        return Complain(EXIT_FILE_ERROR, "%s: files of 4 GiB or more are not supported", path);
    }
    static const unsigned char kEmpty[1] = {0};
    const unsigned char* file = kEmpty;
    size_t fileSize = (size_t)status.st_size;
    if (fileSize >= kHugePage && fileSize <= kReadLimit && HugePagesAvailable()) {
        int code = ReadIntoHugePages(fd, path, &fileSize, loaded, &file);
        if (code != EXIT_OK) {
            close(fd);
            return code;
        }
    } else if (fileSize > 0) {
        void* mapping = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (mapping == MAP_FAILED) {
            int error = errno;
            close(fd);
            return Complain(EXIT_FILE_ERROR, "%s: %s", path, strerror(error));
        }
        loaded->mapping = mapping;
        loaded->mappingSize = fileSize;
        file = (const unsigned char*)mapping;
    }
    close(fd);

    // An LHA archive never starts with "MZ": its third byte is the '-' of the
    // method. A bare archive is taken whole, also when a stored installer
    // inside it holds a magic run.
    uint32_t size = (uint32_t)fileSize;
    if (size < 2 || file[0] != 'M' || file[1] != 'Z') {
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
    loaded->archive = payload + ReadLe32(payload + offsetof(PayloadHeader, archiveOffset));
    loaded->size = (uint32_t)ReadLe32(payload + offsetof(PayloadHeader, archiveSize));
    loaded->installer = true;
    loaded->memberCount = ReadLe32(payload + offsetof(PayloadHeader, memberCount));
    return EXIT_OK;
}
