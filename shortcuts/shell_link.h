// Shell link files (.lnk) through the shell link object: the wide link on NT,
// so that paths keep every character whatever the ANSI code page is; the ANSI
// link on Windows 9x. The one place that knows both.
#pragma once
#include <windows.h>

// Writes one shell link file to target, its icon the target's fourth; S_OK, or
// the failure of the step that failed.
HRESULT SaveShortcutFile(const char* target, const char* workingDirectory, const char* description,
                         const char* linkPath);

// target (MAX_PATH bytes) = the target of the link file, as its short path;
// in CP932 on NT (as near as it has a CP932 form, so that it then matches
// nothing), in the ANSI code page on Windows 9x. FALSE when the file does not
// load as a link.
BOOL ReadShortcutTarget(const char* linkPath, char* target);
