#include "shortcuts/shortcut_dialog.h"

#include "base/process_state.h"
#include "resources/resource_ids.h"
#include "shortcuts/shortcut_creation.h"
#include "ui/dialog_placement.h"

static void CreateChosenShortcuts(HWND window)
{
    // Both boxes are read before the first message box can appear.
    BOOL desktop = SendDlgItemMessageA(window, IDC_DESKTOP_SHORTCUT, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    BOOL programs = SendDlgItemMessageA(window, IDC_PROGRAMS_SHORTCUT, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    if (desktop)
        CreateShortcutInFolder(window, TRUE);
    // A failure on the desktop does not cost the Start menu entry.
    if (programs)
        CreateShortcutInFolder(window, FALSE);
}

INT_PTR CALLBACK ShortcutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        PlaceDialogAndSetTitle(window);
        // A shortcut that already exists makes new ones opt-in.
        WPARAM state = shortcutExists == 0 ? BST_CHECKED : BST_UNCHECKED;
        SendDlgItemMessageA(window, IDC_DESKTOP_SHORTCUT, BM_SETCHECK, state, 0);
        SendDlgItemMessageA(window, IDC_PROGRAMS_SHORTCUT, BM_SETCHECK, state, 0);
        return FALSE;
    }
    case WM_COMMAND:
        // The OK button is IDCANCEL, which is also what Esc and the close box send.
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        CreateChosenShortcuts(window);
        EndDialog(window, 1);
        return TRUE;
    }
    return FALSE;
}
