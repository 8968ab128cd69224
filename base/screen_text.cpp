#include "base/screen_text.h"

#include "base/cp932.h"
#include "base/process_state.h"
#include "base/wide_calls.h"

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT flags)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return MessageBoxA(owner, text, caption, flags);
    // The payload's confirmation message may be long: both go on the heap.
    WCHAR* wideText = NewWideCp932(text);
    WCHAR* wideCaption = NewWideCp932(caption);
    int answer = wideText != NULL && wideCaption != NULL
                     ? wide->messageBox(owner, wideText, wideCaption, flags)
                     : MessageBoxA(owner, text, caption, flags);
    if (wideText != NULL)
        HeapFree(GetProcessHeap(), 0, wideText);
    if (wideCaption != NULL)
        HeapFree(GetProcessHeap(), 0, wideCaption);
    return answer;
}

void SetWindowTextCp932(HWND window, const char* text)
{
    const WideCalls* wide = NtWideCalls();
    WCHAR* wideText = wide != NULL ? NewWideCp932(text) : NULL;
    if (wideText == NULL) {
        SetWindowTextA(window, text);
        return;
    }
    wide->setWindowText(window, wideText);
    HeapFree(GetProcessHeap(), 0, wideText);
}

void GetWindowTextCp932(HWND window, char* text, int capacity)
{
    const WideCalls* wide = NtWideCalls();
    text[0] = '\0';
    if (wide == NULL) {
        GetWindowTextA(window, text, capacity);
        return;
    }
    // Half as many characters as bytes: the CP932 form always fits.
    WCHAR wideText[kLongestWindowText + 1];
    wideText[0] = L'\0';
    wide->getWindowText(window, wideText, capacity / 2 < kLongestWindowText ? capacity / 2 : kLongestWindowText + 1);
    NarrowForDisplay(wideText, text, capacity);
}

HWND CreateDialogFromTemplate(int templateId, HWND owner, DLGPROC procedure)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return CreateDialogParamA(instanceHandle, MAKEINTRESOURCEA(templateId), owner, procedure, 0);
    return wide->createDialogParam(instanceHandle, MAKEINTRESOURCEW(templateId), owner, procedure, 0);
}

INT_PTR RunDialogFromTemplate(int templateId, HWND owner, DLGPROC procedure, LPARAM parameter)
{
    const WideCalls* wide = NtWideCalls();
    if (wide == NULL)
        return DialogBoxParamA(instanceHandle, MAKEINTRESOURCEA(templateId), owner, procedure, parameter);
    return wide->dialogBoxParam(instanceHandle, MAKEINTRESOURCEW(templateId), owner, procedure, parameter);
}
