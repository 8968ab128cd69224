// The file system by CP932 path: through the wide calls on NT, so that a path
// names the same file whatever the ANSI code page is; the ANSI calls on
// Windows 9x. Paths the system gives come in CP932 too: as they are when every
// character has a CP932 form, else in their 8.3 short form.
#pragma once
#include <windows.h>

DWORD AttributesOf(const char* path);
BOOL SetAttributesOf(const char* path, DWORD attributes);
BOOL CreateFolder(const char* path, SECURITY_ATTRIBUTES* security = NULL);
BOOL RemoveFolder(const char* path);
BOOL DeleteFileAt(const char* path);
// CreateFile with no security attributes, normal attributes and no template.
HANDLE OpenFileAt(const char* path, DWORD access, DWORD share, DWORD disposition);
// The same with flags in place of the attributes: a folder opens with FILE_FLAG_BACKUP_SEMANTICS.
HANDLE OpenFileWithFlags(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags);

// FindFirstFile and FindNextFile; only the entry's attributes and name are filled. A name
// with no CP932 form comes as its 8.3 short name, and one without that is passed over.
HANDLE FindFirstEntry(const char* pattern, WIN32_FIND_DATAA* entry);
BOOL FindNextEntry(HANDLE search, WIN32_FIND_DATAA* entry);

// path (MAX_PATH bytes) = wide, or its 8.3 short form; FALSE when neither has a
// CP932 form. On Windows 9x, wide in the ANSI code page, as near as it goes.
BOOL Cp932PathOf(const WCHAR* wide, char* path);
// GetShortPathName into MAX_PATH bytes: FALSE when it fails or does not fit.
BOOL ShortPathOf(const char* path, char* shortPath);
// The temporary folder, ending in a backslash. FALSE when the system gives
// none that fits; path then holds it as near as CP932 shows it, for the message.
BOOL TemporaryFolder(char* path);
// ShellExecuteEx, with no box of the shell's own; TRUE when the shell took it.
// With process, *process is the started program's process handle (to be
// closed) or NULL when the shell gives none.
BOOL OpenWithShell(HWND owner, const char* verb, const char* file, const char* directory, int show,
                   HANDLE* process = NULL);
