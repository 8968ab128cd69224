#pragma once
#include <windows.h>

extern int currentStep;

// Colours the step markers and the current label; everything else is default.
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Marks the steps before `step` done, `step` current, and repaints at once:
// the driver runs no message loop while it extracts.
void SetProgressStep(int step);
