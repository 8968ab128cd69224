// The installer's member files, the engine's Win32 sink: created through
// base/files.h, so a CP932 member name such as ソフト.txt is the same file on
// any ANSI code page. Results are judged only where the engine acts on them.
#include "base/files.h"
#include "extract/member_sink.h"

static MemberFile WindowsCreate(const char* path, uint32_t)
{
    // A read-only file of that name would refuse to be replaced.
    DWORD attributes = AttributesOf(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetAttributesOf(path, attributes & ~FILE_ATTRIBUTE_READONLY);
    return (MemberFile)OpenFileAt(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
}

static uint32_t WindowsWrite(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    DWORD written = 0;
    WriteFile((HANDLE)file, bytes, count, &written, NULL);
    return written;
}

// A date or time that does not convert leaves the file's own times.
static void WindowsSetTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return;
    SetFileTime((HANDLE)file, &utc, &utc, &utc);
}

// The installer writes into a fresh folder of its own: a damaged member's
// file stays there until the folder goes.
static bool WindowsClose(MemberFile file, bool)
{
    CloseHandle((HANDLE)file);
    return true;
}

const MemberSink windowsMemberSink = {WindowsCreate, WindowsWrite, WindowsSetTime, WindowsClose, nullptr};
