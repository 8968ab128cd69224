// The engine with the packer's POSIX sink: real files, UTF-8 names, folders,
// time stamps and the files it must not follow or leave read-only.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include "archive_builder.h"
#include "extract/extract.h"
#include "packer/system/file_sink.h"
#include "posix_files.h"

namespace {

// As morlu-pack extracts: relative to the destination, opened once.
int ExtractTo(const std::string& folder, const Bytes& archive)
{
    FileSinkUseDestination(folder.c_str());
    int result = ExtractArchive(folder.c_str(), archive.data(), (uint32_t)archive.size(), &fileMemberSink);
    FileSinkUseDestination(nullptr);
    return result;
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
    EXPECT_EQ(ENOENT, FileSinkLastError());

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

long UtcOffsetAt(time_t instant)
{
    struct tm local;
    localtime_r(&instant, &local);
    return local.tm_gmtoff;
}

// Every quarter hour of the wall clock for five hours either side of each
// change of the offset, in a few years of zones with summer time (a half-hour
// one, one that skips midnight). A wall time that occurs once is what mktime
// makes of it; one that occurs twice is the earlier instant; one that is
// skipped is read with the offset from before the change.
TEST(PosixSink, TimesAcrossSummerTimeChanges)
{
    struct Case {
        uint16_t date, time;
        time_t expected;
    };
    for (const char* zone : {"America/New_York", "Australia/Lord_Howe", "America/Sao_Paulo"}) {
        SCOPED_TRACE(zone);
        ASSERT_EQ(0, setenv("TZ", zone, 1));
        tzset();
        std::vector<Case> cases;
        std::vector<MemberSpec> members;
        for (int year : {1990, 2006, 2007, 2018, 2024}) {
            struct tm first = {};
            first.tm_year = year - 1900;
            first.tm_mday = 1;
            time_t day = timegm(&first);
            for (int d = 0; d < 366; ++d, day += 86400) {
                if (UtcOffsetAt(day) == UtcOffsetAt(day + 86400))
                    continue;
                time_t change = day;
                while (UtcOffsetAt(change + 900) == UtcOffsetAt(day))
                    change += 900;
                for (int step = -20; step <= 20; ++step) {
                    // A wall time near the change, and the instants that show it.
                    int64_t wall = change + UtcOffsetAt(change - 1) + step * 900;
                    long before = UtcOffsetAt(wall - 86400), after = UtcOffsetAt(wall + 86400);
                    bool earlyFits = wall - before + UtcOffsetAt(wall - before) == wall;
                    bool lateFits = wall - after + UtcOffsetAt(wall - after) == wall;
                    struct tm shown;
                    time_t wallAsUtc = (time_t)wall;
                    gmtime_r(&wallAsUtc, &shown);
                    Case c;
                    c.date = (uint16_t)((shown.tm_year - 80) << 9 | (shown.tm_mon + 1) << 5 | shown.tm_mday);
                    c.time = (uint16_t)(shown.tm_hour << 11 | shown.tm_min << 5 | shown.tm_sec / 2);
                    c.expected = earlyFits ? wall - before : lateFits ? wall - after : wall - before;
                    if (earlyFits != lateFits || before == after) {
                        EXPECT_EQ(LocalDosTime(c.date, c.time), c.expected) << wall;
                    }
                    cases.push_back(c);
                    MemberSpec member = StoredMember("t" + std::to_string(cases.size()), BytesOf("x"));
                    member.dosDate = c.date;
                    member.dosTime = c.time;
                    members.push_back(member);
                }
            }
        }
        ASSERT_GE(cases.size(), 300u);
        std::string folder = FreshFolder("out");
        ASSERT_EQ((int)cases.size(), ExtractTo(folder, ArchiveOf(members)));
        for (size_t i = 0; i < cases.size(); ++i)
            EXPECT_EQ(cases[i].expected, FileStatus(folder + "/t" + std::to_string(i + 1)).st_mtime) << i + 1;
    }
    unsetenv("TZ");
    tzset();
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
// was, bytes and time, and no file of its own, nor one where none was.
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
        std::string empty = FreshFolder("empty");
        EXPECT_EQ(kExtractDataError, ExtractTo(empty, archive));
        EXPECT_TRUE(FilesBelow(empty).empty());
    }
}

} // namespace
