#pragma once
#include <windows.h>

extern int currentStep;

// Colours the step markers and the current label; everything else is default.
INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Marks the steps before `step` done, `step` current, and repaints at once:
// the driver runs no message loop while it extracts.
void SetProgressStep(int step);

// Creates the window from its template into progressWindow, at the work area's
// top-left corner, titled with the caption, showing step 0. A window that
// cannot be created is told and the run goes on without it.
void ShowProgressWindow();
