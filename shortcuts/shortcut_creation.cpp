#include "shortcuts/shortcut_creation.h"

#include <shlobj.h>

#include "base/caption.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "shortcuts/shell_folders.h"

static const int kLastCandidate = 999;
// The installed program's fourth icon.
static const int kIconIndex = 3;

BOOL CreateShortcutInFolder(HWND dialog, BOOL desktop)
{
    char folder[MAX_PATH];
    if (!ResolveSpecialFolder(desktop ? CSIDL_DESKTOPDIRECTORY : CSIDL_PROGRAMS, folder)) {
        ShowWarning(dialog, "ｼｮｰﾄｶｯﾄを置くﾌｫﾙﾀﾞがみつかりません。");
        return FALSE;
    }
    // A target that does not fit MAX_PATH fails every candidate alike.
    char target[MAX_PATH];
    if (JoinPath(target, installFolder, "Morlu.exe")) {
        for (int candidate = 1; candidate <= kLastCandidate; ++candidate) {
            char baseName[32];
            char fileName[32];
            char linkPath[MAX_PATH];
            if (candidate == 1)
                lstrcpyA(baseName, "Morlu2");
            else
                wsprintfA(baseName, "Morlu2(%d)", candidate);
            wsprintfA(fileName, "%s.lnk", baseName);
            if (!JoinPath(linkPath, folder, fileName))
                continue;
            // Taken by a file or a folder alike.
            if (GetFileAttributesA(linkPath) != INVALID_FILE_ATTRIBUTES)
                continue;
            if (SaveShortcutFile(target, installFolder, baseName, linkPath) == S_OK)
                return TRUE;
        }
    }
    ShowWarning(dialog, "ｼｮｰﾄｶｯﾄを作れません。");
    return FALSE;
}

HRESULT SaveShortcutFile(const char* target, const char* workingDirectory, const char* description,
                         const char* linkPath)
{
    IShellLinkA* link = NULL;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link);
    if (FAILED(result))
        return result;
    link->SetPath(target);
    link->SetWorkingDirectory(workingDirectory);
    link->SetDescription(description);
    link->SetIconLocation(target, kIconIndex);

    IPersistFile* file = NULL;
    result = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (FAILED(result)) {
        link->Release();
        return result;
    }
    // A MAX_PATH byte path never needs more than MAX_PATH wide characters.
    WCHAR widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH);
    result = file->Save(widePath, TRUE);
    file->Release();
    link->Release();
    return result;
}
