#include "shortcuts/shortcut_dialog.h"

#include "base/screen_text.h"
#include "resources/resource_ids.h"
#include "shortcuts/shortcut_creation.h"
#include "ui/dialog_placement.h"

// The install folder of the dialog that is open: one at a time, as it is modal.
static const char* offeredFolder;

static void CreateChosenShortcuts(HWND window)
{
    // Both boxes are read before the first message box can appear.
    BOOL desktop = SendDlgItemMessageA(window, IDC_DESKTOP_SHORTCUT, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    BOOL programs = SendDlgItemMessageA(window, IDC_PROGRAMS_SHORTCUT, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    if (desktop)
        CreateShortcutInFolder(window, TRUE, offeredFolder);
    // A failure on the desktop does not cost the Start menu entry.
    if (programs)
        CreateShortcutInFolder(window, FALSE, offeredFolder);
}

static INT_PTR CALLBACK ShortcutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        PlaceDialogAndSetTitle(window);
        // A shortcut that already exists (the parameter) makes new ones opt-in.
        WPARAM state = lParam ? BST_UNCHECKED : BST_CHECKED;
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

INT_PTR OfferShortcuts(HWND owner, const char* installFolder, BOOL shortcutExists)
{
    offeredFolder = installFolder;
    return RunDialogFromTemplate(IDD_SHORTCUTS, owner, ShortcutDialogProc, shortcutExists);
}
