#include <gtest/gtest.h>
#include <string.h>

#include "base/caption.h"
#include "base/paths.h"
#include "base/process_state.h"

namespace {

std::string Join(const char* dir, const char* name)
{
    char dest[MAX_PATH + 16];
    memset(dest, 'Z', sizeof dest);
    EXPECT_TRUE(JoinPath(dest, dir, name));
    EXPECT_EQ(dest[strlen(dest) + 1], 'Z') << "nothing written past the NUL";
    return dest;
}

TEST(JoinPath, AddsOneBackslashOnlyWhenTheDirectoryLacksIt)
{
    EXPECT_EQ(Join("C:\\Temp", "RAREVURED0"), "C:\\Temp\\RAREVURED0");
    EXPECT_EQ(Join("C:\\Temp\\", "RAREVURED0"), "C:\\Temp\\RAREVURED0");
    EXPECT_EQ(Join("", "x"), "\\x");
    EXPECT_EQ(Join("C:\\Temp", "*.lnk"), "C:\\Temp\\*.lnk");
}

TEST(JoinPath, TrailByteBackslashIsNoSeparator)
{
    ASSERT_EQ(GetACP(), 932u) << "the tests run with the Japanese code page";
    EXPECT_EQ(Join("C:\\表", "x"), "C:\\表\\x");     // 95 5C
    EXPECT_EQ(Join("C:\\ソ", "x"), "C:\\ソ\\x");     // 83 5C
    EXPECT_EQ(Join("C:\\表\\", "x"), "C:\\表\\x");
    EXPECT_EQ(Join("C:\\ｿ\\", "x"), "C:\\ｿ\\x");     // half-width: one byte
}

TEST(JoinPath, LoneLeadByteAtTheEndIsNotABackslash)
{
    const char dir[] = {'C', ':', '\\', '\x95', '\0', '\\', '\0'};
    EXPECT_EQ(Join(dir, "x"), std::string("C:\\\x95\\x"));
}

TEST(JoinPath, RefusesWhatDoesNotFitWithoutWritingPastTheBuffer)
{
    char dest[MAX_PATH + 1];
    dest[MAX_PATH] = 'Z';
    std::string dir(250, 'a');
    EXPECT_TRUE(JoinPath(dest, dir.c_str(), "123456789 ") == FALSE); // 250 + 1 + 9 = 260
    EXPECT_STREQ(dest, "");
    EXPECT_EQ(dest[MAX_PATH], 'Z');
    EXPECT_TRUE(JoinPath(dest, dir.c_str(), "12345678"));           // 259 bytes of text
    EXPECT_EQ(strlen(dest), 259u);
    EXPECT_FALSE(JoinPath(dest, (dir + "\\").c_str(), "123456789"));
}

class Caption : public ::testing::Test {
protected:
    void TearDown() override { payloadHeader = NULL; }
    PayloadHeader header = {};
};

TEST_F(Caption, WithoutHeaderOrVersionItHasNoVersion)
{
    payloadHeader = NULL;
    EXPECT_STREQ(GetInstallerCaption(), "Morlu2のｲﾝｽﾄｰﾙ");
    payloadHeader = &header;
    EXPECT_STREQ(GetInstallerCaption(), "Morlu2のｲﾝｽﾄｰﾙ");
    EXPECT_EQ(strlen(GetInstallerCaption()), 14u);
}

TEST_F(Caption, CarriesTheVersionText)
{
    memcpy(header.versionText, "1.10", 4);
    payloadHeader = &header;
    const char* first = GetInstallerCaption();
    EXPECT_STREQ(first, "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
    EXPECT_EQ(strlen(first), 20u);
    EXPECT_EQ(GetInstallerCaption(), first) << "one buffer, built afresh";
    EXPECT_STREQ(GetInstallerCaption(), "Morlu2 1.10 のｲﾝｽﾄｰﾙ");
}

TEST_F(Caption, VersionWithoutNulTakesAllSixteenBytesAndNoMore)
{
    memcpy(header.versionText, "0123456789ABCDEF", 16);
    header.messageOffset = 0x41414141; // the bytes after the field must not leak in
    payloadHeader = &header;
    EXPECT_STREQ(GetInstallerCaption(), "Morlu2 0123456789ABCDEF のｲﾝｽﾄｰﾙ");
}

} // namespace
