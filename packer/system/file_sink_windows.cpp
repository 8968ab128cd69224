// Member files of the packer on Windows (the installer has its own sink: it
// writes in place into a fresh folder). The folder part of a path is UTF-8,
// the member name code page 932; both become UTF-16 for the wide calls, the
// name by code page 932 whatever the system's own code page.
//
// A member whose name is free is created under it, exclusively; one whose
// name is taken is written under a temporary name beside it and renamed over
// it only once it is complete and its CRC-16 matched. Whatever stood under the
// name (a file, read-only or not, a link) is thus replaced, never opened or
// written through, and a damaged member leaves it as it was. The subfolders a
// member name passes through must be folders and no reparse points (symbolic
// links, junctions); they are held open, so that none is deleted or renamed,
// until the member is closed: nothing is written outside the destination.
// Paths are made whole the way Win32 makes them (as the installer's calls do)
// and then used with the \\?\ prefix, so that no length limit but the
// engine's own applies.
#include "packer/system/file_sink.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <atomic>
#include <string>
#include <vector>

#include "packer/system/replace_name.h"

static thread_local DWORD lastError;

int FileSinkLastError()
{
    return (int)lastError;
}

// A member being written. Threads may write several members at once.
struct OpenMember {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::vector<HANDLE> folders; // held from the destination down
    std::wstring name;
    std::wstring temporary; // empty when written under its name
};

static bool Widen(UINT codePage, const char* text, size_t length, std::wstring* wide)
{
    wide->clear();
    if (length == 0)
        return true;
    int count = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, (int)length, NULL, 0);
    if (count <= 0)
        return false;
    wide->resize((size_t)count);
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text, (int)length, &(*wide)[0], count) == count;
}

// The whole path as Win32 makes it from a relative or abbreviated one:
// separators, "." steps, trailing dots and spaces.
static bool FullPath(const std::wstring& path, std::wstring* full)
{
    DWORD length = GetFullPathNameW(path.c_str(), 0, NULL, NULL);
    if (length == 0)
        return false;
    full->assign(length, L'\0');
    length = GetFullPathNameW(path.c_str(), length, &(*full)[0], NULL);
    if (length == 0 || length >= full->size())
        return false;
    full->resize(length);
    return true;
}

