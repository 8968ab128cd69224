#pragma once
#include <windows.h>

// Writes a shortcut to installFolder\Morlu.exe into the desktop directory
// (desktop nonzero) or the Programs folder under the first free name of
// Morlu2.lnk, Morlu2(2).lnk ... Morlu2(999).lnk. On failure it has told the
// user in a box owned by dialog and returns 0.
BOOL CreateShortcutInFolder(HWND dialog, BOOL desktop, const char* installFolder);
