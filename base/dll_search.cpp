#include "base/dll_search.h"

#include <windows.h>

// DLLs that Windows loads by name for the installer's windows, shell calls
// and shortcuts and that are not KnownDLLs on every system it runs on. Loaded
// once from the system folder, they are found already loaded whenever they
// are asked for by name; what a system lacks simply fails to load.
static constexpr char kSystemDlls[] =
    "uxtheme.dll\0msimg32.dll\0dwmapi.dll\0version.dll\0apphelp.dll\0propsys.dll\0userenv.dll\0"
    "profapi.dll\0cryptbase.dll\0sspicli.dll\0linkinfo.dll\0ntshrui.dll\0cscapi.dll\0oleacc.dll\0"
    "clbcatq.dll\0setupapi.dll\0";

void KeepDllSearchToSystem()
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length > MAX_PATH - sizeof "\\cryptbase.dll")
        return;
    // The installer and what it starts use full paths only; a current folder
    // that Windows 98, 2000 and XP search before the system folder becomes
    // the system folder itself.
    SetCurrentDirectoryA(path);

    HMODULE kernel = GetModuleHandleA("kernel32");
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesCall)(DWORD);
    typedef BOOL(WINAPI * SetDllDirectoryCall)(LPCSTR);
    SetDefaultDllDirectoriesCall setDefaultDirectories =
        (SetDefaultDllDirectoriesCall)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories");
    // Vista (6.0) creates no shell link object once the search is the
    // system folder alone: there the application folder stays, behind the
    // loads below.
    BOOL systemOnly = setDefaultDirectories != NULL && LOWORD(GetVersion()) != 0x0006 &&
                      setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!systemOnly) {
        SetDllDirectoryCall setDllDirectory = (SetDllDirectoryCall)(void*)GetProcAddress(kernel, "SetDllDirectoryA");
        if (setDllDirectory != NULL)
            setDllDirectory("");
    }

    path[length++] = '\\';
    // A DLL that an older system has without what it needs fails quietly,
    // not with a box of the system's.
    UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const char* name = kSystemDlls; *name != '\0'; name += lstrlenA(name) + 1) {
        lstrcpyA(path + length, name);
        LoadLibraryA(path);
    }
    SetErrorMode(errorMode);
}

void LoadCommonControls()
{
    // Not an import: Windows would then load it before the search is narrowed.
    HMODULE controls = LoadLibraryA("comctl32.dll");
    if (controls == NULL)
        return;
    typedef void(WINAPI * InitCommonControlsCall)();
    InitCommonControlsCall initialize = (InitCommonControlsCall)(void*)GetProcAddress(controls, "InitCommonControls");
    if (initialize != NULL)
        initialize();
}
