#pragma once
#include <windows.h>

// 1 when a shortcut to shortTarget (the short path of the installed program)
// lies on the desktop or anywhere under the Start menu's Programs folder.
BOOL FindExistingShortcut(const char* shortTarget);

// 1 when a .lnk file in folder, or with recurse in any folder below it, points
// to shortTarget. Depth first, a folder's own files before its subfolders.
BOOL FolderHasShortcutTo(const char* folder, BOOL recurse, const char* shortTarget);

// 1 when the shortcut file loads and its target, in short form, equals
// shortTarget regardless of ASCII case. Every failure is no match.
BOOL ShortcutPointsTo(const char* linkPath, const char* shortTarget);
