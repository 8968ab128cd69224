#pragma once
#include <windows.h>

// Top-left corner for a window of this size centred in workArea and pulled
// back inside it; where it cannot fit, its bottom and right edges win.
POINT PlaceInWorkArea(const RECT& window, const RECT& workArea);

// Places a dialog that is not yet shown in the desktop work area and titles it
// "<caption> <own title>".
void PlaceDialogAndSetTitle(HWND window);
