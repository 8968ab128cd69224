// Looks at another process's windows the way a person would: finds its
// top-level windows, reads titles, texts, check states and icons, presses buttons.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Texts in CP932 on any ANSI code page.
std::string Cp932Of(const wchar_t* text, int length);
std::string WindowTextOf(HWND window);
std::string ItemTextOf(HWND dialog, int id);
std::string ClassNameOf(HWND window);
// BST_CHECKED, BST_UNCHECKED or BST_INDETERMINATE; -1 when there is no such control.
int CheckStateOf(HWND dialog, int id);

// A wait limit of `ms` milliseconds, times MORLU_WAIT_SCALE when that is set:
// under emulation every program takes seconds to start.
DWORD WaitLimit(DWORD ms);

// Visible top-level windows of the process.
std::vector<HWND> TopLevelWindowsOf(DWORD processId);
// Polls until a visible top-level window of the process matches; NULL on time-out
// (WaitLimit(timeoutMs)).
HWND WaitForWindow(DWORD processId, const std::function<bool(HWND)>& matches, DWORD timeoutMs);

bool IsMessageBox(HWND window);

struct MessageBoxInfo {
    std::string caption;
    std::string text;
    HWND owner = NULL;
    bool hasIcon = false;
    bool warningIcon = false; // the yellow triangle, seen on screen
    std::vector<int> buttons; // control ids: IDOK, IDCANCEL, IDYES, IDNO
};
MessageBoxInfo ReadMessageBox(HWND box);

// As a click would: the dialog gets WM_COMMAND with BN_CLICKED from the button.
void PressButton(HWND dialog, int id);
// Presses the button and waits until the dialog is gone, so that a search for
// the next box does not find this one again. False if it stays (WaitLimit(5000)).
bool Answer(HWND dialog, int id);

// Pixels of the window's screen area whose colour is close to `colour`.
int CountScreenPixels(HWND window, COLORREF colour, int tolerance);
