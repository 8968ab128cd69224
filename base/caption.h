#pragma once
#include <windows.h>

// "Morlu2 <version> のｲﾝｽﾄｰﾙ", or "Morlu2のｲﾝｽﾄｰﾙ" while no version is known.
// Valid until the next call.
const char* GetInstallerCaption();

// A warning box with the caption, as every failure the user must know of is told.
void ShowWarning(HWND owner, const char* text);
