#include <gtest/gtest.h>

#include "base/process_state.h"
#include "resources/resource_ids.h"
#include "ui/progress_window.h"
#include "window_probe.h"

namespace {

const int kMarkers[5] = {IDC_STEP0_MARKER, IDC_STEP1_MARKER, IDC_STEP2_MARKER, IDC_STEP3_MARKER, IDC_STEP4_MARKER};
const int kLabels[5] = {IDC_STEP0_LABEL, IDC_STEP1_LABEL, IDC_STEP2_LABEL, IDC_STEP3_LABEL, IDC_STEP4_LABEL};
const COLORREF kGreen = RGB(0, 128, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kUntouched = RGB(1, 2, 3);

// What the window procedure answers for one static control: the text colour it
// set (kUntouched when it left the default), and whether it gave a brush.
struct Colouring {
    COLORREF text;
    COLORREF background;
    INT_PTR brush;
};

Colouring ColouringOf(HWND control)
{
    HDC dc = CreateCompatibleDC(NULL);
    SetTextColor(dc, kUntouched);
    SetBkColor(dc, kUntouched);
    INT_PTR brush = ProgressDialogProc(progressWindow, WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)control);
    Colouring colouring = {GetTextColor(dc), GetBkColor(dc), brush};
    DeleteDC(dc);
    return colouring;
}

void ExpectColoured(int id, COLORREF colour)
{
    Colouring c = ColouringOf(GetDlgItem(progressWindow, id));
    EXPECT_EQ(c.text, colour) << "control " << id;
    EXPECT_EQ(c.background, GetSysColor(COLOR_BTNFACE)) << "control " << id;
    EXPECT_EQ(c.brush, (INT_PTR)GetSysColorBrush(COLOR_BTNFACE)) << "control " << id;
}

void ExpectDefault(HWND control)
{
    Colouring c = ColouringOf(control);
    EXPECT_EQ(c.text, kUntouched) << "control " << GetDlgCtrlID(control);
    EXPECT_EQ(c.brush, 0) << "control " << GetDlgCtrlID(control);
}

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        instanceHandle = GetModuleHandleA(NULL);
        currentStep = 0;
        ShowProgressWindow();
        ASSERT_NE(progressWindow, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(progressWindow);
        progressWindow = NULL;
        currentStep = 0;
        if (movedWorkArea_)
            SystemParametersInfoA(SPI_SETWORKAREA, 0, &savedWorkArea_, 0);
    }
    // Every static that is neither a marker nor a label: the arrows.
    std::vector<HWND> Arrows()
    {
        std::vector<HWND> arrows;
        for (HWND child = GetWindow(progressWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (ClassNameOf(child) == "Static" && WindowTextOf(child) == "↓")
                arrows.push_back(child);
        }
        return arrows;
    }
    RECT savedWorkArea_ = {};
    bool movedWorkArea_ = false;
};

std::string MarkerText(int step)
{
    return ItemTextOf(progressWindow, kMarkers[step]);
}

TEST_F(ProgressWindow, StepZeroAsCreated)
{
    EXPECT_EQ(MarkerText(0), "→");
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(MarkerText(i), "");
    ExpectColoured(kMarkers[0], kBlue);
    ExpectColoured(kLabels[0], kBlue);
    for (int i = 1; i < 5; ++i) {
        ExpectDefault(GetDlgItem(progressWindow, kMarkers[i]));
        ExpectDefault(GetDlgItem(progressWindow, kLabels[i]));
    }
}

TEST_F(ProgressWindow, StepsDoneAreGreenAndOnlyTheCurrentLabelIsBlue)
{
    SetProgressStep(1);
    EXPECT_EQ(currentStep, 1);
    EXPECT_EQ(MarkerText(0), "済");
    EXPECT_EQ(MarkerText(1), "→");
    EXPECT_EQ(MarkerText(2), "");
    ExpectColoured(kMarkers[0], kGreen);
    ExpectDefault(GetDlgItem(progressWindow, kLabels[0]));
    ExpectColoured(kMarkers[1], kBlue);
    ExpectColoured(kLabels[1], kBlue);

    SetProgressStep(4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(MarkerText(i), "済");
        ExpectColoured(kMarkers[i], kGreen);
        ExpectDefault(GetDlgItem(progressWindow, kLabels[i]));
    }
    EXPECT_EQ(MarkerText(4), "→");
    ExpectColoured(IDC_STEP4_MARKER, kBlue);
    ExpectColoured(IDC_STEP4_LABEL, kBlue);
    EXPECT_EQ(ItemTextOf(progressWindow, IDC_STEP4_LABEL), "終了") << "labels never change";
}

TEST_F(ProgressWindow, StepAboveFourMarksEverythingDone)
{
    SetProgressStep(5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(MarkerText(i), "済");
        ExpectColoured(kMarkers[i], kGreen);
        ExpectDefault(GetDlgItem(progressWindow, kLabels[i]));
    }
}

TEST_F(ProgressWindow, ArrowsAndGroupBoxKeepDefaultColours)
{
    std::vector<HWND> arrows = Arrows();
    ASSERT_EQ(arrows.size(), 4u);
    for (int step : {0, 2, 5}) {
        SetProgressStep(step);
        for (HWND arrow : arrows)
            ExpectDefault(arrow);
        HWND group = FindWindowExA(progressWindow, NULL, "Button", "処理状況");
        ASSERT_NE(group, nullptr);
        ExpectDefault(group);
    }
}

TEST_F(ProgressWindow, MissingMarkerIsSkipped)
{
    DestroyWindow(GetDlgItem(progressWindow, IDC_STEP2_MARKER));
    SetProgressStep(3);
    EXPECT_EQ(currentStep, 3);
    EXPECT_EQ(MarkerText(1), "済");
    EXPECT_EQ(MarkerText(3), "→");
}

TEST_F(ProgressWindow, WithoutWindowOnlyTheStepIsStored)
{
    HWND window = progressWindow;
    progressWindow = NULL;
    SetProgressStep(2);
    EXPECT_EQ(currentStep, 2);
    progressWindow = window;
    EXPECT_EQ(MarkerText(0), "→") << "no window was touched";
}

TEST_F(ProgressWindow, PlacedAtTheTopLeftOfAWorkAreaWithTaskBarTopAndLeft)
{
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &savedWorkArea_, 0);
    RECT moved = savedWorkArea_;
    moved.left += 60;
    moved.top += 30;
    ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, &moved, 0));
    movedWorkArea_ = true;
    RECT before;
    GetWindowRect(progressWindow, &before);
    DestroyWindow(progressWindow);

    ShowProgressWindow();
    RECT window;
    GetWindowRect(progressWindow, &window);
    EXPECT_EQ(window.left, moved.left);
    EXPECT_EQ(window.top, moved.top);
    EXPECT_EQ(window.right - window.left, before.right - before.left);
    EXPECT_EQ(window.bottom - window.top, before.bottom - before.top);
    EXPECT_TRUE(IsWindowVisible(progressWindow));
    EXPECT_EQ(WindowTextOf(progressWindow), "Morlu2のｲﾝｽﾄｰﾙ");
}

DWORD WINAPI AnswerOwnMessageBox(LPVOID result)
{
    HWND box = WaitForWindow(GetCurrentProcessId(), IsMessageBox, 10000);
    if (box != NULL) {
        *(MessageBoxInfo*)result = ReadMessageBox(box);
        PressButton(box, IDOK);
    }
    return 0;
}

TEST(ProgressWindowCreation, FailureIsToldAndTheRunGoesOnWithoutIt)
{
    // A module without the dialog template.
    instanceHandle = GetModuleHandleA("kernel32.dll");
    MessageBoxInfo box;
    HANDLE answerer = CreateThread(NULL, 0, AnswerOwnMessageBox, &box, 0, NULL);
    ShowProgressWindow();
    WaitForSingleObject(answerer, INFINITE);
    CloseHandle(answerer);
    EXPECT_EQ(progressWindow, nullptr);
    EXPECT_EQ(box.text, "ｳｨﾝﾄﾞｳを表示できません｡");
    EXPECT_EQ(box.caption, "Morlu2のｲﾝｽﾄｰﾙ");
    EXPECT_TRUE(box.warningIcon);
    EXPECT_EQ(box.owner, nullptr);
}

} // namespace
