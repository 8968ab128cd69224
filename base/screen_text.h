// Texts on screen are CP932 and must read right whatever the ANSI code page
// is: on NT they go through the wide calls. Dialogs are made from their
// templates as wide windows there, so the templates' Japanese texts never pass
// through the ANSI code page either.
#pragma once
#include <windows.h>

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT flags);
void SetWindowTextCp932(HWND window, const char* text);
// text (capacity bytes) = the window's text in CP932, '?' for what has no CP932
// form; on NT at most capacity / 2 - 1 characters of it, and kLongestWindowText.
const int kLongestWindowText = 511;
void GetWindowTextCp932(HWND window, char* text, int capacity);

// Modeless and modal dialogs from the templates of instanceHandle; the modal
// one's procedure gets parameter with WM_INITDIALOG.
HWND CreateDialogFromTemplate(int templateId, HWND owner, DLGPROC procedure);
INT_PTR RunDialogFromTemplate(int templateId, HWND owner, DLGPROC procedure, LPARAM parameter);
