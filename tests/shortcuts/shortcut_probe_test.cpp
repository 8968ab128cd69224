#include "installer_run.h"
#include "shell_folder_test.h"
#include "shortcuts/shortcut_probe.h"

namespace {

class ShortcutProbe : public ShellFolderTest {
protected:
    void SetUp() override
    {
        ShellFolderTest::SetUp();
        if (HasFatalFailure())
            return;
        // A long folder name, so that the short form differs from the long one.
        std::string folder = scratch() + "\\Installed Program Folder";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
        target_ = folder + "\\Morlu.exe";
        WriteTextFile(target_, "program");
        other_ = folder + "\\Other.exe";
        WriteTextFile(other_, "program");
        shortTarget_ = ShortPathOf(target_);
        ASSERT_NE(shortTarget_, "");
        ASSERT_NE(shortTarget_, target_);
    }
    std::string MakeFolder(const std::string& parent, const std::string& name)
    {
        std::string folder = parent + "\\" + name;
        EXPECT_TRUE(CreateDirectoryA(folder.c_str(), NULL)) << folder;
        return folder;
    }
    // For places that only the wide functions reach: written short, then moved.
    void WriteLinkAt(const std::string& linkPath, const std::string& target)
    {
        std::string staging = scratch() + "\\staging.lnk";
        ASSERT_TRUE(WriteLink(staging, target));
        ASSERT_TRUE(MoveToLongPath(staging, linkPath)) << linkPath;
    }
    // A path of exactly `length` bytes: parent, a backslash and a name of x's.
    std::string PathOfLength(const std::string& parent, size_t length)
    {
        return parent + "\\" + std::string(length - parent.size() - 1, 'x');
    }

