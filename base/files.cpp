#include "base/files.h"

#include "base/cp932.h"
#include "base/wide_calls.h"

// Every path below fits MAX_PATH bytes, and so MAX_PATH wide characters.
struct WidePath {
    WCHAR text[MAX_PATH];
};

static BOOL Widen(const char* path, WidePath* wide)
{
    return WidenCp932(path, wide->text, MAX_PATH);
}

DWORD AttributesOf(const char* path)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return GetFileAttributesA(path);
    WidePath widePath;
    return Widen(path, &widePath) ? wide->getFileAttributes(widePath.text) : INVALID_FILE_ATTRIBUTES;
}

BOOL SetAttributesOf(const char* path, DWORD attributes)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return SetFileAttributesA(path, attributes);
    WidePath widePath;
    return Widen(path, &widePath) && wide->setFileAttributes(widePath.text, attributes);
}

BOOL CreateFolder(const char* path, SECURITY_ATTRIBUTES* security)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return CreateDirectoryA(path, security);
    WidePath widePath;
    return Widen(path, &widePath) && wide->createDirectory(widePath.text, security);
}

BOOL RemoveFolder(const char* path)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return RemoveDirectoryA(path);
    WidePath widePath;
    return Widen(path, &widePath) && wide->removeDirectory(widePath.text);
}

BOOL DeleteFileAt(const char* path)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return DeleteFileA(path);
    WidePath widePath;
    return Widen(path, &widePath) && wide->deleteFile(widePath.text);
}

HANDLE OpenFileAt(const char* path, DWORD access, DWORD share, DWORD disposition)
{
    return OpenFileWithFlags(path, access, share, disposition, FILE_ATTRIBUTE_NORMAL);
}

HANDLE OpenFileWithFlags(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return CreateFileA(path, access, share, NULL, disposition, flags, NULL);
    WidePath widePath;
    if (!Widen(path, &widePath))
        return INVALID_HANDLE_VALUE;
    return wide->createFile(widePath.text, access, share, NULL, disposition, flags, NULL);
}

// entry = found, when the name has a CP932 form or a short name that has one.
static BOOL TakeEntry(const WIN32_FIND_DATAW* found, WIN32_FIND_DATAA* entry)
{
    entry->dwFileAttributes = found->dwFileAttributes;
    return NarrowToCp932(found->cFileName, entry->cFileName, sizeof entry->cFileName) ||
           (found->cAlternateFileName[0] != L'\0' &&
            NarrowToCp932(found->cAlternateFileName, entry->cFileName, sizeof entry->cFileName));
}

HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA* entry)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return FindFirstFileA(pattern, entry);
    WidePath widePattern;
    if (!Widen(pattern, &widePattern))
        return INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW found;
    HANDLE search = wide->findFirstFile(widePattern.text, &found);
    if (search == INVALID_HANDLE_VALUE || TakeEntry(&found, entry))
        return search;
    if (FindNextEntry(search, entry))
        return search;
    FindClose(search);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextEntry(HANDLE search, WIN32_FIND_DATAA* entry)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return FindNextFileA(search, entry);
    WIN32_FIND_DATAW found;
    while (wide->findNextFile(search, &found)) {
        if (TakeEntry(&found, entry))
            return TRUE;
    }
    return FALSE;
}

BOOL Cp932PathOf(const WCHAR* wide, char* path)
{
    if (NarrowToCp932(wide, path, MAX_PATH))
        return TRUE;
    const WideCalls* calls = NtWideCalls();
    // Windows 9x names its files in the ANSI code page, best-fit forms and all.
    if (calls == NULL)
        return WideCharToMultiByte(CP_ACP, 0, wide, -1, path, MAX_PATH, NULL, NULL) != 0;
    WidePath shortForm;
    DWORD length = calls->getShortPathName(wide, shortForm.text, MAX_PATH);
    return length != 0 && length < MAX_PATH && NarrowToCp932(shortForm.text, path, MAX_PATH);
}

BOOL ShortPathOf(const char* path, char* shortPath)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL) {
        DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
        return length != 0 && length < MAX_PATH;
    }
    WidePath widePath;
    WidePath shortForm;
    if (!Widen(path, &widePath))
        return FALSE;
    DWORD length = wide->getShortPathName(widePath.text, shortForm.text, MAX_PATH);
    return length != 0 && length < MAX_PATH && NarrowToCp932(shortForm.text, shortPath, MAX_PATH);
}

BOOL TemporaryFolder(char* path)
{
    const WideCalls* wide = NtWideCalls();
    path[0] = '\0';
    if (wide == NULL) {
        DWORD length = GetTempPathA(MAX_PATH, path);
        return length != 0 && length < MAX_PATH;
    }
    WidePath folder;
    DWORD length = wide->getTempPath(MAX_PATH, folder.text);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    if (Cp932PathOf(folder.text, path))
        return TRUE;
    NarrowForDisplay(folder.text, path, MAX_PATH);
    return FALSE;
}

BOOL OpenWithShell(HWND owner, const char* verb, const char* file, const char* directory, int show,
                   HANDLE* process)
{
    // The ANSI and the wide record differ only in their texts' type.
    SHELLEXECUTEINFOA request;
    ZeroMemory(&request, sizeof request);
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_FLAG_NO_UI | (process != NULL ? SEE_MASK_NOCLOSEPROCESS : 0);
    request.hwnd = owner;
    request.lpVerb = verb;
    request.lpFile = file;
    request.lpDirectory = directory;
    request.nShow = show;
    BOOL started;
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL) {
        started = ShellExecuteExA(&request);
    } else {
        WidePath wideVerb;
        WidePath wideFile;
        WidePath wideDirectory;
        if ((verb != NULL && !Widen(verb, &wideVerb)) || !Widen(file, &wideFile) ||
            (directory != NULL && !Widen(directory, &wideDirectory)))
            return FALSE;
        request.lpVerb = verb != NULL ? (LPCSTR)wideVerb.text : NULL;
        request.lpFile = (LPCSTR)wideFile.text;
        request.lpDirectory = directory != NULL ? (LPCSTR)wideDirectory.text : NULL;
        started = wide->shellExecuteEx((SHELLEXECUTEINFOW*)&request);
    }
    if (process != NULL)
        *process = started ? request.hProcess : NULL;
    return started;
}
