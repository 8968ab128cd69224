#include "base/paths.h"

#include "base/process_state.h"

static char lastCharacterOf(const char* text)
{
    char last = '\0';
    for (const char* p = text; *p != '\0'; ++p) {
        last = *p;
        // A lone lead byte before the NUL has no trail byte to skip.
        if (IsDBCSLeadByte((BYTE)*p) && p[1] != '\0')
            ++p;
    }
    return last;
}

BOOL JoinPath(char* dest, const char* dir, const char* name)
{
    int dirLength = lstrlenA(dir);
    int separator = lastCharacterOf(dir) == '\\' ? 0 : 1;
    if (dirLength + separator + lstrlenA(name) >= MAX_PATH) {
        dest[0] = '\0';
        return FALSE;
    }
    lstrcpyA(dest, dir);
    if (separator)
        lstrcatA(dest, "\\");
    lstrcatA(dest, name);
    return TRUE;
}

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
    MessageBoxA(owner, text, GetInstallerCaption(), MB_ICONWARNING);
}
