#include "shortcuts/shortcut_probe.h"

#include <shlobj.h>

#include "base/files.h"
#include "base/paths.h"
#include "shortcuts/shell_folders.h"
#include "shortcuts/shell_link.h"

BOOL FindExistingShortcut(const char* shortTarget)
{
    char folder[MAX_PATH];
    if (ResolveSpecialFolder(CSIDL_DESKTOPDIRECTORY, folder) && FolderHasShortcutTo(folder, FALSE, shortTarget))
        return TRUE;
    if (ResolveSpecialFolder(CSIDL_PROGRAMS, folder))
        return FolderHasShortcutTo(folder, TRUE, shortTarget);
    return FALSE;
}

static BOOL IsDirectory(const WIN32_FIND_DATAA* entry)
{
    return (entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

static BOOL AnyShortcutPointsTo(const char* folder, char* pattern, char* entryPath, const char* shortTarget)
{
    if (!JoinPath(pattern, folder, "*.lnk"))
        return FALSE;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstEntry(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL found = FALSE;
    do {
        // A name too long to join cannot be loaded: skipped like an over-long subfolder.
        if (!IsDirectory(&entry) && JoinPath(entryPath, folder, entry.cFileName))
            found = ShortcutPointsTo(entryPath, shortTarget);
    } while (!found && FindNextEntry(search, &entry));
    FindClose(search);
    return found;
}

static BOOL AnySubfolderHasShortcutTo(const char* folder, char* pattern, char* entryPath, const char* shortTarget)
{
    if (!JoinPath(pattern, folder, "*"))
        return FALSE;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstEntry(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return FALSE;
    int folderLength = lstrlenA(folder);
    BOOL found = FALSE;
    do {
        if (!IsDirectory(&entry) || lstrcmpA(entry.cFileName, ".") == 0 || lstrcmpA(entry.cFileName, "..") == 0)
            continue;
        // Also what bounds the depth of the recursion.
        if (folderLength + lstrlenA(entry.cFileName) + 2 >= MAX_PATH)
            continue;
        if (JoinPath(entryPath, folder, entry.cFileName))
            found = FolderHasShortcutTo(entryPath, TRUE, shortTarget);
    } while (!found && FindNextEntry(search, &entry));
    FindClose(search);
    return found;
}

BOOL FolderHasShortcutTo(const char* folder, BOOL recurse, const char* shortTarget)
{
    // From the heap, not the stack: every level of the recursion holds its own.
    HANDLE heap = GetProcessHeap();
    char* pattern = (char*)HeapAlloc(heap, 0, MAX_PATH);
    char* entryPath = (char*)HeapAlloc(heap, 0, MAX_PATH);
    BOOL found = FALSE;
    if (pattern != NULL && entryPath != NULL) {
        found = AnyShortcutPointsTo(folder, pattern, entryPath, shortTarget);
        if (!found && recurse)
            found = AnySubfolderHasShortcutTo(folder, pattern, entryPath, shortTarget);
    }
    if (pattern != NULL)
        HeapFree(heap, 0, pattern);
    if (entryPath != NULL)
        HeapFree(heap, 0, entryPath);
    return found;
}

static char FoldAsciiCase(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// Byte by byte, so the bytes of double-byte characters are folded as well.
static BOOL EqualIgnoringAsciiCase(const char* a, const char* b)
{
    for (; FoldAsciiCase(*a) == FoldAsciiCase(*b); ++a, ++b) {
        if (*a == '\0')
            return TRUE;
    }
    return FALSE;
}

BOOL ShortcutPointsTo(const char* linkPath, const char* shortTarget)
{
    char target[MAX_PATH];
    if (!ReadShortcutTarget(linkPath, target))
        return FALSE;
    // Some shells hand back the long form despite SLGP_SHORTPATH; a target
    // that exists is brought to its short form here.
    char shortForm[MAX_PATH];
    if (ShortPathOf(target, shortForm))
        lstrcpyA(target, shortForm);
    return EqualIgnoringAsciiCase(target, shortTarget);
}
