#pragma once
#include <windows.h>

// Writes a shortcut to installFolder\Morlu.exe into the desktop directory
// (desktop nonzero) or the Programs folder under the first free name of
// Morlu2.lnk, Morlu2(2).lnk ... Morlu2(999).lnk. On failure it has told the
// user in a box owned by dialog and returns 0.
BOOL CreateShortcutInFolder(HWND dialog, BOOL desktop);

// Writes one shell link file; S_OK, or the failure of the step that failed.
HRESULT SaveShortcutFile(const char* target, const char* workingDirectory, const char* description,
                         const char* linkPath);
