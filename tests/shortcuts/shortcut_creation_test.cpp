#include "base/process_state.h"
#include "installer_run.h"
#include "shell_folder_test.h"
#include "shortcuts/shell_link.h"
#include "shortcuts/shortcut_creation.h"

namespace {

const char kCannotCreate[] = "ｼｮｰﾄｶｯﾄを作れません。";
const char kNoFolder[] = "ｼｮｰﾄｶｯﾄを置くﾌｫﾙﾀﾞがみつかりません。";

class ShortcutCreation : public ShellFolderTest {
protected:
    void SetUp() override
    {
        ShellFolderTest::SetUp();
        if (HasFatalFailure())
            return;
        header_ = {};
        lstrcpyA(header_.versionText, "1.10");
        payloadHeader = &header_;
        SetInstallFolder(scratch() + "\\Install Folder");
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL));
        target_ = folder_ + "\\Morlu.exe";
        WriteTextFile(target_, "program");
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, NULL, NULL,
                                 NULL, NULL);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override
    {
        if (owner_ != NULL)
            DestroyWindow(owner_);
        payloadHeader = NULL;
        ShellFolderTest::TearDown();
    }
    void SetInstallFolder(const std::string& folder)
    {
        folder_ = folder;
    }
    // Creates in the folder while answering the boxes that appear.
    BOOL Create(BOOL desktop)
    {
        BoxAnswerer answerer;
        BOOL created = CreateShortcutInFolder(owner_, desktop, folder_.c_str());
        boxes_ = answerer.Finish();
        return created;
    }
    void ExpectOneWarning(const char* text)
    {
        ASSERT_EQ(boxes_.size(), 1u) << Describe(boxes_);
        EXPECT_EQ(boxes_[0].info.text, text);
        EXPECT_EQ(boxes_[0].info.caption, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
        EXPECT_EQ(boxes_[0].info.owner, owner_);
        EXPECT_TRUE(boxes_[0].info.warningIcon);
        EXPECT_EQ(boxes_[0].info.buttons, std::vector<int>{IDOK});
    }
    // target: what the install folder and Morlu.exe join to.
    void ExpectLink(const std::string& linkPath, const std::string& description, const std::string& target)
    {
        LinkFields link = ReadLink(linkPath);
        ASSERT_TRUE(link.loaded) << linkPath;
        EXPECT_EQ(link.path, target);
        EXPECT_EQ(link.workingDirectory, folder_);
        EXPECT_EQ(link.description, description);
        EXPECT_EQ(link.iconPath, target);
        EXPECT_EQ(link.iconIndex, 3);
        EXPECT_EQ(link.arguments, "");
        EXPECT_EQ(link.hotkey, 0);
    }
    // Takes every candidate name with a folder.
    void TakeAllNames(const std::string& folder)
    {
        ASSERT_TRUE(CreateDirectoryA((folder + "\\Morlu2.lnk").c_str(), NULL));
        for (int n = 2; n <= 999; ++n)
            ASSERT_TRUE(CreateDirectoryA((folder + "\\Morlu2(" + std::to_string(n) + ").lnk").c_str(), NULL));
    }

    PayloadHeader header_;
    std::string folder_;
    std::string target_;
    HWND owner_ = NULL;
    std::vector<SeenBox> boxes_;
};

TEST_F(ShortcutCreation, FirstShortcutInEachFolderIsMorlu2)
{
    EXPECT_TRUE(Create(TRUE));
    EXPECT_EQ(AddedTo(desktop_), std::vector<std::string>{"Morlu2.lnk"});
    ExpectLink(desktop_ + "\\Morlu2.lnk", "Morlu2", target_);
    EXPECT_TRUE(AddedTo(programs_).empty());

    EXPECT_TRUE(Create(FALSE));
    EXPECT_EQ(AddedTo(programs_), std::vector<std::string>{"Morlu2.lnk"});
    ExpectLink(programs_ + "\\Morlu2.lnk", "Morlu2", target_);
    EXPECT_TRUE(boxes_.empty()) << Describe(boxes_);
}

TEST_F(ShortcutCreation, TakenNamesAreSkippedAndKept)
{
    WriteTextFile(desktop_ + "\\Morlu2.lnk", "someone else's");
    WriteTextFile(desktop_ + "\\Morlu2(3).lnk", "someone else's");
    EXPECT_TRUE(Create(TRUE));
    ExpectLink(desktop_ + "\\Morlu2(2).lnk", "Morlu2(2)", target_);
    EXPECT_TRUE(Create(TRUE));
    ExpectLink(desktop_ + "\\Morlu2(4).lnk", "Morlu2(4)", target_);
    EXPECT_EQ(ReadTextFile(desktop_ + "\\Morlu2.lnk"), "someone else's");
    EXPECT_EQ(ReadTextFile(desktop_ + "\\Morlu2(3).lnk"), "someone else's");
    EXPECT_EQ(AddedTo(desktop_),
              (std::vector<std::string>{"Morlu2(2).lnk", "Morlu2(3).lnk", "Morlu2(4).lnk", "Morlu2.lnk"}));
}

