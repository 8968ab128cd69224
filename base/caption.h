#pragma once
#include <windows.h>

// "Morlu2 <version> のｲﾝｽﾄｰﾙ", or "Morlu2のｲﾝｽﾄｰﾙ" while no version is known.
// Valid until the next call.
const char* GetInstallerCaption();

// A warning box with the caption, as every failure the user must know of is told.
void ShowWarning(HWND owner, const char* text);
// The same, of format with the one "%s" in it filled with path.
void ShowWarningAbout(HWND owner, const char* format, const char* path);
