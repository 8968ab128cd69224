// The engine as the installer runs it, with the Win32 sink on real files
// under wine: sharing, attributes, the three file times, code page 932 names.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "archive_builder.h"
#include "base/member_files.h"
#include "extract/extract.h"

namespace {

class WindowsSink : public testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
        // Short: member names that point here must fit a header.
        root_ = std::string(temp) + "mx" + std::to_string(GetCurrentProcessId());
        RemoveTree(root_);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), NULL));
        folder_ = root_ + "\\out";
        ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL));
    }

    void TearDown() override { RemoveTree(root_); }

    static void RemoveTree(const std::string& path)
    {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = entry.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string child = path + "\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    RemoveTree(child);
                } else {
                    SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                    DeleteFileA(child.c_str());
                }
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        RemoveDirectoryA(path.c_str());
    }

    int Extract(const Bytes& archive, const std::string& folder)
    {
        return ExtractArchive(folder.c_str(), archive.data(), (DWORD)archive.size(), &windowsMemberSink);
    }

    int Extract(const Bytes& archive) { return Extract(archive, folder_); }

    static Bytes ReadAll(const std::string& path)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return BytesOf("<missing>");
        Bytes bytes(GetFileSize(file, NULL));
        DWORD read = 0;
        if (!bytes.empty())
            ReadFile(file, bytes.data(), (DWORD)bytes.size(), &read, NULL);
        CloseHandle(file);
        return bytes;
    }

    static bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string root_;
    std::string folder_;
};

TEST_F(WindowsSink, MembersBecomeFiles)
{
    Bytes text = TextBytes(300000, 80), random = RandomBytes(5000, 81);
    ASSERT_EQ(2, Extract(ArchiveOf({Lh5Member("text.txt", text), StoredMember("random.bin", random)})));
    EXPECT_TRUE(ReadAll(folder_ + "\\text.txt") == text);
    EXPECT_TRUE(ReadAll(folder_ + "\\random.bin") == random);
}

TEST_F(WindowsSink, AllThreeTimesAreTheMembersLocalTime)
{
    MemberSpec member = Lh5Member("stamped.txt", TextBytes(100, 82));
    member.dosDate = (uint16_t)((39 << 9) | (7 << 5) | 15); // 2019-07-15
    member.dosTime = (uint16_t)((13 << 11) | (45 << 5) | 10); // 13:45:20
    ASSERT_EQ(1, Extract(ArchiveOf({member})));

    FILETIME local, expected;
    ASSERT_TRUE(DosDateTimeToFileTime(member.dosDate, member.dosTime, &local));
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &expected));
    HANDLE file = CreateFileA((folder_ + "\\stamped.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME created, accessed, written;
    ASSERT_TRUE(GetFileTime(file, &created, &accessed, &written));
    CloseHandle(file);
    EXPECT_EQ(0, CompareFileTime(&expected, &written));
    EXPECT_EQ(0, CompareFileTime(&expected, &accessed));
    EXPECT_EQ(0, CompareFileTime(&expected, &created));
}

TEST_F(WindowsSink, TimesThatDoNotConvertLeaveTheFilesOwn)
{
    MemberSpec member = Lh5Member("month13.txt", TextBytes(100, 83));
    member.dosDate = (uint16_t)((41 << 9) | (13 << 5) | 1);
    ASSERT_EQ(1, Extract(ArchiveOf({member})));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA((folder_ + "\\month13.txt").c_str(), GetFileExInfoStandard, &data));
    SYSTEMTIME now;
    GetSystemTime(&now);
    SYSTEMTIME written;
    ASSERT_TRUE(FileTimeToSystemTime(&data.ftLastWriteTime, &written));
    EXPECT_EQ(now.wYear, written.wYear);
}

