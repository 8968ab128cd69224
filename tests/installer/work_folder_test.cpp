#include <gtest/gtest.h>

#include "installer/work_folder.h"
#include "installer_run.h"

namespace {

class WorkFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        temp_ = std::string(temp) + "morlu-work-folder-test";
        RemoveTree(temp_);
        ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), NULL));
        GetEnvironmentVariableA("TMP", savedTmp_, sizeof savedTmp_);
        SetEnvironmentVariableA("TMP", temp_.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TMP", savedTmp_);
        RemoveTree(temp_);
    }
    // Makes a work folder and leaves in it what a hand-off leaves.
    std::string MakeAndFill()
    {
        const char* made = MakeWorkFolder();
        EXPECT_NE(made, nullptr);
        std::string folder = made != NULL ? made : "";
        WriteFileBytes(folder + "\\DEZAZAZE.exe", Bytes{'M', 'Z'});
        WriteFileBytes(folder + "\\RES.DAT", Bytes{'C', ':', '\\'});
        return folder;
    }
    std::string temp_;
    char savedTmp_[MAX_PATH] = {};
};

TEST_F(WorkFolder, FirstFreeNumberIsUsedAndRemovedWithItsFiles)
{
    EXPECT_EQ(MakeAndFill(), temp_ + "\\RAREVURED0");
    RemoveWorkFolder();
    EXPECT_TRUE(FolderEntries(temp_).empty());

    EXPECT_EQ(MakeAndFill(), temp_ + "\\RAREVURED0") << "the number is not remembered between runs";
    RemoveWorkFolder();
    EXPECT_TRUE(FolderEntries(temp_).empty());
}

TEST_F(WorkFolder, TakenNamesAreSkipped)
{
    ASSERT_TRUE(WriteFileBytes(temp_ + "\\RAREVURED0", Bytes{'x'}));
    ASSERT_TRUE(CreateDirectoryA((temp_ + "\\RAREVURED1").c_str(), NULL));
    EXPECT_EQ(MakeAndFill(), temp_ + "\\RAREVURED2");
    RemoveWorkFolder();
    EXPECT_EQ(FolderEntries(temp_), (std::vector<std::string>{"RAREVURED0", "RAREVURED1"}));
}

TEST_F(WorkFolder, SubfolderKeepsTheFolderButTheFilesGo)
{
    std::string folder = MakeAndFill();
    CreateDirectoryA((folder + "\\left").c_str(), NULL);
    RemoveWorkFolder();
    EXPECT_EQ(FolderEntries(temp_), std::vector<std::string>{"RAREVURED0"});
    EXPECT_EQ(FolderEntries(temp_ + "\\RAREVURED0"), std::vector<std::string>{"left"});
}

// The inner installer may leave a file whose name code page 932 cannot spell;
// the folder listing gives it by its 8.3 name, so it goes too.
TEST_F(WorkFolder, AFileNamedOutsideCp932StillGoes)
{
    std::string folder = MakeAndFill();
    std::wstring wideFolder(folder.begin(), folder.end());
    std::wstring name = wideFolder + L"\\\xAE40\xCCA0\xC218 \xBA54\xBAA8.txt";
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    RemoveWorkFolder();
    EXPECT_TRUE(FolderEntries(temp_).empty());
    // The test's own clean-up goes by ANSI names, which cannot name it.
    DeleteFileW(name.c_str());
    RemoveDirectoryW(wideFolder.c_str());
}

TEST_F(WorkFolder, LastOfTheThousandNamesIsStillTried)
{
    for (int n = 0; n < 999; ++n)
        ASSERT_TRUE(CreateDirectoryA((temp_ + "\\RAREVURED" + std::to_string(n)).c_str(), NULL));
    EXPECT_EQ(MakeAndFill(), temp_ + "\\RAREVURED999");
    RemoveWorkFolder();
}

} // namespace
