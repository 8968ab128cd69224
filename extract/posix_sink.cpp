// Member files on a POSIX system, for the packer: the member name is turned
// from code page 932 into UTF-8 and its backslashes into slashes.
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "extract/member_header.h"
#include "extract/member_sink.h"

static int lastError;

int PosixSinkLastError()
{
    return lastError;
}

// CP932 to UTF-8 takes at most 3 bytes a byte.
const size_t kNativeNameCapacity = 3 * kMaxNameLength + 1;

// Separators first, DBCS-aware, so that a trail byte 0x5C stays in its
// character. A name that is no valid code page 932 keeps its bytes.
static void NativeName(const char* name, char* native)
{
    char slashed[kMaxNameLength + 1];
    size_t length = 0;
    for (const unsigned char* p = (const unsigned char*)name; *p != '\0'; ++p) {
        if (IsCp932LeadByte(*p) && p[1] != '\0') {
            slashed[length++] = (char)*p++;
            slashed[length++] = (char)*p;
        } else {
            slashed[length++] = *p == '\\' ? '/' : (char)*p;
        }
    }
    slashed[length] = '\0';

    static iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter != (iconv_t)-1) {
        char* in = slashed;
        size_t inLeft = length;
        char* out = native;
        size_t outLeft = kNativeNameCapacity - 1;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
        if (iconv(converter, &in, &inLeft, &out, &outLeft) != (size_t)-1) {
            *out = '\0';
            return;
        }
    }
    memcpy(native, slashed, length + 1);
}

static MemberFile PosixCreate(const char* path, uint32_t nameOffset)
{
    // The engine joined the folder and the name with a backslash.
    char native[4096];
    size_t folderLength = nameOffset - 1;
    if (folderLength + 1 + kNativeNameCapacity > sizeof native) {
        lastError = ENAMETOOLONG;
        return kNoMemberFile;
    }
    memcpy(native, path, folderLength);
    native[folderLength] = '/';
    NativeName(path + nameOffset, native + folderLength + 1);

    // A read-only file of that name is made writable and then replaced.
    struct stat status;
    if (lstat(native, &status) == 0 && S_ISREG(status.st_mode) && !(status.st_mode & S_IWUSR))
        chmod(native, (status.st_mode & 07777) | S_IWUSR);
    // No link in the destination may redirect a member.
    int fd = open(native, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        lastError = errno;
        return kNoMemberFile;
    }
    return fd;
}

static uint32_t PosixWrite(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    uint32_t done = 0;
    while (done < count) {
        ssize_t written = write((int)file, bytes + done, count - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            lastError = written < 0 ? errno : ENOSPC;
            break;
        }
        done += (uint32_t)written;
    }
    return done;
}

static bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

static void PosixSetTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    static const int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    struct tm local;
    memset(&local, 0, sizeof local);
    local.tm_year = 80 + (dosDate >> 9);
    local.tm_mon = (dosDate >> 5 & 0x0F) - 1;
    local.tm_mday = dosDate & 0x1F;
    local.tm_hour = dosTime >> 11;
    local.tm_min = dosTime >> 5 & 0x3F;
    local.tm_sec = (dosTime & 0x1F) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_hour > 23 || local.tm_min > 59)
        return;
    int days = kDaysInMonth[local.tm_mon] + (local.tm_mon == 1 && IsLeapYear(1900 + local.tm_year));
    if (local.tm_mday < 1 || local.tm_mday > days)
        return;
    time_t when = mktime(&local);
    if (when == (time_t)-1)
        return;
    struct timespec times[2];
    times[0].tv_sec = when;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    futimens((int)file, times);
}

static void PosixClose(MemberFile file)
{
    close((int)file);
}

const MemberSink posixMemberSink = {PosixCreate, PosixWrite, PosixSetTime, PosixClose};
