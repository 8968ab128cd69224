#include "ui/progress_window.h"

#include "base/caption.h"
#include "base/process_state.h"
#include "base/screen_text.h"
#include "resources/resource_ids.h"

int currentStep;

static const int kStepCount = 5;
static const int stepMarkerIds[kStepCount] = {IDC_STEP0_MARKER, IDC_STEP1_MARKER, IDC_STEP2_MARKER,
                                              IDC_STEP3_MARKER, IDC_STEP4_MARKER};
static const int stepLabelIds[kStepCount] = {IDC_STEP0_LABEL, IDC_STEP1_LABEL, IDC_STEP2_LABEL,
                                             IDC_STEP3_LABEL, IDC_STEP4_LABEL};

static const COLORREF kDoneColour = RGB(0, 128, 0);
static const COLORREF kCurrentColour = RGB(0, 0, 255);

static INT_PTR ColourStatic(HDC dc, COLORREF colour)
{
    SetTextColor(dc, colour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return (INT_PTR)GetSysColorBrush(COLOR_BTNFACE);
}

static INT_PTR StaticColour(HDC dc, HWND control)
{
    int id = GetDlgCtrlID(control);
    for (int i = 0; i < kStepCount; ++i) {
        if (stepMarkerIds[i] != id)
            continue;
        if (i < currentStep)
            return ColourStatic(dc, kDoneColour);
        if (i == currentStep)
            return ColourStatic(dc, kCurrentColour);
        return FALSE;
    }
    for (int i = 0; i < kStepCount; ++i) {
        if (stepLabelIds[i] == id)
            return i == currentStep ? ColourStatic(dc, kCurrentColour) : FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK ProgressDialogProc(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC)
        return StaticColour((HDC)wParam, (HWND)lParam);
    return FALSE;
}

void SetProgressStep(int step)
{
    for (int i = 0; i < kStepCount; ++i) {
        HWND marker = GetDlgItem(progressWindow, stepMarkerIds[i]);
        if (marker == NULL)
            continue;
        SetWindowTextCp932(marker, i < step ? "済" : i == step ? "→" : "");
    }
    currentStep = step;
    if (progressWindow != NULL) {
        InvalidateRect(progressWindow, NULL, FALSE);
        UpdateWindow(progressWindow);
    }
}

void ShowProgressWindow()
{
    progressWindow = CreateDialogFromTemplate(IDD_PROGRESS, NULL, ProgressDialogProc);
    if (progressWindow == NULL) {
        ShowWarning(NULL, "ｳｨﾝﾄﾞｳを表示できません｡");
        return;
    }
    // Top-left of the work area, not centred: it stays out of the way of the dialogs.
    RECT window;
    RECT workArea;
    GetWindowRect(progressWindow, &window);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    MoveWindow(progressWindow, workArea.left, workArea.top, window.right - window.left,
               window.bottom - window.top, TRUE);
    SetWindowTextCp932(progressWindow, GetInstallerCaption());
    ShowWindow(progressWindow, SW_SHOW);
    UpdateWindow(progressWindow);
}
