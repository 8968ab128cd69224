#pragma once
#include <windows.h>
#include <shlobj.h>

// path (MAX_PATH bytes) = the file-system path of the folder that idList names,
// in CP932 on NT (in its short form where it has none), in the ANSI code page
// on Windows 9x; the desktop root stands for the desktop directory.
// Takes ownership of idList: it is freed through the shell allocator whatever
// the outcome. Returns FALSE when no usable path comes out.
BOOL GetFolderPathFromIdList(LPITEMIDLIST idList, char* path);

// path = the current user's special folder (CSIDL_DESKTOPDIRECTORY,
// CSIDL_PROGRAMS); FALSE when the shell cannot give it.
BOOL ResolveSpecialFolder(int csidl, char* path);
