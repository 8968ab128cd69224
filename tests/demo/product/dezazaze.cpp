// The demo inner installer. Started in the work folder, it copies Morlu.exe
// and Morlu.txt into the install folder and reports that folder in RES.DAT.
// DEZAZAZE.CFG beside it (lines key=value) changes what it does, for tests:
//   folder=PATH    install folder (default: %ProgramFiles%\Morlu2)
//   result=normal|star|crlf|nul259|bytes260|empty|never   what RES.DAT holds
//   delay=MS       wait this long before writing RES.DAT
//   hold=MS        keep RES.DAT open for writing this long before closing it
//   tickfile=1     write the tick count at start into STARTED.TIC
//   crash=1        crash (a write through a null pointer) instead of writing RES.DAT
//   holdafter=MS   after RES.DAT, keep DEZAZAZE.CFG open, unshared, this long
#include <windows.h>

#include <stdlib.h>
#include <string.h>

static char ownFolder[MAX_PATH];

static void InFolder(char* dest, const char* name)
{
    wsprintfA(dest, "%s\\%s", ownFolder, name);
}

// Value of `key` in the configuration text, copied into value; FALSE if absent.
static BOOL Setting(const char* config, const char* key, char* value, int capacity)
{
    int keyLength = lstrlenA(key);
    for (const char* line = config; *line;) {
        const char* end = line + strcspn(line, "\r\n");
        if (end - line > keyLength && strncmp(line, key, keyLength) == 0 && line[keyLength] == '=') {
            int length = (int)(end - line) - keyLength - 1;
            if (length >= capacity)
                length = capacity - 1;
            memcpy(value, line + keyLength + 1, length);
            value[length] = '\0';
            return TRUE;
        }
        line = end + strspn(end, "\r\n");
    }
    return FALSE;
}

static void ReadConfig(char* config, int capacity)
{
    char path[MAX_PATH];
    InFolder(path, "DEZAZAZE.CFG");
    config[0] = '\0';
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD got = 0;
    ReadFile(file, config, capacity - 1, &got, NULL);
    config[got] = '\0';
    CloseHandle(file);
}

static void WriteWhole(const char* path, const void* bytes, DWORD size)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written;
    WriteFile(file, bytes, size, &written, NULL);
    CloseHandle(file);
}

static void Install(const char* folder)
{
    CreateDirectoryA(folder, NULL);
    static const char* const names[] = {"Morlu.exe", "Morlu.txt"};
    for (const char* name : names) {
        char from[MAX_PATH];
        char to[MAX_PATH];
        InFolder(from, name);
        wsprintfA(to, "%s\\%s", folder, name);
        CopyFileA(from, to, FALSE);
    }
}

// What RES.DAT holds for each result kind.
static DWORD ResultBytes(const char* result, const char* folder, char* out)
{
    DWORD length = lstrlenA(folder);
    if (lstrcmpA(result, "star") == 0) {
        out[0] = '*';
        memcpy(out + 1, folder, length);
        return length + 1;
    }
    if (lstrcmpA(result, "crlf") == 0) {
        memcpy(out, folder, length);
        memcpy(out + length, "\r\n", 2);
        return length + 2;
    }
    if (lstrcmpA(result, "nul259") == 0 || lstrcmpA(result, "bytes260") == 0) {
        // The folder, a NUL that ends the path, and padding to the size.
        DWORD size = result[0] == 'n' ? 259 : 260;
        memset(out, 'x', size);
        memcpy(out, folder, length + 1);
        return size;
    }
    if (lstrcmpA(result, "empty") == 0)
        return 0;
    memcpy(out, folder, length);
    return length;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    DWORD started = GetTickCount();
    // The work folder is the current folder: the installer names it in its
    // short form where the long one has no ANSI form, which only the module's
    // own file name would still show.
    GetCurrentDirectoryA(MAX_PATH, ownFolder);

    char config[4096];
    ReadConfig(config, sizeof config);
    char value[MAX_PATH];
    if (Setting(config, "tickfile", value, sizeof value)) {
        char path[MAX_PATH];
        char tick[16];
        InFolder(path, "STARTED.TIC");
        WriteWhole(path, tick, wsprintfA(tick, "%lu", started));
    }

    char folder[MAX_PATH];
    if (!Setting(config, "folder", folder, sizeof folder)) {
        GetEnvironmentVariableA("ProgramFiles", value, sizeof value);
        wsprintfA(folder, "%s\\Morlu2", value);
    }
    Install(folder);

    if (Setting(config, "crash", value, sizeof value))
        *(volatile int*)(INT_PTR)atoi("0") = 1;

    char result[32] = "normal";
    Setting(config, "result", result, sizeof result);
    if (lstrcmpA(result, "never") == 0)
        return 0;
    if (Setting(config, "delay", value, sizeof value))
        Sleep(atoi(value));

    char bytes[512];
    DWORD size = ResultBytes(result, folder, bytes);
    char path[MAX_PATH];
    InFolder(path, "RES.DAT");
    if (Setting(config, "hold", value, sizeof value)) {
        // Written in place and held open: the installer must wait for the close.
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        DWORD written;
        WriteFile(file, bytes, size, &written, NULL);
        Sleep(atoi(value));
        CloseHandle(file);
        return 0;
    }
    // Written under another name and renamed, so it never shows half-written.
    char temporary[MAX_PATH];
    InFolder(temporary, "RES.TMP");
    WriteWhole(temporary, bytes, size);
    // As a virus scanner might: the installer's clean-up must wait for it.
    HANDLE held = INVALID_HANDLE_VALUE;
    char heldPath[MAX_PATH];
    InFolder(heldPath, "DEZAZAZE.CFG");
    if (Setting(config, "holdafter", value, sizeof value))
        held = CreateFileA(heldPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    MoveFileA(temporary, path);
    if (held != INVALID_HANDLE_VALUE) {
        Sleep(atoi(value));
        CloseHandle(held);
    }
    return 0;
}
