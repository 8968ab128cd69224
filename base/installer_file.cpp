#include "base/installer_file.h"

#include "base/process_state.h"
#include "base/wide_calls.h"

// A virus scanner may hold a freshly downloaded file for a moment: a sharing
// violation is tried again for about 1.5 s before the file counts as unreadable.
static const int kOpenAttempts = 16;
static const DWORD kOpenPause = 100;

// By its wide name on NT: saved in a folder named outside the ANSI code page,
// its ANSI name would be a best-fit look-alike.
static int OpenInstallerFile(HANDLE* file)
{
    const WideCalls* wide = NtWideCalls();
    WCHAR widePath[MAX_PATH];
    char ansiPath[MAX_PATH];
    DWORD length = wide != NULL ? wide->getModuleFileName(NULL, widePath, MAX_PATH)
                                : GetModuleFileNameA(NULL, ansiPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return PAYLOAD_NO_FILE_NAME;
    for (int attempt = 1;; ++attempt) {
        *file = wide != NULL ? wide->createFile(widePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, NULL)
                             : CreateFileA(ansiPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, NULL);
        if (*file != INVALID_HANDLE_VALUE)
            return PAYLOAD_OK;
        if (GetLastError() != ERROR_SHARING_VIOLATION || attempt == kOpenAttempts)
            return PAYLOAD_UNREADABLE;
        Sleep(kOpenPause);
    }
}

// Mapped, not read: the window comes up at once whatever the size, and the
// pages belong to the file, not to the process's private memory, so a large
// product costs no memory of its own. A read error of the pages (a CD or a
// share that goes away) is told by installer/read_errors.cpp.
static BOOL MapWholeFile(HANDLE file)
{
    DWORD high = 0;
    installerImageSize = GetFileSize(file, &high);
    if (high != 0 || installerImageSize == INVALID_FILE_SIZE)
        return FALSE;
    HANDLE mapping = CreateFileMappingA(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (mapping == NULL)
        return FALSE;
    installerImage = (const unsigned char*)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    return installerImage != NULL;
}

int MapInstallerFile()
{
    HANDLE file;
    int opened = OpenInstallerFile(&file);
    if (opened != PAYLOAD_OK)
        return opened;
    BOOL mapped = MapWholeFile(file);
    CloseHandle(file);
    return mapped ? PAYLOAD_OK : PAYLOAD_UNREADABLE;
}

void UnmapInstallerFile()
{
    if (installerImage != NULL)
        UnmapViewOfFile(installerImage);
    installerImage = NULL;
}
