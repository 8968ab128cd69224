// The installer's member files, the engine's Win32 sink: created through
// base/files.h, so a CP932 member name such as ソフト.txt is the same file on
// any ANSI code page. Results are judged only where the engine acts on them.
#include "base/member_files.h"

#include "base/files.h"
#include "base/message_pump.h"

// A stored member comes in one piece of any size: it is written a piece at a
// time, the window answering between pieces, as between the decoder's flushes.
static const DWORD kWritePiece = 256 * 1024;

// NULL while none is: a variable set at start would cost the stub a section of its own.
static HANDLE fileInWriting;
static MemberFileFailure lastFailure;

// A stored member's bytes come straight from the mapped installer file: a
// page of it that cannot be read fails the write with one of these.
static BOOL SourceUnreadable(DWORD error)
{
    return error == ERROR_NOACCESS || error == ERROR_SWAPERROR || error == ERROR_INVALID_USER_BUFFER;
}

MemberFileFailure LastMemberFileFailure()
{
    return lastFailure;
}

// The member to hold, its path once it is being written, and its handle once held.
static const char* nameToHold;
static char pathToHold[MAX_PATH];
static HANDLE heldFile;

void HoldMemberAfterWriting(const char* name)
{
    nameToHold = name;
}

static void CloseFile(HANDLE* file)
{
    if (*file != NULL)
        CloseHandle(*file);
    *file = NULL;
}

void CloseMemberFiles()
{
    CloseFile(&fileInWriting);
    CloseFile(&heldFile);
}

static MemberFile WindowsCreate(const char* path, uint32_t prefixLength)
{
    // A read-only file of that name would refuse to be replaced.
    DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetAttributesOf(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    HANDLE file = OpenFileAt(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    pathToHold[0] = '\0';
    if (nameToHold != NULL && lstrcmpiA(path + prefixLength, nameToHold) == 0)
        lstrcpyA(pathToHold, path);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        lastFailure = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? MEMBER_FILE_NOT_WRITTEN
                                                                                  : MEMBER_FILE_NOT_CREATED;
    } else {
        fileInWriting = file;
    }
    return (MemberFile)file;
}

static uint32_t WindowsWrite(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    uint32_t total = 0;
    while (total < count) {
        DispatchPendingMessages();
        DWORD piece = count - total < kWritePiece ? count - total : kWritePiece;
        DWORD written = 0;
        // A short write is tried on: the next one tells why (a full disk, or
        // the installer's own pages that could not be read).
        if (!WriteFile((HANDLE)file, bytes + total, piece, &written, NULL) || written == 0) {
            lastFailure = SourceUnreadable(GetLastError()) ? MEMBER_SOURCE_UNREADABLE : MEMBER_FILE_NOT_WRITTEN;
            break;
        }
        total += written;
    }
    return total;
}

// A date or time that does not convert leaves the file's own times.
static void WindowsSetTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return;
    SetFileTime((HANDLE)file, &utc, &utc, &utc);
}

static BOOL SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The member to hold is opened again for reading alone at once, and must be
// the file just written: the writer's handle would keep the system from
// starting it. The installer writes into a fresh folder of its own: a damaged
// member's file stays there until the folder goes.
static bool WindowsClose(MemberFile, bool keep)
{
    BOOL hold = keep && pathToHold[0] != '\0';
    BY_HANDLE_FILE_INFORMATION written;
    BY_HANDLE_FILE_INFORMATION held;
    BOOL known = hold && GetFileInformationByHandle(fileInWriting, &written);
    CloseFile(&fileInWriting);
    if (!hold)
        return true;
    heldFile = OpenFileAt(pathToHold, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (heldFile == INVALID_HANDLE_VALUE)
        heldFile = NULL;
    if (known && heldFile != NULL && GetFileInformationByHandle(heldFile, &held) && SameFile(written, held))
        return true;
    lastFailure = MEMBER_FILE_NOT_CREATED;
    return false;
}

const MemberSink windowsMemberSink = {WindowsCreate, WindowsWrite, WindowsSetTime, WindowsClose, nullptr};
