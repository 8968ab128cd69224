#include "shortcuts/shortcut_creation.h"

#include <shlobj.h>

#include "base/caption.h"
#include "base/files.h"
#include "base/paths.h"
#include "shortcuts/shell_folders.h"
#include "shortcuts/shell_link.h"

static const int kLastCandidate = 999;

BOOL CreateShortcutInFolder(HWND dialog, BOOL desktop, const char* installFolder)
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
            // Every later name is longer and would not fit either.
            if (!JoinPath(linkPath, folder, fileName))
                break;
            // Taken by a file or a folder alike.
            if (AttributesOf(linkPath) != INVALID_FILE_ATTRIBUTES)
                continue;
            HRESULT saved = SaveShortcutFile(target, installFolder, baseName, linkPath);
            if (saved == S_OK)
                return TRUE;
            // Only a name taken since the look is worth the next one: any
            // other failure would come again for every name, a save at a time.
            if (saved != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS) && saved != HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS))
                break;
        }
    }
    ShowWarning(dialog, "ｼｮｰﾄｶｯﾄを作れません。");
    return FALSE;
}
