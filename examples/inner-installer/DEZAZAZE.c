/* A minimal inner installer for the Morlu2 installer, to copy and adapt.

   The installer extracts your product into a fresh work folder, starts
   DEZAZAZE.exe there (the work folder is its current folder) and waits, with
   no time limit, until RES.DAT appears beside it. RES.DAT holds either the
   install folder's path in code page 932, with no line end and at most 259
   bytes, or a text that starts with '*' when the installation failed. With the
   path, the installer offers shortcuts to Morlu.exe in that folder and then to
   open Morlu.txt from there; afterwards it deletes the work folder.

   This one copies every file of the work folder but itself into
   "Program Files\Morlu2" and reports that folder. Every way out writes
   RES.DAT: without it the installer would wait for ever. Build it with, for
   example:
       i686-w64-mingw32-gcc -Os -s -mwindows -o DEZAZAZE.exe DEZAZAZE.c
   On Windows Vista and later, writing to Program Files needs administrator
   rights: give DEZAZAZE.exe a manifest that asks for them, or install into a
   folder of the user's own. */
#include <windows.h>
#include <string.h>

#define PRODUCT_FOLDER "Morlu2"

/* RES.DAT is written under another name and renamed, so that the installer
   never reads it half-written. */
static void Report(const char *text)
{
    DWORD written;
    HANDLE file = CreateFileA("RES.TMP", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, text, lstrlenA(text), &written, NULL);
        CloseHandle(file);
    }
    MoveFileA("RES.TMP", "RES.DAT");
}

/* "C:\Program Files" from the registry, which every Windows since 95 has. */
static BOOL ProgramFiles(char *folder, DWORD size)
{
    HKEY key;
    DWORD type;
    LONG found;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) != 0)
        return FALSE;
    found = RegQueryValueExA(key, "ProgramFilesDir", NULL, &type, (BYTE *)folder, &size);
    RegCloseKey(key);
    return found == 0 && type == REG_SZ;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char folder[MAX_PATH], target[MAX_PATH];
    WIN32_FIND_DATAA found;
    HANDLE search;
    BOOL copied = TRUE;
    (void)instance, (void)previous, (void)commandLine, (void)show;

    if (!ProgramFiles(folder, sizeof folder - sizeof PRODUCT_FOLDER - 1)) {
        Report("*Program Files not found");
        return 1;
    }
    lstrcatA(folder, "\\" PRODUCT_FOLDER);
    CreateDirectoryA(folder, NULL);

    search = FindFirstFileA("*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        Report("*work folder unreadable");
        return 1;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || lstrcmpiA(found.cFileName, "DEZAZAZE.exe") == 0)
            continue;
        if (lstrlenA(folder) + 1 + lstrlenA(found.cFileName) >= MAX_PATH) {
            copied = FALSE;
            break;
        }
        wsprintfA(target, "%s\\%s", folder, found.cFileName);
        copied = copied && CopyFileA(found.cFileName, target, FALSE);
    } while (FindNextFileA(search, &found));
    FindClose(search);

    Report(copied ? folder : "*copy failed");
    return copied ? 0 : 1;
}
