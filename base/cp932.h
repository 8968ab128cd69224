// Conversions between the installer's CP932 texts and the UTF-16 of NT's wide
// calls, in code page 932 whatever the system's ANSI code page is (the ANSI
// code page where 932 is not installed, and on Windows 9x, which takes the
// texts' bytes as they are).
#pragma once
#include <windows.h>

#include "bytes/cp932_chars.h"

// wide (capacity characters) = text; FALSE when it does not fit.
BOOL WidenCp932(const char* text, WCHAR* wide, int capacity);
// text in UTF-16 on the process heap (HeapFree it), or NULL.
WCHAR* NewWideCp932(const char* text);
// text (capacity bytes, at most MAX_PATH) = the path wide in CP932. FALSE when a character has no CP932
// form, never a best-fit stand-in: a path must name the very file (José is not
// Jose), or when it does not fit.
BOOL NarrowToCp932(const WCHAR* wide, char* text, int capacity);
// As NarrowToCp932 where it can; else the text as near as CP932 shows it, for a message.
void NarrowForDisplay(const WCHAR* wide, char* text, int capacity);