TEST_F(ShortcutCreation, FolderNamedLikeTheShortcutTakesTheName)
{
    ASSERT_TRUE(CreateDirectoryA((programs_ + "\\Morlu2.lnk").c_str(), NULL));
    EXPECT_TRUE(Create(FALSE));
    ExpectLink(programs_ + "\\Morlu2(2).lnk", "Morlu2(2)", target_);
    EXPECT_TRUE(FolderEntries(programs_ + "\\Morlu2.lnk").empty());
}

TEST_F(ShortcutCreation, AllNamesTakenGivesOneMessage)
{
    TakeAllNames(desktop_);
    EXPECT_FALSE(Create(TRUE));
    ExpectOneWarning(kCannotCreate);
    EXPECT_EQ(AddedTo(desktop_).size(), 999u) << "nothing beyond the 999 folders";
    EXPECT_EQ(GetFileAttributesA((desktop_ + "\\Morlu2(1000).lnk").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ShortcutCreation, MissingFolderIsTold)
{
    HideDesktop();
    EXPECT_FALSE(Create(TRUE));
    ExpectOneWarning(kNoFolder);
}

TEST_F(ShortcutCreation, InstallFolderWithFinalBackslashOrDoubleByteName)
{
    SetInstallFolder(folder_ + "\\");
    EXPECT_TRUE(Create(TRUE));
    ExpectLink(desktop_ + "\\Morlu2.lnk", "Morlu2", target_);

    // 表 ends in the byte of a backslash in code page 932: the join still adds one.
    SetInstallFolder(scratch() + "\\ﾓｰﾙ表");
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL));
    EXPECT_TRUE(Create(TRUE));
    ExpectLink(desktop_ + "\\Morlu2(2).lnk", "Morlu2(2)", folder_ + "\\Morlu.exe");
}

TEST_F(ShortcutCreation, TargetThatWouldNotFitIsRefused)
{
    // "\Morlu.exe" takes ten bytes: 249 bytes of folder is the most that fits.
    std::string base = scratch() + "\\";
    SetInstallFolder(base + std::string(249 - base.size(), 'f'));
    EXPECT_TRUE(Create(TRUE));
    EXPECT_EQ(ReadLink(desktop_ + "\\Morlu2.lnk").path.size(), (size_t)MAX_PATH - 1);

    SetInstallFolder(base + std::string(250 - base.size(), 'f'));
    EXPECT_FALSE(Create(TRUE));
    ExpectOneWarning(kCannotCreate);
    EXPECT_EQ(AddedTo(desktop_), std::vector<std::string>{"Morlu2.lnk"});
}

TEST_F(ShortcutCreation, CandidateWhosePathWouldNotFitCountsAsFailed)
{
    // Room for Morlu2.lnk to the last byte, not for Morlu2(2).lnk.
    std::string deep = scratch() + "\\" + std::string(MAX_PATH - 1 - 11 - scratch().size() - 1, 'd');
    ASSERT_TRUE(CreateLongDirectory(deep));
    RedirectDesktop(deep);
    EXPECT_TRUE(Create(TRUE));
    EXPECT_EQ((deep + "\\Morlu2.lnk").size(), (size_t)MAX_PATH - 1);
    EXPECT_TRUE(ReadLink(deep + "\\Morlu2.lnk").loaded);

    EXPECT_FALSE(Create(TRUE));
    ExpectOneWarning(kCannotCreate);
    EXPECT_EQ(FolderEntries(deep), std::vector<std::string>{"Morlu2.lnk"});
}

TEST_F(ShortcutCreation, SaveShortcutFileWritesEveryField)
{
    std::string link = scratch() + "\\saved.lnk";
    std::string target = folder_ + "\\Morlu.exe";
    EXPECT_EQ(SaveShortcutFile(target.c_str(), folder_.c_str(), "Morlu2(7)", link.c_str()), S_OK);
    ExpectLink(link, "Morlu2(7)", target);
}

TEST_F(ShortcutCreation, SaveShortcutFileReportsAFailedSave)
{
    std::string link = scratch() + "\\No Such Folder\\saved.lnk";
    std::string target = folder_ + "\\Morlu.exe";
    EXPECT_TRUE(FAILED(SaveShortcutFile(target.c_str(), folder_.c_str(), "Morlu2", link.c_str())));
    EXPECT_EQ(GetFileAttributesA(link.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
