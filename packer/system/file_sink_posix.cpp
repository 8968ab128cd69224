// Member files on a POSIX system, for the packer: the member name is turned
// from code page 932 into UTF-8 and its backslashes into slashes.
//
// A member whose name is free is created under it, exclusively; one whose
// name is taken is written under a temporary name beside it and renamed over
// it only once it is complete and its CRC-16 matched. Whatever stood under the
// name (a file, a hard link, a symbolic link, a FIFO) is thus replaced, never
// opened or written through, and a damaged member leaves it as it was. Folders
// named in a member name are entered without following links, so nothing is
// written outside the destination.
#include "packer/system/file_sink.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "bytes/cp932_chars.h"
#include "extract/member_header.h"
#include "packer/system/iconv_converter.h"

static thread_local int lastError;

int FileSinkLastError()
{
    return lastError;
}

// CP932 to UTF-8 takes at most 3 bytes a byte.
const size_t kNativeNameCapacity = 3 * kMaxNameLength + 1;

// Separators first, DBCS-aware, so that a trail byte 0x5C stays in its
// character. A name that is no valid code page 932 keeps its bytes. ASCII is
// the same in both: the converter is loaded only for other names.
static void NativeName(const char* name, char* native)
{
    char slashed[kMaxNameLength + 1];
    size_t length = 0;
    bool ascii = true;
    for (const unsigned char* p = (const unsigned char*)name; *p != '\0'; ++p) {
        ascii = ascii && *p < 0x80;
        if (Cp932CharLength(p) == 2) {
            slashed[length++] = (char)*p++;
            slashed[length++] = (char)*p;
        } else {
            slashed[length++] = *p == '\\' ? '/' : (char)*p;
        }
    }
    slashed[length] = '\0';
    if (ascii) {
        memcpy(native, slashed, length + 1);
        return;
    }

    static thread_local IconvConverter converter("UTF-8", "CP932");
    size_t written;
    if (converter.Opened() && converter.Convert(slashed, length, native, kNativeNameCapacity - 1, &written) == length) {
        native[written] = '\0';
        return;
    }
    memcpy(native, slashed, length + 1);
}

// A member being written. Threads may write several members at once.
struct OpenMember {
    int fd;
    int folder;           // AT_FDCWD, the destination's descriptor, or a subfolder opened for the member
    char name[4096];      // relative to folder
    char temporary[4096]; // relative to folder; empty when written under its name
};

// The destination folder, when a run opened it: set before the run, only
// read during it.
static struct {
    int fd = -1;
    char path[4096];
    size_t length = 0;
} destination;

// A later member of the same name must still end up in place: a free name is
// taken at once only while members are created in archive order.
static std::atomic<bool> createInPlace{true};

static void CreatesOutOfOrder(bool outOfOrder)
{
    createInPlace = !outOfOrder;
}

void FileSinkUseDestination(const char* folder)
{
    if (destination.fd >= 0)
        close(destination.fd);
    destination.fd = -1;
    size_t length = folder != nullptr ? strlen(folder) : 0;
    if (folder == nullptr || length >= sizeof destination.path)
        return;
#ifdef O_PATH
    destination.fd = open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    destination.fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
    memcpy(destination.path, folder, length + 1);
    destination.length = length;
}

// Lets go of the member; error, if not 0, is why it failed.
static void EndMember(OpenMember* member, int error)
{
    if (error != 0)
        lastError = error;
    if (member->folder != AT_FDCWD && member->folder != destination.fd)
        close(member->folder);
    free(member);
}

