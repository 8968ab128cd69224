// The run, in the order of its steps. A step that fails tells the user in one
// box and ends the run; WinMain then removes whatever the run had made.
#include <windows.h>

#include "base/caption.h"
#include "base/dll_search.h"
#include "base/installer_file.h"
#include "base/process_state.h"
#include "base/screen_text.h"
#include "installer/completion.h"
#include "installer/exit_status.h"
#include "installer/extraction.h"
#include "installer/handoff.h"
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

static BOOL PayloadFound()
{
    int code = LocatePayload();
    if (code == PAYLOAD_OK)
        return TRUE;
    char text[kFormatBufferSize];
    wsprintfA(text, "ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが異常です(%d)｡ ﾀﾞｳﾝﾛｰﾄﾞし直してください｡", code);
    ShowWarning(NULL, text);
    return FALSE;
}

static BOOL UserConfirmed()
{
    if (payloadHeader->messageOffset == 0)
        return TRUE;
    const char* message = (const char*)payloadHeader + payloadHeader->messageOffset;
    return ShowMessageBox(progressWindow, message, GetInstallerCaption(), MB_OKCANCEL) == IDOK;
}

static ExitStatus RunTheInstaller()
{
    if (!OperatingSystemSupported()) {
        ShowWarning(NULL, "このﾌﾟﾛｸﾞﾗﾑはWin98/2000以降のOSでのみ動作します｡");
        return EXIT_SYSTEM_REFUSED;
    }
    CoInitialize(NULL);
    TellReadErrors();
    if (!PayloadFound())
        return EXIT_DAMAGED_INSTALLER;
    ShowProgressWindow();
    if (!UserConfirmed())
        return EXIT_CANCELLED;
    const char* workFolder = MakeWorkFolder();
    if (workFolder == NULL)
        return EXIT_NO_WORK_FOLDER;
    ExitStatus status = ExtractIntoWorkFolder(workFolder);
    char installFolder[MAX_PATH];
    if (status == EXIT_INSTALLED)
        status = RunInnerInstaller(workFolder, installFolder);
    if (status == EXIT_INSTALLED)
        CompleteInstallation(installFolder);
    return status;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    KeepDllSearchToSystem();
    instanceHandle = instance;
    // The manifest asks for common controls 6; some Windows XP builds show no
    // dialog or message box of such a program until comctl32 is loaded.
    LoadCommonControls();
    ExitStatus status = RunTheInstaller();
    // Whichever step the run ended at, nothing it made stays behind.
    RemoveWorkFolder();
    if (progressWindow != NULL)
        DestroyWindow(progressWindow);
    UnmapInstallerFile();
    return status;
}
