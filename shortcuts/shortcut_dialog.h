#pragma once
#include <windows.h>

// Dialog 103, owned by owner: asks where to put shortcuts to
// installFolder\Morlu.exe, both places preset unless a shortcut to it already
// exists, and creates the chosen ones when it is closed by OK, Esc or the
// close box alike. 1 once it is closed, whichever way; -1 when it could not be shown.
INT_PTR OfferShortcuts(HWND owner, const char* installFolder, BOOL shortcutExists);
