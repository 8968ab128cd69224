#pragma once
#include <windows.h>

// dest (MAX_PATH bytes) = dir + a backslash unless dir already ends in one + name.
// The last character is found by CP932's rules whatever the ANSI code page, so
// the trail byte 0x5C of 表 or ソ is no separator. Returns FALSE, leaving dest empty, when the result would not
// fit MAX_PATH; the caller treats that as a failure of its step.
BOOL JoinPath(char* dest, const char* dir, const char* name);
