#include "shortcuts/shell_folders.h"

#include "base/files.h"

static BOOL CopyDisplayName(STRRET* name, char* path, IMalloc* allocator)
{
    switch (name->uType) {
    case STRRET_WSTR: {
        // A name that does not fit MAX_PATH is no usable path. On NT it goes
        // to CP932, or to its short form, never to a best-fit look-alike.
        BOOL converted = Cp932PathOf(name->pOleStr, path);
        allocator->Free(name->pOleStr);
        return converted;
    }
    case STRRET_CSTR:
        lstrcpynA(path, name->cStr, MAX_PATH);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL GetFolderPathFromIdList(LPITEMIDLIST idList, char* path)
{
    IShellFolder* desktop = NULL;
    IMalloc* allocator = NULL;
    if (FAILED(SHGetDesktopFolder(&desktop)))
        desktop = NULL;
    if (FAILED(SHGetMalloc(&allocator)))
        allocator = NULL;

    BOOL result = FALSE;
    LPITEMIDLIST root = NULL;
    LPITEMIDLIST substitute = NULL;
    path[0] = '\0';
    if (idList != NULL && desktop != NULL && allocator != NULL) {
        LPCITEMIDLIST named = idList;
        if (SHGetSpecialFolderLocation(NULL, CSIDL_DESKTOP, &root) != S_OK)
            root = NULL;
        // The root's own parsing name is no folder on disk; the user's desktop directory is.
        if (root != NULL && desktop->CompareIDs(0, idList, root) == 0) {
            if (SHGetSpecialFolderLocation(NULL, CSIDL_DESKTOPDIRECTORY, &substitute) == S_OK)
                named = substitute;
            else
                substitute = NULL;
        }
        STRRET name;
        if (desktop->GetDisplayNameOf(named, SHGDN_FORPARSING, &name) == S_OK)
            result = CopyDisplayName(&name, path, allocator);
        if (!result)
            path[0] = '\0';
    }
    // Without the allocator the list cannot be freed safely: it is left alone.
    if (allocator != NULL) {
        if (idList != NULL)
            allocator->Free(idList);
        if (root != NULL)
            allocator->Free(root);
        if (substitute != NULL)
            allocator->Free(substitute);
    }
    if (desktop != NULL)
        desktop->Release();
    if (allocator != NULL)
        allocator->Release();
    return result;
}

BOOL ResolveSpecialFolder(int csidl, char* path)
{
    LPITEMIDLIST list = NULL;
    if (SHGetSpecialFolderLocation(NULL, csidl, &list) != S_OK) {
        path[0] = '\0';
        return FALSE;
    }
    return GetFolderPathFromIdList(list, path);
}
