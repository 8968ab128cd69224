#include <gtest/gtest.h>

#include "container/payload_container.h"
#include "installer/exit_status.h"
#include "installer_run.h"
#include "window_probe.h"

namespace {

std::string LocatorMessage(int code)
{
    return "ｲﾝｽﾄｰﾙﾌﾟﾛｸﾞﾗﾑのﾌｧｲﾙが異常です(" + std::to_string(code) + ")｡ ﾀﾞｳﾝﾛｰﾄﾞし直してください｡";
}

Bytes PaddedStub()
{
    Bytes image = StubImage();
    image.resize((image.size() + 255) / 256 * 256, 0);
    return image;
}

// Runs the image and expects the locator's message box with `code` and `caption`.
void ExpectLocatorFailure(const std::string& name, const Bytes& image, int code, const std::string& caption)
{
    InstallerRun run(name, image);
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    MessageBoxInfo info = ReadMessageBox(box);
    EXPECT_EQ(info.text, LocatorMessage(code));
    EXPECT_EQ(info.caption, caption);
    EXPECT_TRUE(info.warningIcon);
    EXPECT_EQ(info.owner, nullptr);
    EXPECT_EQ(TopLevelWindowsOf(run.processId()).size(), 1u) << "no progress window after a locator failure";
    PressButton(box, IDOK);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_DAMAGED_INSTALLER);
    EXPECT_TRUE(run.TempEntries().empty());
}

// Runs the image and expects the payload's confirmation text, proving which container was found.
void ExpectConfirmation(const std::string& name, const Bytes& image, const std::string& message)
{
    InstallerRun run(name, image);
    ASSERT_TRUE(run.Start());
    HWND box = run.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ReadMessageBox(box).text, message);
    PressButton(box, IDCANCEL);
    EXPECT_EQ(run.WaitForExit(), (DWORD)EXIT_CANCELLED);
}

const char kVersionless[] = "Morlu2のｲﾝｽﾄｰﾙ";

TEST(PayloadLocator, StubWithoutContainerIsCode5)
{
    ExpectLocatorFailure("locator-none", StubImage(), 5, kVersionless);
}

TEST(PayloadLocator, MagicOffTheBoundaryIsCode5)
{
    Bytes image = PaddedStub();
    image.push_back(0); // the container now starts one byte after a boundary
    Bytes container = ContainerBytes(Payload());
    image.insert(image.end(), container.begin(), container.end());
    ExpectLocatorFailure("locator-unaligned", image, 5, kVersionless);
}

TEST(PayloadLocator, MagicEndingAtTheEndOfTheFileIsCode5)
{
    Bytes image = PaddedStub();
    Bytes run = MagicRun();
    image.insert(image.end(), run.begin(), run.end());
    ExpectLocatorFailure("locator-magic-at-end", image, 5, kVersionless);
}

TEST(PayloadLocator, CutHeaderIsCode6WithoutVersion)
{
    Bytes image = PaddedStub();
    Bytes container = ContainerBytes(Payload());
    image.insert(image.end(), container.begin(), container.begin() + kMagicRunLength + 31);
    ExpectLocatorFailure("locator-cut-header", image, 6, kVersionless);
}

TEST(PayloadLocator, ArchiveOneBytePastTheEndIsCode6WithVersion)
{
    Bytes image = AppendContainer(StubImage(), Payload());
    size_t container = image.size() - ContainerBytes(Payload()).size();
    PutLe32(image, container + kArchiveSizeField, 2);
    ExpectLocatorFailure("locator-archive-past-end", image, 6, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
}

TEST(PayloadLocator, HeaderPointingOutsideTheFileIsCode6)
{
    Bytes image = AppendContainer(StubImage(), Payload());
    size_t container = image.size() - ContainerBytes(Payload()).size();
    PutLe32(image, container + kArchiveOffsetField, -(int32_t)container - 64);
    ExpectLocatorFailure("locator-negative-offset", image, 6, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");

    image = AppendContainer(StubImage(), Payload());
    PutLe32(image, container + kMessageOffsetField, 0x7FFFFFF0);
    ExpectLocatorFailure("locator-message-outside", image, 6, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
}

TEST(PayloadLocator, DamagedFourthGroupIsPassedOverForTheNextBoundary)
{
    Payload damaged;
    damaged.message = "damaged";
    Bytes image = AppendContainer(StubImage(), damaged);
    image[image.size() - ContainerBytes(damaged).size() + 18] ^= 1;
    Payload good;
    good.message = "good";
    image = AppendContainer(image, good);
    ExpectConfirmation("locator-damaged-fourth", image, "good");
}

TEST(PayloadLocator, FirstOfTwoContainersWinsAndTrailingDataIsAccepted)
{
    Payload first;
    first.message = "first";
    Payload second;
    second.message = "second";
    Bytes image = AppendContainer(AppendContainer(StubImage(), first), second);
    image.insert(image.end(), 4414, 0xA5); // like a signature table after the archive
    ExpectConfirmation("locator-two-containers", image, "first");
}

} // namespace
