#include "base/caption.h"

#include "base/process_state.h"
#include "base/screen_text.h"

const char* GetInstallerCaption()
{
    static char caption[512];
    if (payloadHeader == NULL || payloadHeader->versionText[0] == '\0')
        return "Morlu2のｲﾝｽﾄｰﾙ";

    // The version field need not hold a NUL: take at most its 16 bytes.
    const char prefix[] = "Morlu2 ";
    lstrcpyA(caption, prefix);
    int length = sizeof prefix - 1;
    for (int i = 0; i < (int)sizeof payloadHeader->versionText && payloadHeader->versionText[i] != '\0'; ++i)
        caption[length++] = payloadHeader->versionText[i];
    caption[length] = '\0';
    lstrcatA(caption, " のｲﾝｽﾄｰﾙ");
    return caption;
}

void ShowWarning(HWND owner, const char* text)
{
    ShowMessageBox(owner, text, GetInstallerCaption(), MB_ICONWARNING);
}

void ShowWarningAbout(HWND owner, const char* format, const char* path)
{
    char text[kFormatBufferSize];
    wsprintfA(text, format, path);
    ShowWarning(owner, text);
}
