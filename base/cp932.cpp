#include "base/cp932.h"

#include "base/wide_calls.h"

// Where the ANSI calls serve (Windows 9x), the texts are handed to the system
// as they are, so wide forms must come from the ANSI code page too.
static UINT TextCodePage()
{
    return NtWideCalls() != NULL && IsValidCodePage(932) ? 932 : CP_ACP;
}

BOOL WidenCp932(const char* text, WCHAR* wide, int capacity)
{
    return MultiByteToWideChar(TextCodePage(), 0, text, -1, wide, capacity) != 0;
}

WCHAR* NewWideCp932(const char* text)
{
    int length = MultiByteToWideChar(TextCodePage(), 0, text, -1, NULL, 0);
    if (length == 0)
        return NULL;
    WCHAR* wide = (WCHAR*)HeapAlloc(GetProcessHeap(), 0, length * sizeof(WCHAR));
    if (wide != NULL && !WidenCp932(text, wide, length)) {
        HeapFree(GetProcessHeap(), 0, wide);
        wide = NULL;
    }
    return wide;
}

BOOL NarrowToCp932(const WCHAR* wide, char* text, int capacity)
{
    if (WideCharToMultiByte(TextCodePage(), 0, wide, -1, text, capacity, NULL, NULL) == 0)
        return FALSE;
    // Best-fit mappings (é to e, ¥ to \) report no default character, so the
    // way back is the test.
    WCHAR back[MAX_PATH];
    if (!WidenCp932(text, back, MAX_PATH))
        return FALSE;
    for (int i = 0; back[i] == wide[i]; ++i) {
        if (wide[i] == L'\0')
            return TRUE;
    }
    return FALSE;
}

void NarrowForDisplay(const WCHAR* wide, char* text, int capacity)
{
    if (WideCharToMultiByte(TextCodePage(), 0, wide, -1, text, capacity, NULL, NULL) == 0)
        text[0] = '\0';
}
