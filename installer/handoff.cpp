#include "installer/handoff.h"

#include "base/caption.h"
#include "base/files.h"
#include "base/member_files.h"
#include "base/message_pump.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "ui/progress_window.h"

static const DWORD kLookInterval = 1000;
static const DWORD kPumpInterval = 100;
static const DWORD kMaxResultSize = MAX_PATH - 1;

// The inner installer's process, or NULL when the shell gave none.
static HANDLE StartInnerInstaller(const char* workFolder, BOOL* started)
{
    char program[MAX_PATH];
    HANDLE process = NULL;
    *started = JoinPath(program, workFolder, "DEZAZAZE.exe") &&
               OpenWithShell(NULL, NULL, program, workFolder, SW_SHOW, &process);
    if (!*started)
        ShowWarningAbout(progressWindow, "%s\\DEZAZAZE.exe を起動できません｡", workFolder);
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

ExitStatus RunInnerInstaller(const char* workFolder, char* installFolder)
{
    SetProgressStep(2);
    BOOL started;
    HANDLE innerInstaller = StartInnerInstaller(workFolder, &started);
    // Held until now, so that the program started is the one extracted.
    CloseMemberFiles();
    if (!started)
        return EXIT_INNER_NOT_STARTED;
    BOOL read = ReadResultFile(workFolder, innerInstaller, installFolder);
    if (innerInstaller != NULL)
        CloseHandle(innerInstaller);
    return read ? EXIT_INSTALLED : EXIT_INSTALL_FAILED;
}
