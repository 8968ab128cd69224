#pragma once
#include <windows.h>

// Dialog 103: asks where to put shortcuts to the installed program, preset from
// shortcutExists, and creates the chosen ones when it is closed by OK, Esc or
// the close box alike. Its result is always 1.
INT_PTR CALLBACK ShortcutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
