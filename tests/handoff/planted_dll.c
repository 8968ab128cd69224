// A DLL planted where the installer must not look for one: loading it leaves
// a mark beside it (its own path with ".loaded") and fails, so the loader
// goes on as if it had not been there.
#include <windows.h>

BOOL WINAPI PlantedDllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char mark[MAX_PATH + 8];
        DWORD length = GetModuleFileNameA(self, mark, MAX_PATH);
        if (length != 0 && length < MAX_PATH) {
            lstrcpyA(mark + length, ".loaded");
            CloseHandle(CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        }
    }
    return FALSE;
}