    std::string target_;
    std::string other_;
    std::string shortTarget_;
};

TEST_F(ShortcutProbe, NothingFoundWhenNoShortcutExists)
{
    EXPECT_FALSE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, ProgramsTreeIsSearchedInDepth)
{
    std::string levelTwo = MakeFolder(MakeFolder(programs_, "Morlu Probe"), "Level Two");
    ASSERT_TRUE(WriteLink(levelTwo + "\\Morlu2.lnk", target_));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, DesktopIsSearchedFlat)
{
    std::string sub = MakeFolder(desktop_, "Morlu Probe");
    ASSERT_TRUE(WriteLink(sub + "\\Morlu2.lnk", target_));
    EXPECT_FALSE(FindExistingShortcut(shortTarget_.c_str()));

    ASSERT_TRUE(WriteLink(desktop_ + "\\Morlu2.lnk", target_));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, ShortcutsToOtherProgramsDoNotCount)
{
    ASSERT_TRUE(WriteLink(desktop_ + "\\Other.lnk", other_));
    ASSERT_TRUE(WriteLink(MakeFolder(programs_, "Morlu Probe") + "\\Other.lnk", other_));
    EXPECT_FALSE(FindExistingShortcut(shortTarget_.c_str()));
    EXPECT_TRUE(FindExistingShortcut(ShortPathOf(other_).c_str()));
}

TEST_F(ShortcutProbe, LongPathTargetMatchesItsShortForm)
{
    ASSERT_TRUE(WriteLink(desktop_ + "\\Morlu2.lnk", target_));
    ASSERT_EQ(ReadLink(desktop_ + "\\Morlu2.lnk").path, target_) << "the link holds the long form";
    EXPECT_TRUE(ShortcutPointsTo((desktop_ + "\\Morlu2.lnk").c_str(), shortTarget_.c_str()));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, AsciiCaseIsIgnoredOnBothSides)
{
    ASSERT_TRUE(WriteLink(desktop_ + "\\Morlu2.lnk", target_));
    ASSERT_NE(Upper(shortTarget_), shortTarget_);
    EXPECT_TRUE(FindExistingShortcut(Upper(shortTarget_).c_str()));

    // A target that does not exist keeps the form the link holds.
    std::string link = scratch() + "\\nowhere.lnk";
    ASSERT_TRUE(WriteLink(link, "C:\\Nowhere\\MORLU.exe"));
    EXPECT_TRUE(ShortcutPointsTo(link.c_str(), "c:\\nOWHERE\\morlu.EXE"));
    EXPECT_FALSE(ShortcutPointsTo(link.c_str(), "c:\\nowhere\\morlu.ex"));
    EXPECT_FALSE(ShortcutPointsTo(link.c_str(), "c:\\nowhere\\morlu.exe2"));
}

TEST_F(ShortcutProbe, LinkThatCannotBeLoadedIsNoMatch)
{
    std::string broken = scratch() + "\\broken.lnk";
    WriteTextFile(broken, "this is not a shell link");
    EXPECT_FALSE(ShortcutPointsTo(broken.c_str(), shortTarget_.c_str()));
    EXPECT_FALSE(ShortcutPointsTo((scratch() + "\\missing.lnk").c_str(), shortTarget_.c_str()));
    std::string empty = scratch() + "\\empty.lnk";
    WriteTextFile(empty, "");
    EXPECT_FALSE(ShortcutPointsTo(empty.c_str(), shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, DirectoryNamedLnkAndDamagedLinkDoNotStopTheSearch)
{
    // Both are met in the shortcut pass, before the subfolder that matches.
    std::string probe = MakeFolder(programs_, "Morlu Probe");
    MakeFolder(probe, "Folder.lnk");
    WriteTextFile(probe + "\\Broken.lnk", "this is not a shell link");
    ASSERT_TRUE(WriteLink(MakeFolder(probe, "Deeper") + "\\Morlu2.lnk", target_));
    EXPECT_FALSE(FolderHasShortcutTo(probe.c_str(), FALSE, shortTarget_.c_str()));
    EXPECT_TRUE(FolderHasShortcutTo(probe.c_str(), TRUE, shortTarget_.c_str()));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, DirectoryNamedLnkIsNeverLoadedOnTheDesktop)
{
    // Entered as a folder in the Programs tree; on the desktop nothing enters it.
    std::string folder = MakeFolder(desktop_, "Morlu2.lnk");
    ASSERT_TRUE(WriteLink(folder + "\\Morlu2.lnk", target_));
    WriteTextFile(desktop_ + "\\Broken.lnk", "this is not a shell link");
    EXPECT_FALSE(FindExistingShortcut(shortTarget_.c_str()));
    ASSERT_TRUE(WriteLink(desktop_ + "\\Real.lnk", target_));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, OverlongSubfolderIsSkippedAndItsSiblingsSearched)
{
    std::string probe = MakeFolder(programs_, "Morlu Probe");
    std::string overlong = probe + "\\" + std::string(200, 'L');
    ASSERT_GE(overlong.size() + 1, (size_t)MAX_PATH);
    ASSERT_TRUE(CreateLongDirectory(overlong));
    WriteLinkAt(overlong + "\\Morlu2.lnk", target_);
    EXPECT_FALSE(FolderHasShortcutTo(probe.c_str(), TRUE, shortTarget_.c_str()));
    EXPECT_FALSE(FindExistingShortcut(shortTarget_.c_str()));

    MakeFolder(probe, "Sibling A");
    ASSERT_TRUE(WriteLink(MakeFolder(probe, "Sibling B") + "\\Morlu2.lnk", target_));
    EXPECT_TRUE(FolderHasShortcutTo(probe.c_str(), TRUE, shortTarget_.c_str()));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, DeepestFolderWhoseShortcutsStillFitIsSearched)
{
    // folder\a.lnk and folder\*.lnk both need six bytes after the folder.
    std::string fits = PathOfLength(scratch(), MAX_PATH - 1 - 6);
    ASSERT_TRUE(CreateLongDirectory(fits));
    WriteLinkAt(fits + "\\a.lnk", target_);
    EXPECT_TRUE(FolderHasShortcutTo(scratch().c_str(), TRUE, shortTarget_.c_str()));

    RemoveTree(fits);
    std::string tooDeep = PathOfLength(scratch(), MAX_PATH - 1 - 5);
    ASSERT_TRUE(CreateLongDirectory(tooDeep));
    WriteLinkAt(tooDeep + "\\a.lnk", target_);
    EXPECT_FALSE(FolderHasShortcutTo(scratch().c_str(), TRUE, shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, ShortcutWhosePathWouldNotFitIsSkipped)
{
    std::string folder = PathOfLength(scratch(), 230);
    ASSERT_TRUE(CreateLongDirectory(folder));
    WriteLinkAt(folder + "\\" + std::string(40, 'n') + ".lnk", target_);
    EXPECT_FALSE(FolderHasShortcutTo(folder.c_str(), FALSE, shortTarget_.c_str()));

    WriteLinkAt(folder + "\\a.lnk", target_);
    EXPECT_TRUE(FolderHasShortcutTo(folder.c_str(), FALSE, shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, FolderWithOrWithoutFinalBackslash)
{
    std::string probe = MakeFolder(scratch(), "Probe");
    ASSERT_TRUE(WriteLink(probe + "\\Morlu2.lnk", target_));
    EXPECT_TRUE(FolderHasShortcutTo(probe.c_str(), FALSE, shortTarget_.c_str()));
    EXPECT_TRUE(FolderHasShortcutTo((probe + "\\").c_str(), FALSE, shortTarget_.c_str()));
    EXPECT_FALSE(FolderHasShortcutTo((scratch() + "\\No Such Folder").c_str(), TRUE, shortTarget_.c_str()));
}

TEST_F(ShortcutProbe, ProgramsAreSearchedWithoutDesktopDirectory)
{
    ASSERT_TRUE(WriteLink(desktop_ + "\\Morlu2.lnk", other_));
    HideDesktop();
    EXPECT_FALSE(FindExistingShortcut(shortTarget_.c_str()));
    ASSERT_TRUE(WriteLink(MakeFolder(programs_, "Morlu Probe") + "\\Morlu2.lnk", target_));
    EXPECT_TRUE(FindExistingShortcut(shortTarget_.c_str()));
}

} // namespace
