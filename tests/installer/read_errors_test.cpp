#include <gtest/gtest.h>

#include "installer/exit_status.h"
#include "installer_run.h"
#include "window_probe.h"

namespace {

Bytes Probe()
{
    Bytes probe;
    EXPECT_TRUE(ReadFileBytes(MORLU_BUILD_DIR "\\tests\\installer\\read_error_probe.exe", &probe));
    return probe;
}

// What Windows raises for a page it cannot read (wine raises an access
// violation, which the whole runs under tests/handoff show).
TEST(ReadErrors, AnInPageErrorOfTheInstallersFileIsToldAndEndsTheRun)
{
    InstallerRun run("read-error-in-page", Probe());
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ReadMessageBox(box).text, "ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙを読めません｡ CD やﾈｯﾄﾜｰｸの上にある場合は､"
                                        "ﾊﾟｿｺﾝにｺﾋﾟｰしてから起動してください｡");
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_DAMAGED_INSTALLER);
}

TEST(ReadErrors, AFaultOutsideTheInstallersFileGoesItsUsualWay)
{
    InstallerRun run("read-error-outside", Probe());
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXCEPTION_IN_PAGE_ERROR);
}

} // namespace
