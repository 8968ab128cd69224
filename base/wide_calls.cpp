#include "base/wide_calls.h"

// In the order of WideCalls' members.
static const struct {
    const char* module;
    const char* name;
} kWideCallNames[] = {
    {"kernel32", "GetModuleFileNameW"}, {"kernel32", "CreateFileW"},
    {"kernel32", "GetTempPathW"},       {"kernel32", "GetFileAttributesW"},
    {"kernel32", "SetFileAttributesW"}, {"kernel32", "CreateDirectoryW"},
    {"kernel32", "RemoveDirectoryW"},   {"kernel32", "DeleteFileW"},
    {"kernel32", "FindFirstFileW"},     {"kernel32", "FindNextFileW"},
    {"kernel32", "GetShortPathNameW"},  {"user32", "MessageBoxW"},
    {"user32", "SetWindowTextW"},       {"user32", "GetWindowTextW"},
    {"user32", "CreateDialogParamW"},   {"user32", "DialogBoxParamW"},
    {"shell32", "ShellExecuteW"},
};

static union {
    WideCalls calls;
    FARPROC slots[sizeof(WideCalls) / sizeof(FARPROC)];
} found;
static_assert(sizeof kWideCallNames / sizeof kWideCallNames[0] == sizeof found.slots / sizeof found.slots[0],
              "a name for every call");

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
    for (unsigned i = 0; i < sizeof found.slots / sizeof found.slots[0]; ++i) {
        // The stub imports from all three, so they are loaded already.
        HMODULE module = GetModuleHandleA(kWideCallNames[i].module);
        found.slots[i] = module != NULL ? GetProcAddress(module, kWideCallNames[i].name) : NULL;
        if (found.slots[i] == NULL)
            return NULL;
    }
    wideCalls = &found.calls;
    return wideCalls;
}
