#include <windows.h>

#include "base/caption.h"
#include "base/dll_search.h"
#include "base/process_state.h"
#include "base/screen_text.h"
#include "installer/exit_status.h"
#include "installer/payload_locator.h"
#include "installer/read_errors.h"
#include "installer/work_folder.h"
#include "ui/progress_window.h"

// Windows 98 (4.10) in the 9x line, Windows 2000 (5.0) in the NT line.
static BOOL OperatingSystemSupported()
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return TRUE;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return version.dwMajorVersion > 4 || (version.dwMajorVersion == 4 && version.dwMinorVersion >= 10);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return version.dwMajorVersion >= 5;
    return TRUE;
}

static BOOL UserConfirmed()
{
    if (payloadHeader->messageOffset == 0)
        return TRUE;
    const char* message = (const char*)payloadHeader + payloadHeader->messageOffset;
    return ShowMessageBox(progressWindow, message, GetInstallerCaption(), MB_OKCANCEL) == IDOK;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    KeepDllSearchToSystem();
    instanceHandle = instance;
    // The manifest asks for common controls 6; some Windows XP builds show no
    // dialog or message box of such a program until comctl32 is loaded.
    LoadCommonControls();
    if (!OperatingSystemSupported()) {
        ShowWarning(NULL, "このﾌﾟﾛｸﾞﾗﾑはWin98/2000以降のOSでのみ動作します｡");
        return EXIT_SYSTEM_REFUSED;
    }
    CoInitialize(NULL);
    TellReadErrors();

    int status = EXIT_DAMAGED_INSTALLER;
    int code = LocatePayload();
    if (code != PAYLOAD_OK) {
        char text[kFormatBufferSize];
        wsprintfA(text, "ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが異常です(%d)｡ ﾀﾞｳﾝﾛｰﾄﾞし直してください｡", code);
        ShowWarning(NULL, text);
    } else {
        ShowProgressWindow();
        status = UserConfirmed() ? RunInWorkFolder() : EXIT_CANCELLED;
        if (progressWindow != NULL)
            DestroyWindow(progressWindow);
    }
    if (fileBuffer != NULL)
        UnmapViewOfFile(fileBuffer);
    return status;
}
