// The engine with the packer's POSIX sink: real files, UTF-8 names, folders,
// time stamps and the files it must not follow or leave read-only.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include "archive_builder.h"
#include "extract/extract.h"
#include "posix_files.h"

namespace {

int ExtractTo(const std::string& folder, const Bytes& archive)
{
    SetMemberSink(nullptr);
    return ExtractArchive(folder.c_str(), archive.data(), (uint32_t)archive.size());
}

time_t LocalDosTime(uint16_t date, uint16_t time)
{
    struct tm local = {};
    local.tm_year = 80 + (date >> 9);
    local.tm_mon = (date >> 5 & 15) - 1;
    local.tm_mday = date & 31;
    local.tm_hour = time >> 11;
    local.tm_min = time >> 5 & 63;
    local.tm_sec = (time & 31) * 2;
    local.tm_isdst = -1;
    return mktime(&local);
}

TEST(PosixSink, NamesAreShownInUtf8)
{
    std::string folder = FreshFolder("out");
    Bytes content = BytesOf("hello");
    // 表.txt, ｿﾌﾄ.txt (half-width katakana), and a name that is no code page 932.
    Bytes archive = ArchiveOf({StoredMember("\x95\x5C.txt", content), StoredMember("\xBF\xCC\xC4.txt", content),
                               StoredMember("bad\x81\x20name", content)});
    ASSERT_EQ(3, ExtractTo(folder, archive));
    std::map<std::string, Bytes> files = FilesBelow(folder);
    EXPECT_EQ(1u, files.count("表.txt"));
    EXPECT_EQ(1u, files.count("ｿﾌﾄ.txt"));
    EXPECT_EQ(1u, files.count("bad\x81\x20name"));
    EXPECT_EQ(3u, files.size());
}

TEST(PosixSink, BackslashesNameSubfoldersThatMustExist)
{
    std::string folder = FreshFolder("out");
    Bytes archive = ArchiveOf({Lh5Member("sub\\inner.txt", TextBytes(1000, 70))});
    EXPECT_EQ(kExtractFileError, ExtractTo(folder, archive));
    EXPECT_EQ(FAILURE_CREATE, GetExtractFailure().reason);
    EXPECT_EQ(ENOENT, PosixSinkLastError());

    ASSERT_EQ(0, RunCommand("mkdir " + Quote(folder + "/sub")));
    EXPECT_EQ(1, ExtractTo(folder, archive));
    EXPECT_TRUE(ReadWholeFile(folder + "/sub/inner.txt") == TextBytes(1000, 70));
}

TEST(PosixSink, MissingDestinationIsAFileError)
{
    std::string folder = FreshFolder("out") + "/missing";
    EXPECT_EQ(kExtractFileError, ExtractTo(folder, ArchiveOf({Lh5Member("a.txt", TextBytes(10, 71))})));
    EXPECT_EQ(0, ExtractTo(folder, Bytes{0}));
}

TEST(PosixSink, ReadOnlyFilesAreReplaced)
{
    std::string folder = FreshFolder("out");
    std::string path = folder + "/locked.txt";
    WriteWholeFile(path, BytesOf("old contents that are longer than the new ones"));
    ASSERT_EQ(0, chmod(path.c_str(), 0444));
    ASSERT_EQ(1, ExtractTo(folder, ArchiveOf({Lh5Member("locked.txt", BytesOf("new"))})));
    EXPECT_TRUE(ReadWholeFile(path) == BytesOf("new"));
    EXPECT_TRUE(FileStatus(path).st_mode & S_IWUSR);
}

TEST(PosixSink, FilesCarryTheMembersTime)
{
    std::string folder = FreshFolder("out");
    MemberSpec member = Lh5Member("stamped.txt", TextBytes(100, 72));
    member.dosDate = (uint16_t)((44 << 9) | (2 << 5) | 29); // 2024-02-29, a leap day
    member.dosTime = (uint16_t)((23 << 11) | (59 << 5) | 29); // 23:59:58
    ASSERT_EQ(1, ExtractTo(folder, ArchiveOf({member})));
    struct stat status = FileStatus(folder + "/stamped.txt");
    EXPECT_EQ(LocalDosTime(member.dosDate, member.dosTime), status.st_mtime);
    EXPECT_EQ(status.st_mtime, status.st_atime);
}

TEST(PosixSink, TimesThatDoNotConvertLeaveTheFilesOwn)
{
    std::string folder = FreshFolder("out");
    time_t before = time(nullptr);
    MemberSpec month13 = Lh5Member("month13.txt", TextBytes(10, 73));
    month13.dosDate = (uint16_t)((41 << 9) | (13 << 5) | 1);
    MemberSpec february30 = Lh5Member("february30.txt", TextBytes(10, 74));
    february30.dosDate = (uint16_t)((41 << 9) | (2 << 5) | 30);
    MemberSpec minute60 = Lh5Member("minute60.txt", TextBytes(10, 75));
    minute60.dosTime = (uint16_t)((10 << 11) | (60 << 5));
    ASSERT_EQ(3, ExtractTo(folder, ArchiveOf({month13, february30, minute60})));
    for (const char* name : {"month13.txt", "february30.txt", "minute60.txt"})
        EXPECT_GE(FileStatus(folder + "/" + name).st_mtime, before - 1) << name;
}

// Hard and symbolic links to a file outside, and a FIFO that would block an
// open: each is replaced by the member, and nothing outside changes.
TEST(PosixSink, WhatStandsUnderAMembersNameIsReplacedNeverWrittenThrough)
{
    std::string folder = FreshFolder("out");
    std::string outside = FreshFolder("outside") + "/target.txt";
    WriteWholeFile(outside, BytesOf("keep me"));
    ASSERT_EQ(0, link(outside.c_str(), (folder + "/hard.txt").c_str()));
    ASSERT_EQ(0, symlink(outside.c_str(), (folder + "/soft.txt").c_str()));
    ASSERT_EQ(0, mkfifo((folder + "/fifo.txt").c_str(), 0644));
    Bytes archive = ArchiveOf({Lh5Member("hard.txt", BytesOf("hard")), Lh5Member("soft.txt", BytesOf("soft")),
                               StoredMember("fifo.txt", BytesOf("fifo"))});
    ASSERT_EQ(3, ExtractTo(folder, archive));
    EXPECT_TRUE(ReadWholeFile(outside) == BytesOf("keep me"));
    for (const char* name : {"hard", "soft", "fifo"}) {
        std::string path = folder + "/" + name + ".txt";
        EXPECT_TRUE(S_ISREG(FileStatus(path).st_mode)) << name;
        EXPECT_EQ(1u, FileStatus(path).st_nlink) << name;
        EXPECT_TRUE(ReadWholeFile(path) == BytesOf(name)) << name;
    }
    EXPECT_EQ(3u, FilesBelow(folder).size()); // no temporary file left
}

TEST(PosixSink, LinkedSubfoldersAreNotEntered)
{
    std::string folder = FreshFolder("out");
    std::string outside = FreshFolder("outside");
    ASSERT_EQ(0, symlink(outside.c_str(), (folder + "/sub").c_str()));
    EXPECT_EQ(kExtractFileError, ExtractTo(folder, ArchiveOf({Lh5Member("sub\\x.txt", BytesOf("escaped"))})));
    EXPECT_EQ(FAILURE_CREATE, GetExtractFailure().reason);
    EXPECT_TRUE(FilesBelow(outside).empty());

    // A member named like a folder that is there cannot replace it.
    ASSERT_EQ(0, RunCommand("mkdir " + Quote(folder + "/dir")));
    EXPECT_EQ(kExtractFileError, ExtractTo(folder, ArchiveOf({Lh5Member("dir", BytesOf("not a folder"))})));
    EXPECT_TRUE(S_ISDIR(FileStatus(folder + "/dir").st_mode));
    EXPECT_EQ(1u, FilesBelow(folder).size()); // the link "sub" alone, no temporary file
}

// Cut short or with a wrong CRC, a member leaves the file of its name as it
// was, bytes and time, and no file of its own.
TEST(PosixSink, DamagedMembersLeaveExistingFilesAsTheyWere)
{
    std::string folder = FreshFolder("out");
    std::string path = folder + "/good.txt";
    MemberSpec badCrc = Lh5Member("good.txt", TextBytes(70000, 76));
    badCrc.crc ^= 1;
    MemberSpec cut = Lh5Member("good.txt", TextBytes(70000, 76));
    Bytes cutArchive = ArchiveOf({cut}, false);
    cutArchive.resize(cutArchive.size() - 100);
    for (const Bytes& archive : {ArchiveOf({badCrc}), cutArchive}) {
        WriteWholeFile(path, BytesOf("the good old file"));
        struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), old, 0));
        EXPECT_EQ(kExtractDataError, ExtractTo(folder, archive));
        EXPECT_TRUE(ReadWholeFile(path) == BytesOf("the good old file"));
        EXPECT_EQ(1000000000, FileStatus(path).st_mtime);
        EXPECT_EQ(1u, FilesBelow(folder).size());
    }
}

} // namespace
