// The archive walk, member output and their failures, through the memory sink.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "archive_builder.h"
#include "extract/member_header.h"
#include "memory_run.h"

namespace {

MemberSpec TextMember(const std::string& name, size_t size, uint32_t seed)
{
    return Lh5Member(name, TextBytes(size, seed));
}

TEST(Walker, EmptyArchivesYieldNoMembers)
{
    MemoryRun none = ExtractInMemory(Bytes());
    EXPECT_EQ(0, none.result);
    EXPECT_TRUE(none.files.empty());

    MemoryRun endMarkOnly = ExtractInMemory(Bytes{0});
    EXPECT_EQ(0, endMarkOnly.result);
    EXPECT_TRUE(endMarkOnly.files.empty());
}

TEST(Walker, MembersAreWrittenClosedAndStamped)
{
    Bytes first = TextBytes(5000, 1), second = RandomBytes(300, 2);
    MemberSpec a = Lh5Member("first.txt", first);
    MemberSpec b = StoredMember("second.bin", second);
    b.dosDate = 0x5A21;
    b.dosTime = 0x8C33;
    MemoryRun run = ExtractInMemory(ArchiveOf({a, b}));
    ASSERT_EQ(2, run.result);
    ASSERT_EQ(2u, run.files.size());
    EXPECT_EQ("dest\\first.txt", run.files[0].path);
    EXPECT_EQ(first, FileBytes(run.files[0]));
    EXPECT_EQ(second, FileBytes(run.files[1]));
    for (const MemoryFile& file : run.files) {
        EXPECT_TRUE(file.closed);
        EXPECT_TRUE(file.kept);
        EXPECT_TRUE(file.timeSet);
    }
    EXPECT_EQ(kTestDosDate, run.files[0].dosDate);
    EXPECT_EQ(kTestDosTime, run.files[0].dosTime);
    EXPECT_EQ(0x5A21, run.files[1].dosDate);
    EXPECT_EQ(0x8C33, run.files[1].dosTime);
}

TEST(Walker, ArchiveWithoutEndMarkYieldsItsMembers)
{
    Bytes archive = ArchiveOf({TextMember("a", 100, 3), TextMember("b", 200, 4)}, false);
    EXPECT_EQ(2, ExtractInMemory(archive).result);
}

TEST(Walker, BothHeaderLevelsAndLh4Extract)
{
    Bytes content = TextBytes(20000, 5);
    MemberSpec level0 = Lh5Member("zero", content, 0);
    MemberSpec lh4 = Lh5Member("four", content);
    lh4.method = "-lh4-";
    MemoryRun run = ExtractInMemory(ArchiveOf({level0, lh4, StoredMember("stored0", content, 0)}));
    ASSERT_EQ(3, run.result);
    for (const MemoryFile& file : run.files)
        EXPECT_EQ(content, FileBytes(file)) << file.name;
}

TEST(Walker, CrcOfTheNineDigitsIsBB3D)
{
    MemberSpec digits = StoredMember("digits", BytesOf("123456789"));
    digits.crc = 0xBB3D;
    EXPECT_EQ(1, ExtractInMemory(ArchiveOf({digits})).result);
    digits.crc = 0xBB3C;
    EXPECT_EQ(kExtractDataError, ExtractInMemory(ArchiveOf({digits})).result);
}

TEST(Output, CrcOfMembersOfManySizes)
{
    // Every way the CRC splits its work: bytes, 8-byte steps, lanes, 16-byte folds.
    std::vector<MemberSpec> members;
    std::vector<size_t> sizes;
    for (size_t size = 0; size <= 300; ++size)
        sizes.push_back(size);
    for (size_t size : {1000u, 4095u, 4096u, 4097u, 4103u, 65536u + 13, 262143u, 262145u, 1000003u})
        sizes.push_back(size);
    for (size_t size : sizes)
        members.push_back(StoredMember("s" + std::to_string(size), RandomBytes(size, (uint32_t)size)));
    // An odd first member puts every later one at an odd address.
    members.insert(members.begin(), StoredMember("odd", Bytes(3, 'x')));
    MemoryRun run = ExtractInMemory(ArchiveOf(members));
    EXPECT_EQ((int)members.size(), run.result);
    EXPECT_EQ(FAILURE_NONE, GetExtractFailure().reason);
}

TEST(Walker, CrcMismatchLeavesTheFileCompleteButNeitherStampedNorKept)
{
    Bytes content = TextBytes(70000, 6);
    MemberSpec member = Lh5Member("bad-crc", content);
    member.crc ^= 0x0100;
    MemoryRun run = ExtractInMemory(ArchiveOf({member, TextMember("never", 10, 7)}));
    EXPECT_EQ(kExtractDataError, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(content, FileBytes(run.files[0]));
    EXPECT_TRUE(run.files[0].closed);
    EXPECT_FALSE(run.files[0].timeSet);
    EXPECT_FALSE(run.files[0].kept);

    ExtractFailureInfo failure = GetExtractFailure();
    EXPECT_EQ(FAILURE_CRC_MISMATCH, failure.reason);
    EXPECT_EQ(1u, failure.memberNumber);
    EXPECT_STREQ("bad-crc", failure.memberName);
    EXPECT_EQ(member.crc, failure.expectedCrc);
    EXPECT_EQ(ReferenceCrc16(content), failure.actualCrc);
}

TEST(Walker, HeaderChecksumIsTestedBeforeTheFileExists)
{
    Bytes good = TextBytes(3000, 8);
    Bytes archive = ArchiveOf({Lh5Member("good", good), TextMember("damaged", 100, 9)});
    size_t second = MemberBytes(Lh5Member("good", good)).size();
    archive[second + 1] ^= 0x01;
    MemoryRun run = ExtractInMemory(archive);
    EXPECT_EQ(kExtractDataError, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(good, FileBytes(run.files[0]));
    EXPECT_TRUE(run.files[0].closed);
    EXPECT_EQ(FAILURE_HEADER_CHECKSUM, GetExtractFailure().reason);
    EXPECT_EQ(2u, GetExtractFailure().memberNumber);
}

TEST(Walker, MethodIdentifiers)
{
    struct Case {
        const char* method;
        bool accepted;
    };
    const Case cases[] = {
        {"-lh5-", true}, {"-lh4-", true}, {"-lh4x", true}, {"-lh0-", true}, {"-lh0!", true},
        {"-lh5x", false}, {"-lh5 ", false}, {"-lh1-", false}, {"-lh6-", false}, {"-lh7-", false},
        {"-lzs-", false}, {"-lhd-", false}, {"-LH5-", false}, {"lh5--", false},
    };
    Bytes content = TextBytes(500, 10);
    for (const Case& c : cases) {
        bool stored = strncmp(c.method, "-lh0", 4) == 0;
        MemberSpec member = stored ? StoredMember("m", content) : Lh5Member("m", content);
        member.method = c.method;
        MemoryRun run = ExtractInMemory(ArchiveOf({member}));
        if (c.accepted) {
            EXPECT_EQ(1, run.result) << c.method;
            ASSERT_EQ(1u, run.files.size()) << c.method;
            EXPECT_EQ(content, FileBytes(run.files[0])) << c.method;
        } else {
            EXPECT_EQ(kExtractDataError, run.result) << c.method;
            EXPECT_TRUE(run.files.empty()) << c.method;
        }
    }
}

TEST(Walker, DataPastTheArchiveEndLeavesAnEmptyFile)
{
    MemberSpec member = TextMember("cut", 4000, 11);
    Bytes archive = ArchiveOf({member}, false);
    archive.pop_back();
    MemoryRun run = ExtractInMemory(archive);
    EXPECT_EQ(kExtractDataError, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(0u, run.files[0].size);
    EXPECT_TRUE(run.files[0].closed);
    EXPECT_FALSE(run.files[0].timeSet);
    EXPECT_EQ(FAILURE_DATA_TRUNCATED, GetExtractFailure().reason);

    // A stored member's length is its original size; its packed size is not consulted.
    MemberSpec stored = StoredMember("stored", TextBytes(100, 12));
    stored.originalSize = 101;
    stored.packedSizeSet = true;
    stored.packedSize = 5;
    run = ExtractInMemory(ArchiveOf({stored}, false));
    EXPECT_EQ(kExtractDataError, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(0u, run.files[0].size);
}

TEST(Walker, HeaderSizeAboveTheHeaderCopyIsRefused)
{
    // A level-0 header with an 80-byte name has the largest size, 102.
    std::string longest(kMaxNameLength, 'n');
    MemberSpec fits = TextMember(longest, 50, 13);
    fits.level = 0;
    MemoryRun run = ExtractInMemory(ArchiveOf({fits}));
    EXPECT_EQ(1, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(longest, run.files[0].name);

    // One byte more, as a level-1 header or as a level-0 one with a longer name.
    MemberSpec level1 = TextMember(longest.substr(0, 78), 50, 13);
    MemberSpec longer = TextMember(longest + "n", 50, 13);
    longer.level = 0;
    for (const MemberSpec& member : {level1, longer}) {
        run = ExtractInMemory(ArchiveOf({member}));
        EXPECT_EQ(kExtractDataError, run.result);
        EXPECT_TRUE(run.files.empty());
        EXPECT_EQ(FAILURE_HEADER_TOO_LARGE, GetExtractFailure().reason);
    }
}

TEST(Walker, NameRunningPastTheHeaderCopyIsRefused)
{
    // Size byte 30 but a name length of 81: the CRC would lie at byte 103.
    MemberSpec member = TextMember("short", 50, 14);
    Bytes bytes = MemberBytes(member);
    bytes[21] = 81;
    uint8_t sum = 0;
    for (size_t i = 2; i < bytes[0] + 2u; ++i)
        sum = (uint8_t)(sum + bytes[i]);
    bytes[1] = sum;
    bytes.push_back(0);
    MemoryRun run = ExtractInMemory(bytes);
    EXPECT_EQ(kExtractDataError, run.result);
    EXPECT_TRUE(run.files.empty());
    EXPECT_EQ(FAILURE_NAME_TOO_LONG, GetExtractFailure().reason);
}

TEST(Walker, ExtendedHeadersAreSteppedOver)
{
    Bytes content = TextBytes(9000, 15);
    MemberSpec compressed = Lh5Member("ext.txt", content);
    compressed.extended = {Bytes{0x00, 0x12, 0x34}, Bytes{0x40, 0x20, 0x00}, Bytes{0x01, 'x', 'y', 'z'}};
    MemberSpec stored = StoredMember("ext.bin", content);
    stored.extended = {Bytes{0x00, 0x55, 0x66}};
    MemoryRun run = ExtractInMemory(ArchiveOf({compressed, stored, TextMember("after", 77, 16)}));
    ASSERT_EQ(3, run.result);
    EXPECT_EQ(content, FileBytes(run.files[0]));
    EXPECT_EQ(content, FileBytes(run.files[1]));
    EXPECT_EQ(TextBytes(77, 16), FileBytes(run.files[2]));
}

TEST(Walker, DamagedExtendedHeadersAreDataErrors)
{
    MemberSpec base = TextMember("ext", 500, 17);
    base.extended = {Bytes{0x00, 0x12, 0x34}};

    // Sizes 1 and 2 cannot hold the type and the next size.
    for (uint8_t size : {1, 2}) {
        Bytes bytes = ArchiveOf({base});
        size_t sizeField = bytes[0]; // bytes H and H+1 hold the first extended size
        bytes[sizeField] = size;
        uint8_t sum = 0;
        for (size_t i = 2; i < bytes[0] + 2u; ++i)
            sum = (uint8_t)(sum + bytes[i]);
        bytes[1] = sum;
        MemoryRun run = ExtractInMemory(bytes);
        EXPECT_EQ(kExtractDataError, run.result) << (int)size;
        EXPECT_TRUE(run.files.empty());
        EXPECT_EQ(FAILURE_EXTENDED_HEADER, GetExtractFailure().reason);
    }

    // Cut short by the end of the archive.
    Bytes header = MemberBytes(base);
    header.resize(base.name.size() + 27 + 2);
    EXPECT_EQ(kExtractDataError, ExtractInMemory(header).result);
    EXPECT_EQ(FAILURE_EXTENDED_HEADER, GetExtractFailure().reason);

    // Larger than the packed size they are counted in.
    MemberSpec small = base;
    small.packedSizeSet = true;
    small.packedSize = 4;
    EXPECT_EQ(kExtractDataError, ExtractInMemory(ArchiveOf({small})).result);
    EXPECT_TRUE(ExtractInMemory(ArchiveOf({small})).files.empty());
}

TEST(Walker, LevelZeroHeadersHaveNoExtendedHeaders)
{
    // The bytes behind a level-0 name are not an extended size.
    MemberSpec member = TextMember("plain", 300, 18);
    member.level = 0;
    member.extended.clear();
    MemoryRun run = ExtractInMemory(ArchiveOf({member, TextMember("next", 40, 19)}));
    EXPECT_EQ(2, run.result);
}

TEST(Walker, NamesThatLeaveTheFolderAreRefusedBeforeCreation)
{
    const char* const refused[] = {
        "\\windows\\evil.dll", "/etc/passwd", "C:evil.txt", "C:\\evil.txt", "file.txt:stream",
        "..\\evil.txt", "../evil.txt", "sub\\..\\..\\evil.txt", "..", "sub/..", ".. \\evil", "...\\evil",
    };
    for (const char* name : refused) {
        MemoryRun run = ExtractInMemory(ArchiveOf({TextMember("fine.txt", 10, 20), TextMember(name, 10, 21)}));
        EXPECT_EQ(kExtractDataError, run.result) << name;
        ASSERT_EQ(1u, run.files.size()) << name;
        EXPECT_EQ("fine.txt", run.files[0].name);
        EXPECT_EQ(FAILURE_UNSAFE_NAME, GetExtractFailure().reason);
        EXPECT_STREQ(name, GetExtractFailure().memberName);
    }
    // Folder parts and names with dots stay as the archive has them.
    const char* const accepted[] = {"sub\\file.txt", "a..b", "..file", "file..", ".hidden", "sub/./x"};
    for (const char* name : accepted) {
        MemoryRun run = ExtractInMemory(ArchiveOf({TextMember(name, 10, 22)}));
        EXPECT_EQ(1, run.result) << name;
        ASSERT_EQ(1u, run.files.size());
        EXPECT_EQ(std::string("dest\\") + name, run.files[0].path);
    }
}

TEST(MemberNames, DoubleByteTrailBytesAreNoSeparators)
{
    // 表 is 95 5C, ソ is 83 5C and ポ is 83 7C in code page 932.
    EXPECT_EQ(FAILURE_NONE, CheckMemberName("\x95\x5C.txt"));
    EXPECT_EQ(FAILURE_NONE, CheckMemberName("\x95\x5C.."));          // 表.. is one component
    EXPECT_EQ(FAILURE_NONE, CheckMemberName("\x83\x5C..\\x.txt"));   // ソ..\x.txt
    EXPECT_EQ(FAILURE_NONE, CheckMemberName("\x83\x5C\x83\x74\x83\x67\\readme.txt")); // ソフト\readme.txt
    EXPECT_EQ(FAILURE_NONE, CheckMemberName("\x83\x7C.txt"));        // ポ.txt: no '|'
    EXPECT_EQ(FAILURE_UNSAFE_NAME, CheckMemberName("\x95\x5C\\..\\x")); // 表\..\x
    EXPECT_EQ(FAILURE_UNSAFE_NAME, CheckMemberName("\\\x95\x5C"));
    // A lone lead byte at the end takes nothing with it.
    EXPECT_EQ(FAILURE_NONE, CheckMemberName("abc\x95"));
    // Half-width katakana are single bytes: ｿ (BF) is followed by a real separator.
    EXPECT_EQ(FAILURE_UNSAFE_NAME, CheckMemberName("\xBF\\..\\x"));
}

TEST(Walker, NamesWindowsCannotCreateAreRefusedBeforeCreation)
{
    const char* const refused[] = {
        "", "CON", "con", "AUX.txt", "nul .txt", "Prn.dat.bak", "COM1", "com9.log", "LPT1", "CONIN$", "conout$.x",
        "sub\\NUL", "NUL\\x", "a?b", "a*b", "a<b", "a>b", "a|b", "a\"b", "tab\tname", "bell\x07", "sub\\",
        "sub\\.", "sub\\ ", " ",
    };
    for (const char* name : refused) {
        MemoryRun run = ExtractInMemory(ArchiveOf({TextMember("fine.txt", 10, 20), TextMember(name, 10, 21)}));
        EXPECT_EQ(kExtractDataError, run.result) << name;
        ASSERT_EQ(1u, run.files.size()) << name;
        EXPECT_EQ(FAILURE_INVALID_NAME, GetExtractFailure().reason) << name;
        EXPECT_STREQ(name, GetExtractFailure().memberName);
    }
    // Near misses are ordinary names.
    for (const char* name : {"COM0", "COM10", "LPT", "CONSOLE.txt", "nul_.txt", "AUXILIARY", "a.CON"})
        EXPECT_EQ(FAILURE_NONE, CheckMemberName(name)) << name;
}

TEST(Walker, DoubleByteNamesExtract)
{
    MemoryRun run = ExtractInMemory(ArchiveOf({TextMember("\x95\x5C..", 10, 23)}));
    EXPECT_EQ(1, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ("dest\\\x95\x5C..", run.files[0].path);
}

TEST(Walker, PathsLongerThanMaxPathAreFileErrors)
{
    std::string folder(200, 'd');
    // 200 + backslash + 58 + NUL = 260 fits; one byte more does not.
    MemoryRun fits = ExtractInMemory(ArchiveOf({TextMember(std::string(58, 'n'), 10, 24)}), UINT64_MAX,
                                     folder.c_str());
    EXPECT_EQ(1, fits.result);
    ASSERT_EQ(1u, fits.files.size());
    EXPECT_EQ(259u, fits.files[0].path.size());

    MemoryRun tooLong = ExtractInMemory(ArchiveOf({TextMember(std::string(59, 'n'), 10, 24)}), UINT64_MAX,
                                        folder.c_str());
    EXPECT_EQ(kExtractFileError, tooLong.result);
    EXPECT_TRUE(tooLong.files.empty());
    EXPECT_EQ(FAILURE_PATH_TOO_LONG, GetExtractFailure().reason);

    // A folder that leaves no room at all still extracts an empty archive.
    std::string huge(400, 'h');
    EXPECT_EQ(0, ExtractInMemory(Bytes{0}, UINT64_MAX, huge.c_str()).result);
    EXPECT_EQ(kExtractFileError, ExtractInMemory(ArchiveOf({TextMember("x", 1, 25)}), UINT64_MAX, huge.c_str()).result);
}

TEST(Output, WindowFlushSizes)
{
    Bytes large = TextBytes(868664, 26);
    MemoryRun run = ExtractInMemory(ArchiveOf({Lh5Member("large", large)}));
    ASSERT_EQ(1, run.result);
    EXPECT_EQ((std::vector<uint32_t>{262144, 262144, 262144, 82232}), run.files[0].writes);
    EXPECT_EQ(large, FileBytes(run.files[0]));

    // Exactly one window: the closing flush has nothing left to write.
    run = ExtractInMemory(ArchiveOf({Lh5Member("window", TextBytes(262144, 27))}));
    ASSERT_EQ(1, run.result);
    EXPECT_EQ(std::vector<uint32_t>{262144}, run.files[0].writes);

    // A stored member goes out straight from the archive, a window's worth at
    // a time, so that the installer's window can answer between the pieces.
    run = ExtractInMemory(ArchiveOf({StoredMember("stored", large)}));
    ASSERT_EQ(1, run.result);
    EXPECT_EQ((std::vector<uint32_t>{262144, 262144, 262144, 82232}), run.files[0].writes);
    EXPECT_EQ(large, FileBytes(run.files[0]));
}

TEST(Output, EmptyMembers)
{
    MemberSpec compressed = Lh5Member("empty.lh5", Bytes());
    compressed.data = {0x12, 0x34}; // the two bytes that prime the reader
    MemoryRun run = ExtractInMemory(ArchiveOf({compressed, StoredMember("empty.lh0", Bytes())}));
    ASSERT_EQ(2, run.result);
    EXPECT_TRUE(run.files[0].writes.empty());
    EXPECT_EQ(0u, run.files[0].size);
    EXPECT_EQ(0u, run.files[1].size);
    EXPECT_TRUE(run.files[0].timeSet && run.files[1].timeSet);
}

TEST(Output, ShortWritesAreFileErrors)
{
    Bytes content = TextBytes(600000, 28);
    // Decoded: the second window comes up short.
    MemoryRun run = ExtractInMemory(ArchiveOf({Lh5Member("big", content), TextMember("never", 5, 29)}), 300000);
    EXPECT_EQ(kExtractFileError, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(300000u, run.files[0].size);
    EXPECT_EQ(Bytes(content.begin(), content.begin() + 300000), FileBytes(run.files[0]));
    EXPECT_TRUE(run.files[0].closed);
    EXPECT_FALSE(run.files[0].timeSet);
    EXPECT_EQ(FAILURE_SHORT_WRITE, GetExtractFailure().reason);

    // Stored.
    run = ExtractInMemory(ArchiveOf({StoredMember("stored", content)}), 1000);
    EXPECT_EQ(kExtractFileError, run.result);
    ASSERT_EQ(1u, run.files.size());
    EXPECT_EQ(1000u, run.files[0].size);
    EXPECT_FALSE(run.files[0].timeSet);
}

TEST(Output, RepeatedExtractionsStartAfresh)
{
    Bytes archive = ArchiveOf({TextMember("a", 1000, 30), StoredMember("b", RandomBytes(999, 31))});
    MemoryRun first = ExtractInMemory(archive);
    MemoryRun again = ExtractInMemory(archive);
    ASSERT_EQ(2, first.result);
    ASSERT_EQ(2, again.result);
    EXPECT_EQ(FileBytes(first.files[0]), FileBytes(again.files[0]));
    EXPECT_EQ(FAILURE_NONE, GetExtractFailure().reason);
}

} // namespace
