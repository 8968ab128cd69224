#include <shlobj.h>
#include <shlwapi.h>

#include "allocation_spy.h"
#include "shell_folder_test.h"
#include "shortcuts/shell_folders.h"

namespace {

class ShellFolders : public ShellFolderTest {
protected:
    LPITEMIDLIST ListOf(int csidl)
    {
        LPITEMIDLIST list = NULL;
        EXPECT_EQ(SHGetSpecialFolderLocation(NULL, csidl, &list), S_OK) << "csidl " << csidl;
        return list;
    }
    // What the shell names a list, for comparison.
    std::string ParsingNameOf(LPITEMIDLIST list)
    {
        IShellFolder* desktop = NULL;
        SHGetDesktopFolder(&desktop);
        STRRET name;
        char text[MAX_PATH] = "";
        if (desktop->GetDisplayNameOf(list, SHGDN_FORPARSING, &name) == S_OK)
            StrRetToBufA(&name, list, text, MAX_PATH);
        desktop->Release();
        return text;
    }
    char path_[MAX_PATH];
};

TEST_F(ShellFolders, BothSpecialFoldersResolveToThePrefixFolders)
{
    EXPECT_TRUE(ResolveSpecialFolder(CSIDL_DESKTOPDIRECTORY, path_));
    EXPECT_EQ(std::string(path_), desktop_);
    EXPECT_TRUE(ResolveSpecialFolder(CSIDL_PROGRAMS, path_));
    EXPECT_EQ(std::string(path_), programs_);
    EXPECT_NE(programs_.find("\\Start Menu\\Programs"), std::string::npos) << programs_;

    EXPECT_TRUE(GetFolderPathFromIdList(ListOf(CSIDL_PROGRAMS), path_));
    EXPECT_EQ(std::string(path_), programs_);
}

TEST_F(ShellFolders, NullListGivesNothingAndFreesNothing)
{
    AllocationSpy spy;
    ASSERT_TRUE(spy.registered());
    lstrcpyA(path_, "stale");
    EXPECT_FALSE(GetFolderPathFromIdList(NULL, path_));
    EXPECT_EQ(std::string(path_), "");
    EXPECT_EQ(spy.FreeCount(), 0);
}

TEST_F(ShellFolders, DesktopRootNamesTheDesktopDirectory)
{
    EXPECT_TRUE(GetFolderPathFromIdList(ListOf(CSIDL_DESKTOP), path_));
    EXPECT_EQ(std::string(path_), desktop_);
}

TEST_F(ShellFolders, OrdinaryFolderGivesItsPathInTheAnsiCodePage)
{
    // 表 and ソ end in the byte of a backslash in code page 932.
    std::string folder = scratch() + "\\表示ソフト";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    LPITEMIDLIST list = ILCreateFromPathA(folder.c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(GetFolderPathFromIdList(list, path_));
    EXPECT_EQ(std::string(path_), folder);
}

TEST_F(ShellFolders, EveryListIsFreedThroughTheShellAllocator)
{
    // Once outside the count, so that the shell's own caches are filled.
    ResolveSpecialFolder(CSIDL_DESKTOPDIRECTORY, path_);
    GetFolderPathFromIdList(ListOf(CSIDL_DESKTOP), path_);
    AllocationSpy spy;
    ASSERT_TRUE(spy.registered());

    LPITEMIDLIST programs = ListOf(CSIDL_PROGRAMS);
    ASSERT_TRUE(spy.IsLive(programs));
    EXPECT_TRUE(GetFolderPathFromIdList(programs, path_));
    EXPECT_FALSE(spy.IsLive(programs));
    EXPECT_EQ(spy.LiveCount(), 0u);

    // The root takes two more lists: its own for the comparison and the substitute.
    LPITEMIDLIST root = ListOf(CSIDL_DESKTOP);
    EXPECT_TRUE(GetFolderPathFromIdList(root, path_));
    EXPECT_EQ(spy.LiveCount(), 0u);

    EXPECT_TRUE(ResolveSpecialFolder(CSIDL_PROGRAMS, path_));
    EXPECT_EQ(spy.LiveCount(), 0u);
}

TEST_F(ShellFolders, NameBeyondMaxPathInTheAnsiCodePageIsNoPath)
{
    // 259 wide characters at most in the shell's name, but two bytes each in code page 932.
    std::wstring name = L"C:\\";
    for (int i = 0; i < 200; ++i)
        name += L"表";
    // Once outside the count, so that the shell's own caches are filled.
    GetFolderPathFromIdList(SHSimpleIDListFromPath(name.c_str()), path_);
    AllocationSpy spy;
    ASSERT_TRUE(spy.registered());
    LPITEMIDLIST list = SHSimpleIDListFromPath(name.c_str());
    ASSERT_NE(list, nullptr);
    ASSERT_GT(ParsingNameOf(list).size(), 0u);
    EXPECT_FALSE(GetFolderPathFromIdList(list, path_));
    EXPECT_EQ(std::string(path_), "");
    EXPECT_EQ(spy.LiveCount(), 0u) << "the list and the name are freed";
}

TEST_F(ShellFolders, WithoutDesktopDirectoryOnlyItFails)
{
    HideDesktop();

    lstrcpyA(path_, "stale");
    EXPECT_FALSE(ResolveSpecialFolder(CSIDL_DESKTOPDIRECTORY, path_));
    EXPECT_EQ(std::string(path_), "");
    EXPECT_TRUE(ResolveSpecialFolder(CSIDL_PROGRAMS, path_));
    EXPECT_EQ(std::string(path_), programs_);

    // No substitute to be had: the root's own name stands.
    AllocationSpy spy;
    ASSERT_TRUE(spy.registered());
    LPITEMIDLIST root = ListOf(CSIDL_DESKTOP);
    std::string rootName = ParsingNameOf(root);
    ASSERT_NE(rootName, "");
    EXPECT_TRUE(GetFolderPathFromIdList(root, path_));
    EXPECT_EQ(std::string(path_), rootName);
    EXPECT_EQ(spy.LiveCount(), 0u);
}

TEST_F(ShellFolders, WithoutTheShellsDesktopObjectNothingIsNamed)
{
    IShellFolder* made = NULL;
    HideDesktop(false);
    if (SUCCEEDED(SHGetDesktopFolder(&made))) {
        made->Release();
        GTEST_SKIP() << "the shell's desktop object was made before in this process";
    }
    AllocationSpy spy;
    ASSERT_TRUE(spy.registered());
    // The root's list is all the shell can still give.
    LPITEMIDLIST list = ListOf(CSIDL_DESKTOP);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(spy.IsLive(list));
    lstrcpyA(path_, "stale");
    EXPECT_FALSE(GetFolderPathFromIdList(list, path_));
    EXPECT_EQ(std::string(path_), "");
    EXPECT_FALSE(spy.IsLive(list)) << "still freed through the allocator";
    EXPECT_FALSE(ResolveSpecialFolder(CSIDL_PROGRAMS, path_));
}

} // namespace
