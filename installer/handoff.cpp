#include "installer/handoff.h"

#include "base/caption.h"
#include "base/files.h"
#include "base/member_files.h"
#include "base/message_pump.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "base/screen_text.h"
#include "extract/extract.h"
#include "installer/exit_status.h"
#include "installer/read_errors.h"
#include "resources/resource_ids.h"
#include "shortcuts/shortcut_dialog.h"
#include "shortcuts/shortcut_probe.h"
#include "ui/progress_window.h"

static const DWORD kLookInterval = 1000;
static const DWORD kPumpInterval = 100;
static const DWORD kMaxResultSize = MAX_PATH - 1;

// format takes the path and, if it asks for it, a name in it.
static void ShowWarningAbout(const char* format, const char* path, const char* name = "")
{
    char text[kFormatBufferSize];
    wsprintfA(text, format, path, name);
    ShowWarning(progressWindow, text);
}

// One failure, one box: damage says to download again; a member that cannot
// be created or written says so of the work folder, a full disk among them.
static ExitStatus ExtractIntoWorkFolder(const char* workFolder)
{
    const unsigned char* archive = (const unsigned char*)payloadHeader + payloadHeader->archiveOffset;
    SetMemberSink(&windowsMemberSink);
    int result = ExtractArchive(workFolder, archive, (uint32_t)payloadHeader->archiveSize);
    if (result == kExtractDataError) {
        ShowWarning(progressWindow, "解凍でｴﾗｰが起きました｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります。"
                                    "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡");
        return EXIT_DAMAGED_INSTALLER;
    }
    if (result < 0) {
        MemberFileFailure failure = LastMemberFileFailure();
        // The bytes of a stored member come straight from the mapped file.
        if (failure.writing && (failure.error == ERROR_NOACCESS || failure.error == ERROR_SWAPERROR ||
                                failure.error == ERROR_INVALID_USER_BUFFER)) {
            ShowReadError();
            return EXIT_DAMAGED_INSTALLER;
        }
        BOOL full = failure.error == ERROR_DISK_FULL || failure.error == ERROR_HANDLE_DISK_FULL;
        ShowWarningAbout(failure.writing || full ? "%s にファイルを書き込めません｡ ﾃﾞｨｽｸの空き容量を確認してください｡"
                                                 : "%s にファイルを作成できません｡",
                         workFolder);
        return EXIT_WRITE_FAILED;
    }
    if (result != payloadHeader->memberCount) {
        ShowWarning(progressWindow, "ﾌｧｲﾙの数が異常です｡ ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが壊れている可能性があります｡ "
                                    "ﾀﾞｳﾝﾛｰﾄﾞし直してください｡");
        return EXIT_DAMAGED_INSTALLER;
    }
    return EXIT_INSTALLED;
}

// The inner installer's process, or NULL when the shell gave none.
static HANDLE StartInnerInstaller(const char* workFolder, BOOL* started)
{
    char program[MAX_PATH];
    HANDLE process = NULL;
    *started = JoinPath(program, workFolder, "DEZAZAZE.exe") &&
               OpenWithShell(NULL, NULL, program, workFolder, SW_SHOW, &process);
    if (!*started)
        ShowWarningAbout("%s\\%s を起動できません｡", workFolder, "DEZAZAZE.exe");
    return process;
}

// An exception code for an exit status: the inner installer crashed. A
// normal exit without RES.DAT may have handed the work to another process.
static BOOL EndedWithCrash(HANDLE process)
{
    DWORD status = STILL_ACTIVE;
    return process != NULL && WaitForSingleObject(process, 0) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process, &status) && status >= 0xC0000000;
}

// Waits until the inner installer has written and closed RES.DAT, with no
// time-out unless it crashed (then INVALID_HANDLE_VALUE). Window messages
// keep flowing so the progress window stays alive; the file system is asked
// at most once a second.
static HANDLE WaitForResultFile(const char* path, HANDLE innerInstaller)
{
    DWORD lastLook = GetTickCount();
    for (;;) {
        DispatchPendingMessages();
        Sleep(kPumpInterval);
        if (GetTickCount() - lastLook < kLookInterval)
            continue;
        lastLook = GetTickCount();
        // Asked before the look: a result written just before the crash still counts.
        BOOL crashed = EndedWithCrash(innerInstaller);
        // Read sharing only: the open fails while the writer still holds the file.
        HANDLE file = OpenFileAt(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        if (file != INVALID_HANDLE_VALUE || crashed)
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

static BOOL ReadResultFile(const char* workFolder, HANDLE innerInstaller, char* folder)
{
    char path[MAX_PATH];
    BOOL read = FALSE;
    if (JoinPath(path, workFolder, "RES.DAT")) {
        HANDLE file = WaitForResultFile(path, innerInstaller);
        if (file != INVALID_HANDLE_VALUE) {
            read = ReadInstallFolder(file, folder);
            CloseHandle(file);
        }
    }
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
    ExitStatus extracted = ExtractIntoWorkFolder(workFolder);
    if (extracted != EXIT_INSTALLED)
        return extracted;

    SetProgressStep(2);
    BOOL started;
    HANDLE innerInstaller = StartInnerInstaller(workFolder, &started);
    if (!started)
        return EXIT_INNER_NOT_STARTED;
    char folder[MAX_PATH];
    BOOL read = ReadResultFile(workFolder, innerInstaller, folder);
    if (innerInstaller != NULL)
        CloseHandle(innerInstaller);
    if (!read)
        return EXIT_INSTALL_FAILED;

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
    return EXIT_INSTALLED;
}
