#include "shortcuts/shortcut_creation.h"

#include <shlobj.h>

#include "base/caption.h"
#include "base/cp932.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "base/wide_calls.h"
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

// The fields through the wide link on NT, so that the paths keep every
// character whatever the ANSI code page is.
static HRESULT SetLinkFields(IUnknown* link, const char* target, const char* workingDirectory, const char* description)
{
    if (NtWideCalls() == NULL) {
        IShellLinkA* ansiLink = (IShellLinkA*)link;
        ansiLink->SetPath(target);
        ansiLink->SetWorkingDirectory(workingDirectory);
        ansiLink->SetDescription(description);
        ansiLink->SetIconLocation(target, kIconIndex);
        return S_OK;
    }
    // Every text here fits MAX_PATH bytes, and so MAX_PATH wide characters.
    WCHAR wideTarget[MAX_PATH];
    WCHAR wideDirectory[MAX_PATH];
    WCHAR wideDescription[MAX_PATH];
    if (!WidenCp932(target, wideTarget, MAX_PATH) || !WidenCp932(workingDirectory, wideDirectory, MAX_PATH) ||
        !WidenCp932(description, wideDescription, MAX_PATH))
        return E_INVALIDARG;
    IShellLinkW* wideLink = (IShellLinkW*)link;
    wideLink->SetPath(wideTarget);
    wideLink->SetWorkingDirectory(wideDirectory);
    wideLink->SetDescription(wideDescription);
    wideLink->SetIconLocation(wideTarget, kIconIndex);
    return S_OK;
}

HRESULT SaveShortcutFile(const char* target, const char* workingDirectory, const char* description,
                         const char* linkPath)
{
    IUnknown* link = NULL;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER,
                                      NtWideCalls() != NULL ? IID_IShellLinkW : IID_IShellLinkA, (void**)&link);
    if (FAILED(result))
        return result;
    result = SetLinkFields(link, target, workingDirectory, description);
    IPersistFile* file = NULL;
    if (SUCCEEDED(result))
        result = link->QueryInterface(IID_IPersistFile, (void**)&file);
    if (FAILED(result)) {
        link->Release();
        return result;
    }
    WCHAR widePath[MAX_PATH];
    result = WidenCp932(linkPath, widePath, MAX_PATH) ? file->Save(widePath, TRUE) : E_INVALIDARG;
    file->Release();
    link->Release();
    return result;
}
