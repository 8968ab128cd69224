// shortcut_dialog_demo OUT.bmp [INSTALL_FOLDER]
// Opens the shortcut dialog as the installer does, over the progress window,
// saves a screenshot of it as OUT.bmp, then clears both boxes and closes it
// with OK, so that no shortcut is made. INSTALL_FOLDER (an existing folder)
// defaults to the temporary folder.
#include <windows.h>
#include <stdio.h>

#include "driver/state.h"
#include "resources/resource_ids.h"
#include "screenshot.h"
#include "shortcuts/shortcut_dialog.h"
#include "ui/progress_window.h"
#include "window_probe.h"

static const char* outputPath;
static bool saved;

static bool IsShortcutDialog(HWND window)
{
    return GetDlgItem(window, IDC_DESKTOP_SHORTCUT) != NULL && GetDlgItem(window, IDCANCEL) != NULL;
}

static DWORD WINAPI Photograph(LPVOID)
{
    HWND dialog = WaitForWindow(GetCurrentProcessId(), IsShortcutDialog, 10000);
    if (dialog == NULL)
        return 0;
    Sleep(500); // let it finish painting
    RECT area;
    GetWindowRect(dialog, &area);
    saved = SaveScreenshot(area, outputPath);
    SendDlgItemMessageA(dialog, IDC_DESKTOP_SHORTCUT, BM_SETCHECK, BST_UNCHECKED, 0);
    SendDlgItemMessageA(dialog, IDC_PROGRAMS_SHORTCUT, BM_SETCHECK, BST_UNCHECKED, 0);
    PostMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: shortcut_dialog_demo OUT.bmp [INSTALL_FOLDER]\n");
        return 2;
    }
    outputPath = argv[1];
    char folder[MAX_PATH];
    if (argc > 2)
        lstrcpynA(folder, argv[2], MAX_PATH);
    else
        GetTempPathA(MAX_PATH, folder);

    CoInitialize(NULL);
    static PayloadHeader header;
    lstrcpyA(header.versionText, "1.10");
    payloadHeader = &header;
    instanceHandle = GetModuleHandleA(NULL);
    installFolder = folder;
    shortcutExists = 0;
    ShowProgressWindow();
    SetProgressStep(3);

    HANDLE photographer = CreateThread(NULL, 0, Photograph, NULL, 0, NULL);
    DialogBoxParamA(instanceHandle, MAKEINTRESOURCEA(IDD_SHORTCUTS), progressWindow, ShortcutDialogProc, 0);
    WaitForSingleObject(photographer, INFINITE);
    CloseHandle(photographer);
    if (progressWindow != NULL)
        DestroyWindow(progressWindow);
    if (!saved) {
        fprintf(stderr, "shortcut_dialog_demo: no screenshot saved to %s\n", outputPath);
        return 1;
    }
    printf("shortcut_dialog_demo: saved %s\n", outputPath);
    return 0;
}
