#include "shortcuts/shell_link.h"

#include <shlobj.h>

#include "base/cp932.h"
#include "base/files.h"
#include "base/wide_calls.h"

// The installed program's fourth icon.
static const int kIconIndex = 3;

// A link object, wide on NT, with its IPersistFile; FALSE when either fails
// (then *result says why and nothing is held).
static BOOL CreateLink(IUnknown** link, IPersistFile** file, HRESULT* result)
{
    *result = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER,
                               NtWideCalls() != NULL ? IID_IShellLinkW : IID_IShellLinkA, (void**)link);
    if (FAILED(*result))
        return FALSE;
    *result = (*link)->QueryInterface(IID_IPersistFile, (void**)file);
    if (SUCCEEDED(*result))
        return TRUE;
    (*link)->Release();
    return FALSE;
}

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
    IPersistFile* file = NULL;
    HRESULT result;
    if (!CreateLink(&link, &file, &result))
        return result;
    result = SetLinkFields(link, target, workingDirectory, description);
    WCHAR widePath[MAX_PATH];
    if (SUCCEEDED(result))
        result = WidenCp932(linkPath, widePath, MAX_PATH) ? file->Save(widePath, TRUE) : E_INVALIDARG;
    file->Release();
    link->Release();
    return result;
}

static BOOL LinkTargetOf(IUnknown* link, char* target)
{
    target[0] = '\0';
    if (NtWideCalls() == NULL) {
        WIN32_FIND_DATAA unused;
        return SUCCEEDED(((IShellLinkA*)link)->GetPath(target, MAX_PATH, &unused, SLGP_SHORTPATH));
    }
    WCHAR wideTarget[MAX_PATH];
    WIN32_FIND_DATAW unused;
    wideTarget[0] = L'\0';
    if (FAILED(((IShellLinkW*)link)->GetPath(wideTarget, MAX_PATH, &unused, SLGP_SHORTPATH)))
        return FALSE;
    if (!Cp932PathOf(wideTarget, target))
        NarrowForDisplay(wideTarget, target, MAX_PATH);
    return TRUE;
}

BOOL ReadShortcutTarget(const char* linkPath, char* target)
{
    IUnknown* link = NULL;
    IPersistFile* file = NULL;
    HRESULT result;
    if (!CreateLink(&link, &file, &result))
        return FALSE;
    // A MAX_PATH byte path never needs more than MAX_PATH wide characters.
    WCHAR widePath[MAX_PATH];
    BOOL read = WidenCp932(linkPath, widePath, MAX_PATH) &&
                SUCCEEDED(file->Load(widePath, STGM_READ | STGM_SHARE_DENY_NONE)) && LinkTargetOf(link, target);
    file->Release();
    link->Release();
    return read;
}
