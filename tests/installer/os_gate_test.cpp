#include <gtest/gtest.h>

#include "installer/exit_status.h"
#include "installer_run.h"
#include "window_probe.h"

namespace {

const char kRefusal[] = "このﾌﾟﾛｸﾞﾗﾑはWin98/2000以降のOSでのみ動作します｡";

Payload ConfirmingPayload()
{
    Payload payload;
    payload.message = "続けますか?";
    return payload;
}

class OsGate : public ::testing::TestWithParam<const char*> {};

TEST_P(OsGate, OlderSystemsAreRefusedBeforeAnythingElse)
{
    InstallerRun run(std::string("gate-refused-") + GetParam(), AppendContainer(StubImage(), ConfirmingPayload()));
    run.SetWindowsVersion(GetParam());
    ASSERT_TRUE(run.Start());

    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.text, kRefusal);
    EXPECT_EQ(info.caption, "Morlu2のｲﾝｽﾄｰﾙ"); // the payload is not read yet
    EXPECT_TRUE(info.warningIcon);
    EXPECT_EQ(info.owner, nullptr);
    EXPECT_EQ(info.buttons, std::vector<int>{IDOK});
    EXPECT_EQ(TopLevelWindowsOf(run.processId()).size(), 1u) << "no progress window behind the refusal";

    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_SYSTEM_REFUSED);
    EXPECT_TRUE(run.TempEntries().empty());
}

std::string VersionName(const ::testing::TestParamInfo<const char*>& info)
{
    return info.param;
}

INSTANTIATE_TEST_SUITE_P(Win95AndNt4, OsGate, ::testing::Values("win95", "nt40"), VersionName);

class SupportedOs : public ::testing::TestWithParam<const char*> {};

TEST_P(SupportedOs, NewerSystemsGoOnToThePayload)
{
    InstallerRun run(std::string("gate-accepted-") + GetParam(), AppendContainer(StubImage(), ConfirmingPayload()));
    run.SetWindowsVersion(GetParam());
    ASSERT_TRUE(run.Start());

    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.text, "続けますか?");
    EXPECT_EQ(info.caption, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
    PressButton(box, IDCANCEL);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_CANCELLED);
}

INSTANTIATE_TEST_SUITE_P(Win98MeW2kW10, SupportedOs, ::testing::Values("win98", "winme", "win2k", "win10"),
                         VersionName);

} // namespace
