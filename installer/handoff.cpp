#include "installer/handoff.h"

#include "base/caption.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "base/screen_text.h"
#include "extract/extract.h"
#include "resources/resource_ids.h"
#include "shortcuts/shortcut_dialog.h"
#include "shortcuts/shortcut_probe.h"
#include "ui/progress_window.h"

static const DWORD kLookInterval = 1000;
static const DWORD kPumpInterval = 100;
static const DWORD kMaxResultSize = MAX_PATH - 1;

static BOOL ExtractIntoWorkFolder(const char* workFolder)
{
    const unsigned char* archive = (const unsigned char*)payloadHeader + payloadHeader->archiveOffset;
    int result = ExtractArchive(workFolder, archive, (uint32_t)payloadHeader->archiveSize);
    if (result == kExtractDataError) {
        ShowWarning(progressWindow, "解凍でｴﾗｰが起きました｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります。"
                                    "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡");
    } else if (result < 0) {
        char text[kFormatBufferSize];
        wsprintfA(text, "%s にファイルを作成できません｡", workFolder);
        ShowWarning(progressWindow, text);
    }
    if (result != payloadHeader->memberCount) {
        ShowWarning(progressWindow, "ﾌｧｲﾙの数が異常です｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります｡ "
                                    "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡");
        return FALSE;
    }
    return result >= 0;
}

static BOOL StartInnerInstaller(const char* workFolder)
{
    char program[MAX_PATH];
    if (JoinPath(program, workFolder, "DEZAZAZE.exe") && OpenWithShell(NULL, NULL, program, workFolder, SW_SHOW))
        return TRUE;
    char text[kFormatBufferSize];
    wsprintfA(text, "%s\\%s を起動できません｡", workFolder, "DEZAZAZE.exe");
    ShowWarning(progressWindow, text);
    return FALSE;
}

// Waits, with no time-out, until the inner installer has written and closed
// RES.DAT. Window messages keep flowing so the progress window stays alive;
// the file system is asked at most once a second.
static HANDLE WaitForResultFile(const char* path)
{
    DWORD lastLook = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(kPumpInterval);
        if (GetTickCount() - lastLook < kLookInterval)
            continue;
        lastLook = GetTickCount();
        // Read sharing only: the open fails while the writer still holds the file.
        HANDLE file = OpenFileAt(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        if (file != INVALID_HANDLE_VALUE)
            return file;
    }
}

// folder (MAX_PATH bytes) = the install folder that RES.DAT names, up to its
// first NUL. FALSE for a failure report: a wrong size, a short read, a leading
// "*", or a folder too long to hold Morlu.exe and Morlu.txt.
static BOOL ReadInstallFolder(HANDLE file, char* folder)
{
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (high != 0 || size < 1 || size > kMaxResultSize)
        return FALSE;
    DWORD got = 0;
    if (!ReadFile(file, folder, size, &got, NULL) || got < size)
        return FALSE;
    folder[size] = '\0';
    if (folder[0] == '*')
        return FALSE;
    char probe[MAX_PATH];
    return JoinPath(probe, folder, "Morlu.exe") && JoinPath(probe, folder, "Morlu.txt");
}

static BOOL ReadResultFile(const char* workFolder, char* folder)
{
    char path[MAX_PATH];
    if (!JoinPath(path, workFolder, "RES.DAT"))
        return FALSE;
    HANDLE file = WaitForResultFile(path);
    BOOL read = ReadInstallFolder(file, folder);
    CloseHandle(file);
    if (!read)
        ShowWarning(progressWindow, "ｲﾝｽﾄｰﾙできませんでした｡");
    return read;
}

// shortPath doubles as the buffer of the release notes' path afterwards.
static int ProbeExistingShortcut(const char* folder, char* shortPath)
{
    char program[MAX_PATH];
    JoinPath(program, folder, "Morlu.exe");
    if (!ShortPathOf(program, shortPath))
        return 0;
    return FindExistingShortcut(shortPath);
}

int RunInnerInstaller(const char* workFolder)
{
    SetProgressStep(1);
    if (!ExtractIntoWorkFolder(workFolder))
        return 0;

    SetProgressStep(2);
    if (!StartInnerInstaller(workFolder))
        return 0;
    char folder[MAX_PATH];
    if (!ReadResultFile(workFolder, folder))
        return 0;

    SetProgressStep(3);
    char shortPath[MAX_PATH];
    shortcutExists = ProbeExistingShortcut(folder, shortPath);
    installFolder = folder;
    RunDialogFromTemplate(IDD_SHORTCUTS, progressWindow, ShortcutDialogProc);

    SetProgressStep(4);
    int answer = ShowMessageBox(progressWindow,
                                "Morlu2 のｲﾝｽﾄｰﾙが完了しました｡ \r\n\r\nﾘﾘｰｽﾉｰﾄを表示しますか?\r\n"
                                "(ｲﾝｽﾄｰﾙ先のﾌｫﾙﾀﾞの「Morlu.txt」を開けばいつでも表示できます)",
                                GetInstallerCaption(), MB_YESNO);
    if (answer == IDYES) {
        JoinPath(shortPath, folder, "Morlu.txt");
        OpenWithShell(progressWindow, "open", shortPath, NULL, SW_SHOWNORMAL);
    }
    return 1;
}
