#include "base/wide_calls.h"

// The calls' names in the order of WideCalls' members, each module's after the
// module's own name and ended by an empty name. One text, not a table of
// pointers: in the stub every pointer costs a relocation as well.
static constexpr char kWideCallNames[] =
    "kernel32\0GetModuleFileNameW\0CreateFileW\0GetTempPathW\0GetFileAttributesW\0SetFileAttributesW\0"
    "CreateDirectoryW\0RemoveDirectoryW\0DeleteFileW\0FindFirstFileW\0FindNextFileW\0GetShortPathNameW\0\0"
    "user32\0MessageBoxW\0SetWindowTextW\0GetWindowTextW\0CreateDialogParamW\0DialogBoxParamW\0\0"
    "shell32\0ShellExecuteExW\0\0";

static union {
    WideCalls calls;
    FARPROC slots[sizeof(WideCalls) / sizeof(FARPROC)];
} found;

static constexpr unsigned CountCalls(const char* names)
{
    unsigned calls = 0;
    while (*names != '\0') {
        while (*names++ != '\0') {
        }
        for (; *names != '\0'; ++calls) {
            while (*names++ != '\0') {
            }
        }
        ++names;
    }
    return calls;
}
static_assert(CountCalls(kWideCallNames) == sizeof found.slots / sizeof found.slots[0], "a name for every call");

static BOOL lookedUp;
static const WideCalls* wideCalls;

const WideCalls* NtWideCalls()
{
    if (lookedUp)
        return wideCalls;
    lookedUp = TRUE;
    // Windows 9x exports many wide names too, as stubs that only fail.
    if (GetVersion() & 0x80000000)
        return NULL;
    FARPROC* slot = found.slots;
    for (const char* name = kWideCallNames; *name != '\0'; ++name) {
        // The stub imports from all three, so they are loaded already.
        HMODULE module = GetModuleHandleA(name);
        for (name += lstrlenA(name) + 1; *name != '\0'; name += lstrlenA(name) + 1) {
            *slot = module != NULL ? GetProcAddress(module, name) : NULL;
            if (*slot++ == NULL)
                return NULL;
        }
    }
    wideCalls = &found.calls;
    return wideCalls;
}