// member->name holds the member's native name from nameStart on, and before
// it, when base is AT_FDCWD, the destination and a slash. Enters the member's
// subfolders below the destination, each without following a link, and leaves
// member->folder and member->name for the last component.
static bool EnterSubfolders(OpenMember* member, int base, size_t nameStart)
{
    member->folder = base;
    char* name = member->name + nameStart;
    char* slash = strrchr(name, '/');
    if (slash == nullptr) {
        if (nameStart > 0 && base != AT_FDCWD)
            memmove(member->name, name, strlen(name) + 1);
        return true;
    }
    int folder = base;
    if (base == AT_FDCWD) {
        member->name[nameStart - 1] = '\0';
        folder = open(member->name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    for (char* component = name; folder >= 0 && component < slash;) {
        char* end = strchr(component, '/');
        *end = '\0';
        int inner = openat(folder, component, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int error = errno;
        if (folder != base)
            close(folder);
        folder = inner;
        errno = error;
        component = end + 1;
    }
    if (folder < 0) {
        lastError = errno;
        return false;
    }
    member->folder = folder;
    memmove(member->name, slash + 1, strlen(slash + 1) + 1);
    return true;
}

static MemberFile PosixCreate(const char* path, uint32_t nameOffset)
{
    // The engine joined the folder and the name with a backslash.
    size_t folderLength = nameOffset - 1;
    if (folderLength + 1 + kNativeNameCapacity > sizeof OpenMember::name) {
        lastError = ENAMETOOLONG;
        return kNoMemberFile;
    }
    OpenMember* member = (OpenMember*)malloc(sizeof(OpenMember));
    if (member == nullptr) {
        lastError = ENOMEM;
        return kNoMemberFile;
    }
    bool inDestination = destination.fd >= 0 && folderLength == destination.length &&
                         memcmp(path, destination.path, folderLength) == 0;
    memcpy(member->name, path, folderLength);
    member->name[folderLength] = '/';
    NativeName(path + nameOffset, member->name + folderLength + 1);
    if (!EnterSubfolders(member, inDestination ? destination.fd : AT_FDCWD, folderLength + 1)) {
        free(member);
        return kNoMemberFile;
    }

    // The rename costs a small member as much as its writing does; a free
    // name needs none, and O_EXCL fails on whatever stands there, even a link.
    if (createInPlace) {
        member->temporary[0] = '\0';
        member->fd = openat(member->folder, member->name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (member->fd >= 0)
            return (MemberFile)member;
        if (errno != EEXIST) {
            EndMember(member, errno);
            return kNoMemberFile;
        }
    }

    // Beside the member, so that the rename stays within one folder.
    static std::atomic<unsigned> serial;
    static const long pid = (long)getpid();
    int prefix = member->folder == AT_FDCWD ? (int)folderLength + 1 : 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        snprintf(member->temporary, sizeof member->temporary, "%.*s.morlu-%ld-%u.tmp", prefix, member->name, pid,
                 serial++);
        member->fd = openat(member->folder, member->temporary,
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (member->fd >= 0)
            return (MemberFile)member;
        if (errno != EEXIST)
            break;
    }
    EndMember(member, errno);
    return kNoMemberFile;
}

static uint32_t PosixWrite(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    int fd = ((OpenMember*)file)->fd;
    uint32_t done = 0;
    while (done < count) {
        ssize_t written = write(fd, bytes + done, count - done);
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

// Days from 1970-01-01 to a date after it (month 1 to 12). Years counted from
// March put the leap day last.
static int64_t DaysSince1970(int64_t year, unsigned month, unsigned day)
{
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    return 365 * year + year / 4 - year / 100 + year / 400 + (153 * (month - 3) + 2) / 5 + day - 719469;
}

// The local time zone's offset from UTC at instant u, in seconds: the wall
// clock that localtime_r reads, less u. localtime_r reads the zone once per
// process; mktime would look at /etc/localtime for every member.
static bool UtcOffset(time_t u, long* offset)
{
    struct tm local;
    if (localtime_r(&u, &local) == nullptr)
        return false;
    int64_t wall = DaysSince1970(local.tm_year + 1900, (unsigned)local.tm_mon + 1, (unsigned)local.tm_mday) * 86400 +
                   local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    *offset = (long)(wall - (int64_t)u);
    return true;
}

// The instant at which the clock on the wall reads wall (its fields counted as
// seconds since 1970 as if in UTC). A wall time that occurs twice, as when
// summer time ends, is the earlier instant; one that a change skips, as when
// summer time begins, is read with the offset from before the change. Offsets
// that change twice within a day are not told apart.
static bool UtcFromWallClock(int64_t wall, time_t* when)
{
    const long kDay = 86400;
    long a, b, c;
    if (!UtcOffset((time_t)wall, &a))
        return false;
    time_t u1 = (time_t)(wall - a);
    if (!UtcOffset(u1, &b))
        return false;
    bool u1Fits = u1 + b == wall;
    if (u1Fits) {
        // The offset a day earlier, which an earlier reading would use.
        if (!UtcOffset(u1 - kDay, &c))
            return false;
        if (c == b) {
            *when = u1;
            return true;
        }
        b = c;
    }
    time_t u2 = (time_t)(wall - b);
    if (!UtcOffset(u2, &c))
        return false;
    if (u2 + c == wall)
        *when = u2;
    else if (u1Fits)
        *when = u1;
    else
        *when = u1 > u2 ? u1 : u2;
    return true;
}

static void PosixSetTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    static const int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = 1980 + (dosDate >> 9);
    int month = (dosDate >> 5 & 0x0F) - 1;
    int day = dosDate & 0x1F;
    int hour = dosTime >> 11;
    int minute = dosTime >> 5 & 0x3F;
    int second = (dosTime & 0x1F) * 2; // 60 and 62 run into the next minute
    if (month < 0 || month > 11 || hour > 23 || minute > 59)
        return;
    int days = kDaysInMonth[month] + (month == 1 && IsLeapYear(year));
    if (day < 1 || day > days)
        return;
    int64_t wall = DaysSince1970(year, (unsigned)month + 1, (unsigned)day) * 86400;
    wall += hour * 3600 + minute * 60 + second;
    time_t when;
    if (!UtcFromWallClock(wall, &when))
        return;
    struct timespec times[2];
    times[0].tv_sec = when;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    futimens(((OpenMember*)file)->fd, times);
}

static bool PosixClose(MemberFile file, bool keep)
{
    OpenMember* member = (OpenMember*)file;
    // A failed close may be the write that did not reach the disk.
    bool written = close(member->fd) == 0;
    int error = errno;
    if (member->temporary[0] == '\0') {
        if (!(keep && written))
            unlinkat(member->folder, member->name, 0);
        EndMember(member, keep && !written ? error : 0);
        return keep && written;
    }
    if (keep && written && renameat(member->folder, member->temporary, member->folder, member->name) == 0) {
        EndMember(member, 0);
        return true;
    }
    if (written)
        error = errno;
    unlinkat(member->folder, member->temporary, 0);
    EndMember(member, keep ? error : 0);
    return !keep;
}

const MemberSink fileMemberSink = {PosixCreate, PosixWrite, PosixSetTime, PosixClose, CreatesOutOfOrder};
