#include "base/paths.h"

#include "base/cp932.h"

static char lastCharacterOf(const char* text)
{
    char last = '\0';
    for (const char* p = text; *p != '\0'; p += Cp932CharLength(p))
        last = *p;
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
