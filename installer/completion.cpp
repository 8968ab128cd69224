#include "installer/completion.h"

#include "base/caption.h"
#include "base/files.h"
#include "base/paths.h"
#include "base/process_state.h"
#include "base/screen_text.h"
#include "shortcuts/shortcut_dialog.h"
#include "shortcuts/shortcut_probe.h"
#include "ui/progress_window.h"

static BOOL ShortcutAlreadyExists(const char* installFolder)
{
    char program[MAX_PATH];
    char shortPath[MAX_PATH];
    JoinPath(program, installFolder, "Morlu.exe");
    return ShortPathOf(program, shortPath) && FindExistingShortcut(shortPath);
}

void CompleteInstallation(const char* installFolder)
{
    SetProgressStep(3);
    OfferShortcuts(progressWindow, installFolder, ShortcutAlreadyExists(installFolder));

    SetProgressStep(4);
    int answer = ShowMessageBox(progressWindow,
                                "Morlu2 のｲﾝｽﾄｰﾙが完了しました｡ \r\n\r\nﾘﾘｰｽﾉｰﾄを表示しますか?\r\n"
                                "(ｲﾝｽﾄｰﾙ先のﾌｫﾙﾀﾞの「Morlu.txt」を開けばいつでも表示できます)",
                                GetInstallerCaption(), MB_YESNO);
    if (answer == IDYES) {
        char notes[MAX_PATH];
        JoinPath(notes, installFolder, "Morlu.txt");
        OpenWithShell(progressWindow, "open", notes, NULL, SW_SHOWNORMAL);
    }
}