TEST_F(WindowsSink, NewFilesHaveNormalAttributes)
{
    MemberSpec member = Lh5Member("flags.txt", TextBytes(50, 84));
    member.attribute = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_EQ(1, Extract(ArchiveOf({member})));
    DWORD attributes = GetFileAttributesA((folder_ + "\\flags.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_EQ(0u, attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

TEST_F(WindowsSink, ReadOnlyFilesAreReplaced)
{
    std::string path = folder_ + "\\locked.txt";
    HANDLE old = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, old);
    DWORD written = 0;
    WriteFile(old, "a much longer old text", 22, &written, NULL);
    CloseHandle(old);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));

    ASSERT_EQ(1, Extract(ArchiveOf({Lh5Member("locked.txt", BytesOf("new"))})));
    EXPECT_TRUE(ReadAll(path) == BytesOf("new"));
    EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY);
}

TEST_F(WindowsSink, FileOpenElsewhereIsAFileError)
{
    std::string path = folder_ + "\\busy.txt";
    HANDLE busy = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, busy);
    MemberSpec first = Lh5Member("first.txt", TextBytes(1000, 85));
    EXPECT_EQ(kExtractFileError, Extract(ArchiveOf({first, Lh5Member("busy.txt", BytesOf("x"))})));
    CloseHandle(busy);
    EXPECT_EQ(FAILURE_CREATE, GetExtractFailure().reason);
    EXPECT_EQ(2u, GetExtractFailure().memberNumber);
    EXPECT_TRUE(ReadAll(folder_ + "\\first.txt") == TextBytes(1000, 85));
}

TEST_F(WindowsSink, MissingDestinationIsAFileError)
{
    EXPECT_EQ(kExtractFileError, Extract(ArchiveOf({Lh5Member("a.txt", BytesOf("a"))}), root_ + "\\missing"));
    EXPECT_FALSE(Exists(root_ + "\\missing"));
}

TEST_F(WindowsSink, SubfoldersMustExist)
{
    Bytes archive = ArchiveOf({Lh5Member("sub\\inner.txt", BytesOf("inside"))});
    EXPECT_EQ(kExtractFileError, Extract(archive));
    ASSERT_TRUE(CreateDirectoryA((folder_ + "\\sub").c_str(), NULL));
    EXPECT_EQ(1, Extract(archive));
    EXPECT_TRUE(ReadAll(folder_ + "\\sub\\inner.txt") == BytesOf("inside"));
}

TEST_F(WindowsSink, NamesThatLeaveTheFolderCreateNothing)
{
    for (const char* name : {"..\\escaped.txt", "sub\\..\\..\\escaped.txt", "..", "escaped.txt:stream"}) {
        EXPECT_EQ(kExtractDataError, Extract(ArchiveOf({Lh5Member(name, BytesOf("escape"))}))) << name;
        EXPECT_EQ(FAILURE_UNSAFE_NAME, GetExtractFailure().reason) << name;
        EXPECT_FALSE(Exists(root_ + "\\escaped.txt")) << name;
    }
    std::string absolute = "\\" + root_.substr(3) + "\\escaped.txt"; // the same place without its drive
    EXPECT_EQ(kExtractDataError, Extract(ArchiveOf({Lh5Member(absolute, BytesOf("escape"))})));
    EXPECT_EQ(FAILURE_UNSAFE_NAME, GetExtractFailure().reason);
    EXPECT_FALSE(Exists(root_ + "\\escaped.txt"));
}

TEST_F(WindowsSink, DoubleByteNames)
{
    // 表 and ソ end in the byte of the backslash; neither is a separator.
    Bytes archive = ArchiveOf({Lh5Member("表.txt", BytesOf("hyou")), Lh5Member("ソフト..txt", BytesOf("soft"))});
    ASSERT_EQ(2, Extract(archive));
    EXPECT_TRUE(ReadAll(folder_ + "\\表.txt") == BytesOf("hyou"));
    EXPECT_TRUE(ReadAll(folder_ + "\\ソフト..txt") == BytesOf("soft"));
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder_ + "\\表*").c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    FindClose(search);
    EXPECT_STREQ("表.txt", entry.cFileName);
}

} // namespace