// A whole path with the prefix that has Win32 take it as it is.
static std::wstring Verbatim(const std::wstring& full)
{
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0)
        return full;
    if (full.compare(0, 2, L"\\\\") == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A folder made whole, with a separator at its end.
static bool FullFolder(const std::string& folder, std::wstring* full)
{
    std::wstring wide;
    if (!Widen(CP_UTF8, folder.data(), folder.size(), &wide) || !FullPath(wide + L"\\", full))
        return false;
    if (full->back() != L'\\')
        *full += L'\\';
    return true;
}

// The destination of the extractions that follow: its path as the engine
// gets it, and made whole.
static struct {
    std::string path;
    std::wstring full;
} destination;

void FileSinkUseDestination(const char* folder)
{
    destination.path.clear();
    destination.full.clear();
    if (folder != nullptr && FullFolder(folder, &destination.full))
        destination.path = folder;
}

// A later member of the same name must still end up in place: a free name is
// taken at once only while members are created in archive order.
static std::atomic<bool> createInPlace{true};

static void CreatesOutOfOrder(bool outOfOrder)
{
    createInPlace = !outOfOrder;
}

static void EndMember(OpenMember* member, DWORD error)
{
    if (error != 0)
        lastError = error;
    for (HANDLE folder : member->folders)
        CloseHandle(folder);
    delete member;
}

// Holds each folder between the destination and the member's own name, and
// checks that it is a folder and no reparse point. The attributes are read by
// path once the folder is held: wine opens the target of a link even when
// asked for the link itself, but reports the link by its path.
static bool HoldSubfolders(OpenMember* member, size_t destinationLength)
{
    size_t last = member->name.rfind(L'\\');
    for (size_t end = member->name.find(L'\\', destinationLength); end != std::wstring::npos && end <= last;
         end = member->name.find(L'\\', end + 1)) {
        std::wstring folder = member->name.substr(0, end);
        HANDLE held = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
        if (held == INVALID_HANDLE_VALUE) {
            lastError = GetLastError();
            return false;
        }
        member->folders.push_back(held);
        DWORD attributes = GetFileAttributesW(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            lastError = GetLastError();
            return false;
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            lastError = attributes & FILE_ATTRIBUTE_DIRECTORY ? ERROR_CANT_RESOLVE_FILENAME : ERROR_DIRECTORY;
            return false;
        }
    }
    return true;
}

static MemberFile ReplacingCreate(const char* path, uint32_t nameOffset)
{
    OpenMember* member = new OpenMember;
    // The engine joined the folder and the name with a backslash.
    std::string folder(path, nameOffset - 1);
    std::wstring full = folder == destination.path ? destination.full : L"";
    std::wstring name;
    std::wstring fullName;
    if ((full.empty() && !FullFolder(folder, &full)) ||
        !Widen(932, path + nameOffset, strlen(path + nameOffset), &name) || !FullPath(full + name, &fullName)) {
        EndMember(member, GetLastError());
        return kNoMemberFile;
    }
    if (fullName.compare(0, full.size(), full) != 0 || fullName.size() == full.size()) {
        EndMember(member, ERROR_BAD_PATHNAME);
        return kNoMemberFile;
    }
    member->name = Verbatim(fullName);
    if (!HoldSubfolders(member, member->name.size() - (fullName.size() - full.size()))) {
        EndMember(member, 0);
        return kNoMemberFile;
    }

    // A free name needs no rename; CREATE_NEW fails on whatever stands there.
    if (createInPlace) {
        member->file = CreateFileW(member->name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   NULL);
        if (member->file != INVALID_HANDLE_VALUE)
            return (MemberFile)member;
        if (GetLastError() != ERROR_FILE_EXISTS) {
            EndMember(member, GetLastError());
            return kNoMemberFile;
        }
    }

    // Beside the member, so that the rename stays within one folder.
    static std::atomic<unsigned> serial;
    const std::wstring memberFolder = member->name.substr(0, member->name.rfind(L'\\') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t temporary[48];
        swprintf(temporary, 48, L".morlu-%lu-%u.tmp", GetCurrentProcessId(), serial++);
        member->temporary = memberFolder + temporary;
        member->file = CreateFileW(member->temporary.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (member->file != INVALID_HANDLE_VALUE)
            return (MemberFile)member;
        if (GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    EndMember(member, GetLastError());
    return kNoMemberFile;
}

static uint32_t ReplacingWrite(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    HANDLE handle = ((OpenMember*)file)->file;
    uint32_t done = 0;
    while (done < count) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes + done, count - done, &written, NULL) || written == 0) {
            lastError = written == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError();
            break;
        }
        done += written;
    }
    return done;
}

// The member's wall-clock time in the local zone, with the zone's rule for
// that date; seconds 60 and 62 run into the next minute, as on POSIX.
static void ReplacingSetTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    SYSTEMTIME local = {};
    local.wYear = (WORD)(1980 + (dosDate >> 9));
    local.wMonth = (WORD)(dosDate >> 5 & 0x0F);
    local.wDay = (WORD)(dosDate & 0x1F);
    local.wHour = (WORD)(dosTime >> 11);
    local.wMinute = (WORD)(dosTime >> 5 & 0x3F);
    SYSTEMTIME utc;
    FILETIME stamp;
    if (!SystemTimeToFileTime(&local, &stamp) || !TzSpecificLocalTimeToSystemTime(NULL, &local, &utc) ||
        !SystemTimeToFileTime(&utc, &stamp))
        return;
    ULARGE_INTEGER ticks;
    ticks.LowPart = stamp.dwLowDateTime;
    ticks.HighPart = stamp.dwHighDateTime;
    ticks.QuadPart += (ULONGLONG)(dosTime & 0x1F) * 2 * 10000000;
    stamp.dwLowDateTime = ticks.LowPart;
    stamp.dwHighDateTime = ticks.HighPart;
    SetFileTime(((OpenMember*)file)->file, &stamp, &stamp, &stamp);
}

bool ReplaceName(const std::wstring& from, const std::wstring& to, DWORD how)
{
    how |= MOVEFILE_REPLACE_EXISTING;
    if (MoveFileExW(from.c_str(), to.c_str(), how))
        return true;
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesW(to.c_str());
    if (error != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_READONLY) || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        SetLastError(error);
        return false;
    }
    if (MoveFileExW(from.c_str(), to.c_str(), how))
        return true;
    error = GetLastError();
    SetFileAttributesW(to.c_str(), attributes);
    SetLastError(error);
    return false;
}

static bool ReplacingClose(MemberFile file, bool keep)
{
    OpenMember* member = (OpenMember*)file;
    // A failed close may be the write that did not reach the disk.
    bool written = CloseHandle(member->file) != 0;
    DWORD error = GetLastError();
    if (member->temporary.empty()) {
        if (!(keep && written))
            DeleteFileW(member->name.c_str());
        EndMember(member, keep && !written ? error : 0);
        return keep && written;
    }
    if (keep && written && ReplaceName(member->temporary, member->name, 0)) {
        EndMember(member, 0);
        return true;
    }
    if (written)
        error = GetLastError();
    DeleteFileW(member->temporary.c_str());
    EndMember(member, keep ? error : 0);
    return !keep;
}

const MemberSink fileMemberSink = {ReplacingCreate, ReplacingWrite, ReplacingSetTime, ReplacingClose, CreatesOutOfOrder};
