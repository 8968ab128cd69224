#include <gtest/gtest.h>

#include "installer/exit_status.h"
#include "installer_run.h"
#include "resources/resource_ids.h"
#include "window_probe.h"

namespace {

const char kCaption[] = "Morlu2 1.10 のｲﾝｽﾄｰﾙ";

Payload WithMessage(const std::string& message)
{
    Payload payload;
    payload.message = message;
    return payload;
}

// The payload of these runs carries no inner installer: the hand-off tells so
// from the work folder, and the run ends there.
void AnswerMissingInnerInstaller(InstallerRun& run, const std::string& workFolder)
{
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ReadMessageBox(box).text, run.tempFolder() + "\\" + workFolder + "\\DEZAZAZE.exe を起動できません｡");
    PressButton(box, IDOK);
}

TEST(RunSequence, WithoutMessageTheWorkFolderIsMadeAndRemoved)
{
    InstallerRun run("run-no-message", AppendContainer(StubImage(), Payload()));
    FolderWatch watch(run.tempFolder());
    ASSERT_TRUE(run.Start());
    AnswerMissingInnerInstaller(run, "RAREVURED0");
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_INNER_NOT_STARTED);
    EXPECT_EQ(watch.Added(), std::vector<std::string>{"RAREVURED0"});
    EXPECT_TRUE(run.TempEntries().empty());
}

TEST(RunSequence, ConfirmationCancelledLeavesNoWorkFolder)
{
    InstallerRun run("run-cancel", AppendContainer(StubImage(), WithMessage("ｲﾝｽﾄｰﾙしますか?\r\n2行目")));
    FolderWatch watch(run.tempFolder());
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.text, "ｲﾝｽﾄｰﾙしますか?\r\n2行目");
    EXPECT_EQ(info.caption, kCaption);
    EXPECT_FALSE(info.hasIcon);
    EXPECT_EQ(info.buttons, (std::vector<int>{IDOK, IDCANCEL}));
    HWND progress = run.WaitForProgressWindow(0);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(info.owner, progress);

    PressButton(box, IDCANCEL);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_CANCELLED);
    EXPECT_TRUE(watch.Added().empty());
    EXPECT_TRUE(run.TempEntries().empty());
}

TEST(RunSequence, ConfirmationAcceptedRunsInTheNextFreeWorkFolder)
{
    for (bool asFolder : {false, true}) {
        SCOPED_TRACE(asFolder ? "RAREVURED0 is a folder" : "RAREVURED0 is a file");
        InstallerRun run(asFolder ? "run-taken-folder" : "run-taken-file",
                         AppendContainer(StubImage(), WithMessage("OK?")));
        std::string taken = run.tempFolder() + "\\RAREVURED0";
        if (asFolder)
            ASSERT_TRUE(CreateDirectoryA(taken.c_str(), NULL));
        else
            ASSERT_TRUE(WriteFileBytes(taken, Bytes{'x'}));
        FolderWatch watch(run.tempFolder());
        ASSERT_TRUE(run.Start());
        HWND box = run.WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(Answer(box, IDOK));
        AnswerMissingInnerInstaller(run, "RAREVURED1");
        EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_INNER_NOT_STARTED);
        EXPECT_EQ(watch.Added(), std::vector<std::string>{"RAREVURED1"});
        EXPECT_EQ(run.TempEntries(), std::vector<std::string>{"RAREVURED0"}) << "the taken name is left alone";
    }
}

TEST(RunSequence, MissingTemporaryFolderIsToldWithItsPath)
{
    InstallerRun run("run-no-temp", AppendContainer(StubImage(), Payload()));
    std::string missing = run.folder() + "\\no-such-folder";
    run.SetTempFolder(missing);
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.text, "作業ﾌｫﾙﾀﾞを " + missing + "\\ の下に作れません｡");
    EXPECT_EQ(info.caption, kCaption);
    EXPECT_TRUE(info.warningIcon);
    EXPECT_EQ(info.owner, run.WaitForProgressWindow(0));
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_NO_WORK_FOLDER);
    EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ProgressWindowOnScreen, SitsAtTheWorkAreasCornerShowingStepZero)
{
    InstallerRun run("run-progress", AppendContainer(StubImage(), WithMessage("OK?")));
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    HWND progress = run.WaitForProgressWindow(0);
    ASSERT_NE(progress, nullptr);

    RECT workArea;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT window;
    GetWindowRect(progress, &window);
    EXPECT_EQ(window.left, workArea.left);
    EXPECT_EQ(window.top, workArea.top);
    EXPECT_EQ(WindowTextOf(progress), kCaption);
    EXPECT_EQ(GetWindowLongA(progress, GWL_STYLE) & WS_SYSMENU, 0) << "no close box";

    EXPECT_EQ(ItemTextOf(progress, IDC_STEP0_MARKER), "→");
    for (int id : {IDC_STEP1_MARKER, IDC_STEP2_MARKER, IDC_STEP3_MARKER, IDC_STEP4_MARKER})
        EXPECT_EQ(ItemTextOf(progress, id), "") << id;
    EXPECT_EQ(ItemTextOf(progress, IDC_STEP0_LABEL), "開始");
    EXPECT_EQ(ItemTextOf(progress, IDC_STEP2_LABEL), "ﾌｧｲﾙとﾚｼﾞｽﾄﾘの登録");
    EXPECT_EQ(ItemTextOf(progress, IDC_STEP4_LABEL), "終了");

    // Keep the box off the window, then look at the colours on the screen.
    SetWindowPos(box, HWND_BOTTOM, workArea.right - 400, workArea.bottom - 200, 0, 0,
                 SWP_NOSIZE | SWP_NOACTIVATE);
    Sleep(300);
    const COLORREF blue = RGB(0, 0, 255);
    EXPECT_GT(CountScreenPixels(GetDlgItem(progress, IDC_STEP0_MARKER), blue, 40), 0);
    EXPECT_GT(CountScreenPixels(GetDlgItem(progress, IDC_STEP0_LABEL), blue, 40), 0);
    EXPECT_EQ(CountScreenPixels(GetDlgItem(progress, IDC_STEP1_LABEL), blue, 40), 0);
    EXPECT_GT(CountScreenPixels(GetDlgItem(progress, IDC_STEP1_LABEL), RGB(0, 0, 0), 40), 0);

    PressButton(box, IDCANCEL);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_CANCELLED);
}

} // namespace
