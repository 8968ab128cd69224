#include "installer/work_folder.h"

#include "base/caption.h"
#include "base/files.h"
#include "base/member_files.h"
#include "base/message_pump.h"
#include "base/paths.h"
#include "base/private_folder.h"
#include "base/process_state.h"

static const int kWorkFolderCandidates = 1000;
// A file the inner installer or a virus scanner still holds is tried again
// for up to ten seconds.
static const int kRemovalAttempts = 100;
static const DWORD kRemovalPause = 100;

// Empty while the run has none: a run that ends in its middle removes it too.
static char workFolderInUse[MAX_PATH];
// The work folder held open for the run (NULL on Windows 9x).
static HANDLE heldFolder;

// A name that exists, or that is no plain folder by the time it is held (a
// link another program put in its place), is passed over.
static BOOL CreateFreshFolder(const char* tempPath, char* workFolder)
{
    // An elevated installer's folder is Administrators' alone: none of the
    // user's unelevated programs may add a DLL or swap a program there.
    BOOL forAdministrators = RunsAsAdministrator();
    for (int n = 0; n < kWorkFolderCandidates; ++n) {
        char name[32];
        wsprintfA(name, "%s%d", "RAREVURED", n);
        if (!JoinPath(workFolder, tempPath, name))
            return FALSE; // every longer number would not fit either
        if (AttributesOf(workFolder) != INVALID_FILE_ATTRIBUTES || !CreatePrivateFolder(workFolder, forAdministrators))
            continue;
        heldFolder = HoldFolder(workFolder);
        if (heldFolder != INVALID_HANDLE_VALUE)
            return TRUE;
        heldFolder = NULL;
    }
    return FALSE;
}

const char* MakeWorkFolder()
{
    char tempPath[MAX_PATH];
    // No candidate is formed from a folder the system did not give whole.
    if (!TemporaryFolder(tempPath) || !CreateFreshFolder(tempPath, workFolderInUse)) {
        workFolderInUse[0] = '\0';
        ShowWarningAbout(progressWindow, "作業ﾌｫﾙﾀﾞを %s の下に作れません｡", tempPath);
        return NULL;
    }
    return workFolderInUse;
}

// TRUE when every file in the folder went.
static BOOL DeleteFilesIn(const char* workFolder)
{
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, workFolder, "*"))
        return TRUE;
    BOOL allGone = TRUE;
    WIN32_FIND_DATAA entry;
    ZeroMemory(&entry, sizeof entry);
    HANDLE search = FindFirstEntry(pattern, &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            char filePath[MAX_PATH];
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && JoinPath(filePath, workFolder, entry.cFileName))
                allGone = DeleteFileAt(filePath) && allGone;
        } while (FindNextEntry(search, &entry));
        FindClose(search);
    }
    return allGone;
}

static void PauseAnswering()
{
    DispatchPendingMessages();
    Sleep(kRemovalPause);
}

// Files go; subfolders, and files that cannot be deleted, keep the folder. A
// file or the folder still held by another program is tried again for a
// while, the window answering meanwhile; a subfolder ends the attempts. The
// files go while the folder is still held: no other program can have put a
// link in its place, through which the deletions would reach elsewhere.
void RemoveWorkFolder()
{
    if (workFolderInUse[0] == '\0')
        return;
    CloseMemberFiles();
    BOOL filesGone;
    for (int attempt = 1; !(filesGone = DeleteFilesIn(workFolderInUse)) && attempt < kRemovalAttempts; ++attempt)
        PauseAnswering();
    if (heldFolder != NULL)
        CloseHandle(heldFolder);
    heldFolder = NULL;
    for (int attempt = 1; filesGone && !RemoveFolder(workFolderInUse) && GetLastError() != ERROR_DIR_NOT_EMPTY &&
                          attempt < kRemovalAttempts;
         ++attempt)
        PauseAnswering();
    workFolderInUse[0] = '\0';
}
