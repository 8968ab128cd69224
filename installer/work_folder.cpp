#include "installer/work_folder.h"

#include "base/caption.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "installer/handoff.h"

static const int kWorkFolderCandidates = 1000;

static BOOL CreateWorkFolder(const char* tempPath, char* workFolder)
{
    for (int n = 0; n < kWorkFolderCandidates; ++n) {
        char name[32];
        wsprintfA(name, "%s%d", "RAREVURED", n);
        if (!JoinPath(workFolder, tempPath, name))
            return FALSE; // every longer number would not fit either
        if (AttributesOf(workFolder) == INVALID_FILE_ATTRIBUTES && CreateFolder(workFolder))
            return TRUE;
    }
    return FALSE;
}

// Files go; subfolders, and files that cannot be deleted, keep the folder.
static void RemoveWorkFolder(const char* workFolder)
{
    char pattern[MAX_PATH];
    if (JoinPath(pattern, workFolder, "*")) {
        WIN32_FIND_DATAA entry;
        ZeroMemory(&entry, sizeof entry);
        HANDLE search = FindFirstEntry(pattern, &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                char filePath[MAX_PATH];
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    JoinPath(filePath, workFolder, entry.cFileName))
                    DeleteFileAt(filePath);
            } while (FindNextEntry(search, &entry));
            FindClose(search);
        }
    }
    RemoveFolder(workFolder);
}

int RunInWorkFolder()
{
    char tempPath[MAX_PATH];
    char workFolder[MAX_PATH];
    // No candidate is formed from a folder the system did not give whole.
    if (!TemporaryFolder(tempPath) || !CreateWorkFolder(tempPath, workFolder)) {
        char text[kFormatBufferSize];
        wsprintfA(text, "作業ﾌｫﾙﾀﾞを %s の下に作れません｡", tempPath);
        ShowWarning(progressWindow, text);
        return 0;
    }

    int result = RunInnerInstaller(workFolder);
    RemoveWorkFolder(workFolder);
    return result;
}
