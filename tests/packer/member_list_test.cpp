#include <gtest/gtest.h>

#include <fnmatch.h>
#include <sys/stat.h>

#include "pack_test_support.h"
#include "packer/pack/input_file.h"
#include "packer/pack/member_list.h"
#include "packer/pack/shell_pattern.h"
#include "packer/system/cp932_text.h"
#include "packer/system/pack_error.h"

namespace {

int ErrorCode(const std::function<void()>& action)
{
    try {
        action();
    } catch (const PackError& e) {
        return e.Code();
    }
    return 0;
}

TEST(MemberName, ConvertsUtf8ToCodePage932)
{
    EXPECT_EQ(MemberName("Morlu.txt", "x"), "Morlu.txt");
    EXPECT_EQ(MemberName("設定ﾌｧｲﾙ.ini", "x"), "\x90\xdd\x92\xe8\xcc\xa7\xb2\xd9.ini");
    // ソ ends in the byte of a backslash; it is still one character.
    EXPECT_EQ(MemberName("ソフト.exe", "x"), "\x83\x5c\x83\x74\x83\x67.exe");
}

// Characters that iconv writes as a character of the code page's own that
// looks alike, and Windows' tables lack: the same bytes on every system.
// Only the yen sign, which becomes the backslash's byte, is kept out of names.
TEST(MemberName, TakesLookAlikesAsTheCodePagesOwnButNoYenSign)
{
    EXPECT_EQ(Cp932FromUtf8("〜—‖−¢£¬‾¥", ""), "\x81\x60\x81\x5C\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA~\\");
    EXPECT_EQ(MemberName("ラ〜メン.txt", "x"), "\x83\x89\x81\x60\x83\x81\x83\x93.txt");
    EXPECT_THROW(MemberName("a¥b.txt", "x"), PackError);
}

TEST(MemberName, RefusesNamesWithoutACodePage932Form)
{
    EXPECT_THROW(MemberName("snow\xe2\x98\x83.txt", "x"), PackError);  // U+2603
    EXPECT_THROW(MemberName("smile\xf0\x9f\x98\x80", "x"), PackError); // U+1F600
    EXPECT_THROW(MemberName("bad\xff.txt", "x"), PackError);          // not UTF-8
    try {
        MemberName("caf\xc3\xa9\xe2\x98\x83", "dir/cafe");
        FAIL();
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find("dir/cafe"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("CP932"), std::string::npos) << e.what();
    }
}

TEST(MemberName, RefusesNamesLongerThanTheHeaderHolds)
{
    EXPECT_EQ(MemberName(std::string(77, 'a'), "x").size(), 77u);
    EXPECT_THROW(MemberName(std::string(78, 'a'), "x"), PackError);
    // 39 two-byte characters are 78 bytes in CP932.
    std::string kanji;
    for (int i = 0; i < 39; ++i)
        kanji += "漢";
    EXPECT_THROW(MemberName(kanji, "x"), PackError);
}

TEST(MemberName, RefusesNamesWindowsCannotCreate)
{
    for (const char* name : {"a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "a\\b", "tab\t", "dot.", "space ",
                             "CON", "con.txt", "Nul", "aux.dat", "PRN", "com1", "LPT9.log"})
        EXPECT_THROW(MemberName(name, "x"), PackError) << name;
    for (const char* name : {"console.txt", "com10", "lpt", ".hidden", "a b.txt"})
        EXPECT_NO_THROW(MemberName(name, "x")) << name;
}

TEST(CollectMembers, AFolderGivesItsFilesInNameOrder)
{
    TempDir temp;
    mkdir((temp / "in").c_str(), 0755);
    for (const char* name : {"b.dll", "a.exe", "c.txt"})
        WriteBytes(temp / "in" + "/" + name, Bytes{1});
    WriteBytes(temp / "single.bin", Bytes{2});
    std::vector<MemberSource> members = CollectMembers({temp / "in/", temp / "single.bin"});
    ASSERT_EQ(members.size(), 4u);
    EXPECT_EQ(members[0].name, "a.exe");
    EXPECT_EQ(members[1].name, "b.dll");
    EXPECT_EQ(members[2].name, "c.txt");
    EXPECT_EQ(members[3].name, "single.bin");
    EXPECT_EQ(members[3].path, temp / "single.bin");
}

TEST(CollectMembers, RefusesSubfoldersMissingPathsAndEmptyInput)
{
    TempDir temp;
    mkdir((temp / "in").c_str(), 0755);
    mkdir((temp / "in/sub").c_str(), 0755);
    WriteBytes(temp / "in/a.txt", Bytes{1});
    EXPECT_EQ(ErrorCode([&] { CollectMembers({temp / "in"}); }), EXIT_DATA_ERROR);
    EXPECT_EQ(ErrorCode([&] { CollectMembers({temp / "missing.txt"}); }), EXIT_FILE_ERROR);
    mkdir((temp / "empty").c_str(), 0755);
    EXPECT_EQ(ErrorCode([&] { CollectMembers({temp / "empty"}); }), EXIT_USAGE);
}

TEST(CollectMembers, RefusesNamesThatWindowsTakesForOne)
{
    TempDir temp;
    mkdir((temp / "a").c_str(), 0755);
    mkdir((temp / "b").c_str(), 0755);
    WriteBytes(temp / "a/Setup.ini", Bytes{1});
    WriteBytes(temp / "b/SETUP.INI", Bytes{2});
    EXPECT_EQ(ErrorCode([&] { CollectMembers({temp / "a", temp / "b"}); }), EXIT_DATA_ERROR);
    EXPECT_EQ(ErrorCode([&] { CollectMembers({temp / "a/Setup.ini", temp / "a/Setup.ini"}); }), EXIT_DATA_ERROR);

    // Full-width, Greek and Cyrillic letters and Roman numerals have case too.
    const char* const twins[][2] = {{"ａ.txt", "Ａ.txt"}, {"α.txt", "Α.txt"}, {"ж.txt", "Ж.txt"}, {"ⅰ.txt", "Ⅰ.txt"}};
    for (const auto& twin : twins) {
        WriteBytes(temp / twin[0], Bytes{1});
        WriteBytes(temp / twin[1], Bytes{2});
        EXPECT_EQ(ErrorCode([&] { CollectMembers({temp / twin[0], temp / twin[1]}); }), EXIT_DATA_ERROR) << twin[0];
    }
    EXPECT_EQ(WindowsNameKey("ｱｲ表ソ.TXT"), WindowsNameKey("ｱｲ表ソ.txt")) << "kana and kanji have no case";
    EXPECT_NE(WindowsNameKey("ｱ.txt"), WindowsNameKey("ア.txt"));
}

// Patterns as fnmatch without flags takes them, but a character is a character:
// a kanji is one for '?' and in brackets, not three bytes.
TEST(MatchesPattern, AgreesWithFnmatchAndTakesUtf8CharactersWhole)
{
    const char* const patterns[] = {"*", "*~", ".DS_Store", "ol?", "*.[ch]", "[!a-c]*", "[^a-c]*", "[]x]*", "[a-]*",
                                    "*[[:digit:]]*", "[[:upper:]][[:lower:]]*", "\\*x", "a\\?", "[*", "a[",
                                    "*a*b*c", "[[:alpha:][:punct:]]?", "[z-a]", "[[.a.]]b", "[[=b=]]", "**.txt"};
    const char* const names[] = {"", "a", "abc", "old", "olde", "x.c", "x.h", "x.cc", ".DS_Store", "Morlu.txt~",
                                 "]x", "-", "a-", "file2", "Ab", "AB", "*x", "a?", "ab", "[*", "a[", "xaybzc",
                                 "acb", "b", "z", "!", "ab.txt"};
    for (const char* pattern : patterns) {
        for (const char* name : names)
            EXPECT_EQ(MatchesPattern(pattern, name), fnmatch(pattern, name, 0) == 0) << pattern << " " << name;
    }
    EXPECT_TRUE(MatchesPattern("?.txt", "表.txt"));
    EXPECT_TRUE(MatchesPattern("[表示]?.txt", "示す.txt"));
    EXPECT_FALSE(MatchesPattern("[!表]*", "表示.txt"));
    EXPECT_TRUE(MatchesPattern("*ソ*", "ｿソ"));
    EXPECT_FALSE(MatchesPattern("?", "ソフ"));
}

TEST(ReadInputFile, ReadsBytesAndModificationTime)
{
    TempDir temp;
    Bytes data = RandomBytes(100000, 3);
    WriteBytes(temp / "f", data);
    struct stat status;
    ASSERT_EQ(stat((temp / "f").c_str(), &status), 0);
    FileContents contents = ReadInputFile(temp / "f", 100000, 100000);
    EXPECT_TRUE(contents.bytes == data);
    EXPECT_EQ(contents.modified, status.st_mtime);
}

// Nothing that is not a steady regular file of the size expected is read: a
// FIFO would block, a file that grows would be read without end.
TEST(ReadInputFile, RefusesWhatIsNoSteadyRegularFileOfItsSize)
{
    TempDir temp;
    WriteBytes(temp / "f", Bytes(1000, 7));
    ASSERT_EQ(mkfifo((temp / "fifo").c_str(), 0644), 0);
    EXPECT_EQ(ErrorCode([&] { ReadInputFile(temp / "none", 1000); }), EXIT_FILE_ERROR);
    EXPECT_EQ(ErrorCode([&] { ReadInputFile(temp.Path(), 1000); }), EXIT_FILE_ERROR) << "a folder";
    EXPECT_EQ(ErrorCode([&] { ReadInputFile(temp / "fifo", 1000); }), EXIT_FILE_ERROR);
    EXPECT_EQ(ErrorCode([&] { ReadInputFile(temp / "f", 999); }), EXIT_DATA_ERROR)
        << "above the limit: readable, but more than the installer carries";
    EXPECT_EQ(ErrorCode([&] { ReadInputFile(temp / "f", 1000, 900); }), EXIT_FILE_ERROR) << "changed since listed";
    // Its size says 0, yet it gives bytes: a file that grows while it is read.
    EXPECT_EQ(ErrorCode([&] { ReadInputFile("/proc/self/status", 1000); }), EXIT_FILE_ERROR);
}

} // namespace
