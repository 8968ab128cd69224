#include <gtest/gtest.h>

#include "base/process_state.h"
#include "installer/handoff.h"
#include "installer/work_folder.h"
#include "installer_run.h"

// The hand-off of this program: it records the folder it was given and leaves
// behind what a test asks for.
static std::string handedFolder;
static int handOffResult;
static bool leaveSubfolder;

int RunInnerInstaller(const char* workFolder)
{
    handedFolder = workFolder;
    WriteFileBytes(handedFolder + "\\DEZAZAZE.exe", Bytes{'M', 'Z'});
    WriteFileBytes(handedFolder + "\\RES.DAT", Bytes{'C', ':', '\\'});
    if (leaveSubfolder)
        CreateDirectoryA((handedFolder + "\\left").c_str(), NULL);
    return handOffResult;
}

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
        handedFolder.clear();
        handOffResult = 1;
        leaveSubfolder = false;
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TMP", savedTmp_);
        RemoveTree(temp_);
    }
    std::string temp_;
    char savedTmp_[MAX_PATH] = {};
};

TEST_F(WorkFolder, FirstFreeNumberIsUsedAndRemovedWithItsFiles)
{
    EXPECT_EQ(RunInWorkFolder(), 1);
    EXPECT_EQ(handedFolder, temp_ + "\\RAREVURED0");
    EXPECT_TRUE(FolderEntries(temp_).empty());

    handOffResult = 0;
    EXPECT_EQ(RunInWorkFolder(), 0) << "the hand-off's result is passed on";
    EXPECT_EQ(handedFolder, temp_ + "\\RAREVURED0") << "the number is not remembered between runs";
    EXPECT_TRUE(FolderEntries(temp_).empty());
}

TEST_F(WorkFolder, TakenNamesAreSkipped)
{
    ASSERT_TRUE(WriteFileBytes(temp_ + "\\RAREVURED0", Bytes{'x'}));
    ASSERT_TRUE(CreateDirectoryA((temp_ + "\\RAREVURED1").c_str(), NULL));
    EXPECT_EQ(RunInWorkFolder(), 1);
    EXPECT_EQ(handedFolder, temp_ + "\\RAREVURED2");
    EXPECT_EQ(FolderEntries(temp_), (std::vector<std::string>{"RAREVURED0", "RAREVURED1"}));
}

TEST_F(WorkFolder, SubfolderKeepsTheFolderButTheFilesGo)
{
    leaveSubfolder = true;
    RunInWorkFolder();
    EXPECT_EQ(FolderEntries(temp_), std::vector<std::string>{"RAREVURED0"});
    EXPECT_EQ(FolderEntries(temp_ + "\\RAREVURED0"), std::vector<std::string>{"left"});
}

TEST_F(WorkFolder, LastOfTheThousandNamesIsStillTried)
{
    for (int n = 0; n < 999; ++n)
        ASSERT_TRUE(CreateDirectoryA((temp_ + "\\RAREVURED" + std::to_string(n)).c_str(), NULL));
    EXPECT_EQ(RunInWorkFolder(), 1);
    EXPECT_EQ(handedFolder, temp_ + "\\RAREVURED999");
}

} // namespace
