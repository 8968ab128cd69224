// The work folder's access rules, both ways the installer chooses them. Wine
// (8.0) neither keeps nor enforces them, so they are read from the
// descriptor the folder is created with.
#include <gtest/gtest.h>

#include "base/private_folder.h"
#include "installer_run.h"
#include "security_probe.h"

namespace {

const unsigned kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

AccessRules RulesFor(BOOL forAdministrators)
{
    PSECURITY_DESCRIPTOR descriptor = NewPrivateFolderRules(forAdministrators);
    AccessRules rules = AccessRulesIn(descriptor);
    LocalFree(descriptor);
    return rules;
}

TEST(PrivateFolder, ElevatedIsAdministratorsAndSystemAlone)
{
    AccessRules rules = RulesFor(TRUE);
    ASSERT_TRUE(rules.read);
    EXPECT_TRUE(rules.isProtected) << "inherits from %TEMP%";
    EXPECT_EQ(rules.allowed, (std::vector<AccessRule>{{"S-1-5-32-544", FILE_ALL_ACCESS, kInherited},
                                                       {"S-1-5-18", FILE_ALL_ACCESS, kInherited}}));
}

TEST(PrivateFolder, UnelevatedIsTheUserAndSystemAlone)
{
    AccessRules rules = RulesFor(FALSE);
    ASSERT_TRUE(rules.read);
    EXPECT_TRUE(rules.isProtected);
    ASSERT_NE(UserSid(), "");
    EXPECT_EQ(rules.allowed, (std::vector<AccessRule>{{UserSid(), FILE_ALL_ACCESS, kInherited},
                                                       {"S-1-5-18", FILE_ALL_ACCESS, kInherited}}));
}

// Made only where nothing is; held, it can be neither renamed nor removed;
// what is no folder is not held.
TEST(PrivateFolder, FreshFolderHeldStaysWhereItIs)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + "morlu-private-folder";
    RemoveTree(folder);
    ASSERT_TRUE(CreatePrivateFolder(folder.c_str(), TRUE));
    EXPECT_FALSE(CreatePrivateFolder(folder.c_str(), TRUE)) << "an existing name is never used";
    HANDLE held = HoldFolder(folder.c_str());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ASSERT_NE(held, nullptr);
    EXPECT_FALSE(MoveFileA(folder.c_str(), (folder + "-moved").c_str()));
    EXPECT_FALSE(RemoveDirectoryA(folder.c_str()));
    CloseHandle(held);
    ASSERT_TRUE(WriteFileBytes(folder + "\\file", Bytes{'x'}));
    EXPECT_EQ(HoldFolder((folder + "\\file").c_str()), INVALID_HANDLE_VALUE);
    RemoveTree(folder);
}

} // namespace
