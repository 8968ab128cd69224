// The archive as the installer and the common LHA tools read it.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include <cstring>
#include <limits>

#include "pack_test_support.h"
#include "packer/pack/archive_writer.h"
#include "packer/system/pack_error.h"

// Names the method in the test list.
void PrintTo(PackMethod method, std::ostream* out)
{
    *out << (method == PackMethod::Lh5 ? "lh5" : method == PackMethod::Lh5Best ? "lh5 best" : "lh0");
}

namespace {

// Sets the time zone for this process and the tools it starts.
class TimeZone {
public:
    explicit TimeZone(const char* zone)
    {
        const char* old = getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadOld_;
    std::string old_;
};

time_t UtcTime(int year, int month, int day, int hour, int minute, int second)
{
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return timegm(&t);
}

void AddMember(ArchiveWriter& writer, const std::string& name, const Bytes& data, time_t modified, PackMethod method)
{
    writer.Add(name, data.data(), data.size(), modified, PackMember(data.data(), data.size(), method));
}

uint32_t Le(const Bytes& b, size_t at, int width)
{
    uint32_t v = 0;
    for (int k = width - 1; k >= 0; --k)
        v = v << 8 | b[at + k];
    return v;
}

TEST(Crc16, CheckValueOfTheNineDigits)
{
    const char* digits = "123456789";
    EXPECT_EQ(Crc16((const uint8_t*)digits, 9), 0xBB3D);
    EXPECT_EQ(Crc16(nullptr, 0), 0);
}

TEST(DosDateTime, JapanTimeInTwoSecondStepsWhateverTheZone)
{
    for (const char* zone : {"UTC", "Asia/Tokyo", "America/New_York"}) {
        TimeZone local(zone);
        uint32_t stamp = DosDateTime(UtcTime(2021, 3, 4, 20, 6, 9));
        EXPECT_EQ(stamp >> 16, (41u << 9) | (3u << 5) | 5u) << "the 5th in Tokyo; TZ=" << zone;
        EXPECT_EQ(stamp & 0xFFFF, (5u << 11) | (6u << 5) | 4u) << "05:06:09 as 4 two-second steps; TZ=" << zone;
    }
}

TEST(DosDateTime, ClampsToTheYearsTheFormHolds)
{
    EXPECT_EQ(DosDateTime(0), (1u << 21) | (1u << 16)) << "1970 becomes 1980-01-01 00:00:00";
    EXPECT_EQ(DosDateTime(UtcTime(1979, 12, 31, 15, 0, 0)), (1u << 21) | (1u << 16)) << "midnight in Tokyo";
    EXPECT_EQ(DosDateTime(UtcTime(2107, 12, 31, 14, 59, 59)), DosDateTime(UtcTime(2200, 6, 1, 0, 0, 0)));
    EXPECT_EQ(DosDateTime(UtcTime(2200, 6, 1, 0, 0, 0)) >> 25, 127u);
    EXPECT_EQ(DosDateTime(std::numeric_limits<time_t>::max()) >> 25, 127u);
}

TEST(ArchiveWriter, WritesLevelOneHeadersWithoutExtendedHeaders)
{
    Bytes text = TextBytes(5000, 1);
    Bytes archive = {0xEE, 0xEE}; // whatever precedes the archive stays
    ArchiveWriter writer(archive);
    AddMember(writer, "read.txt", text, UtcTime(2021, 3, 3, 20, 6, 8), PackMethod::Lh5); // 05:06:08 in Tokyo
    EXPECT_EQ(writer.MemberCount(), 1u);
    writer.Finish();
    EXPECT_EQ(writer.Size(), archive.size() - 2);
    ASSERT_EQ(archive[0], 0xEE);
    archive.erase(archive.begin(), archive.begin() + 2);

    const size_t n = 8;
    ASSERT_GT(archive.size(), 27 + n);
    EXPECT_EQ(archive[0], 25 + n) << "header size of level 1";
    uint8_t sum = 0;
    for (size_t i = 2; i < 27 + n; ++i)
        sum = (uint8_t)(sum + archive[i]);
    EXPECT_EQ(archive[1], sum);
    EXPECT_EQ(std::string(archive.begin() + 2, archive.begin() + 7), "-lh5-");
    uint32_t packed = Le(archive, 7, 4);
    EXPECT_EQ(Le(archive, 11, 4), text.size());
    EXPECT_EQ(Le(archive, 15, 2), (5u << 11) | (6u << 5) | 4u);
    EXPECT_EQ(Le(archive, 17, 2), (41u << 9) | (3u << 5) | 4u);
    EXPECT_EQ(archive[19], 0x20);
    EXPECT_EQ(archive[20], 1);
    EXPECT_EQ(archive[21], n);
    EXPECT_EQ(std::string(archive.begin() + 22, archive.begin() + 22 + n), "read.txt");
    EXPECT_EQ(Le(archive, 22 + n, 2), Crc16(text.data(), text.size()));
    EXPECT_EQ(archive[24 + n], 'M');
    EXPECT_EQ(Le(archive, 25 + n, 2), 0u) << "no extended header";
    EXPECT_EQ(archive.size(), 27 + n + packed + 1);
    EXPECT_EQ(archive.back(), 0) << "end mark";
}

TEST(ArchiveWriter, StoresWhatDoesNotShrinkAndWhatItIsToldToStore)
{
    Bytes random = RandomBytes(10000, 2);
    Bytes text = TextBytes(10000, 2);
    Bytes archive;
    ArchiveWriter writer(archive);
    AddMember(writer, "random", random, 0, PackMethod::Lh5);
    AddMember(writer, "empty", Bytes(), 0, PackMethod::Lh5);
    AddMember(writer, "text", text, 0, PackMethod::Lh0);
    writer.Finish();

    size_t at = 0;
    for (const Bytes* data : std::vector<const Bytes*>{&random, nullptr, &text}) {
        size_t size = data ? data->size() : 0;
        EXPECT_EQ(std::string(archive.begin() + at + 2, archive.begin() + at + 7), "-lh0-");
        EXPECT_EQ(Le(archive, at + 7, 4), size);
        at += archive[at] + 2;
        if (data) {
            EXPECT_TRUE(std::equal(data->begin(), data->end(), archive.begin() + at));
        }
        at += size;
    }
    EXPECT_EQ(at + 1, archive.size());
}

TEST(PackMember, KeepsTheStreamOnlyWhenItShrinks)
{
    Bytes text = TextBytes(20000, 5);
    PackedMember packed = PackMember(text.data(), text.size(), PackMethod::Lh5);
    EXPECT_TRUE(packed.compressed);
    EXPECT_LT(packed.stream.size(), text.size() / 2);
    EXPECT_EQ(packed.crc, Crc16(text.data(), text.size()));

    Bytes random = RandomBytes(20000, 5);
    packed = PackMember(random.data(), random.size(), PackMethod::Lh5);
    EXPECT_FALSE(packed.compressed);
    EXPECT_TRUE(packed.stream.empty()) << "the partial stream is dropped";
    EXPECT_EQ(packed.crc, Crc16(random.data(), random.size()));

    EXPECT_FALSE(PackMember(text.data(), text.size(), PackMethod::Lh0).compressed);
}

TEST(ArchiveWriter, RefusesNamesTheInstallerCannotHold)
{
    Bytes data = {1, 2, 3};
    Bytes archive;
    ArchiveWriter writer(archive);
    EXPECT_NO_THROW(AddMember(writer, std::string(77, 'a'), data, 0, PackMethod::Lh5));
    EXPECT_THROW(AddMember(writer, std::string(78, 'a'), data, 0, PackMethod::Lh5), PackError);
    EXPECT_THROW(AddMember(writer, "", data, 0, PackMethod::Lh5), PackError);
    EXPECT_EQ(writer.MemberCount(), 1u);
    writer.Finish();
    Decoded decoded = DecodeWithEngine(archive.data(), archive.size());
    EXPECT_EQ(decoded.result, 1) << "a 77-byte name fits the engine's header copy";
}

// The generated corpus as one archive, with each member's modification time.
struct CorpusArchive {
    std::vector<CorpusItem> items;
    std::vector<time_t> times;
    Bytes archive;
};

CorpusArchive MakeCorpusArchive(PackMethod method = PackMethod::Lh5)
{
    CorpusArchive c;
    c.items = GeneratedCorpus();
    ArchiveWriter writer(c.archive);
    time_t t = UtcTime(2024, 7, 15, 12, 30, 44);
    for (const CorpusItem& item : c.items) {
        c.times.push_back(t);
        AddMember(writer, item.name, item.bytes, t, method);
        t += 86400 + 3601;
    }
    writer.Finish();
    return c;
}

TEST(ArchiveRoundTrip, TheEngineGivesBackEveryMember)
{
    CorpusArchive c = MakeCorpusArchive();
    Decoded decoded = DecodeWithEngine(c.archive.data(), c.archive.size());
    ASSERT_EQ(decoded.result, (int)c.items.size());
    for (size_t i = 0; i < c.items.size(); ++i) {
        EXPECT_EQ(decoded.names[i], c.items[i].name);
        EXPECT_TRUE(decoded.contents[i] == c.items[i].bytes) << c.items[i].name;
    }
}

struct Peer {
    std::string program;
    std::vector<std::string> (*command)(const std::string& archive, const std::string& folder);
};

const Peer kPeers[] = {
    {"lhasa", [](const std::string& a, const std::string& f) { return std::vector<std::string>{"lhasa", "-xqw=" + f, a}; }},
    {"7z", [](const std::string& a, const std::string& f) { return std::vector<std::string>{"7z", "x", "-y", "-o" + f, a}; }},
    {"bsdtar", [](const std::string& a, const std::string& f) { return std::vector<std::string>{"bsdtar", "-xf", a, "-C", f}; }},
    {"jlha", [](const std::string& a, const std::string& f) { return std::vector<std::string>{"jlha", "xqw=" + f, a}; }},
};

class PeerRoundTrip : public ::testing::TestWithParam<PackMethod> {};

INSTANTIATE_TEST_SUITE_P(Methods, PeerRoundTrip, ::testing::Values(PackMethod::Lh5, PackMethod::Lh5Best),
                         [](const ::testing::TestParamInfo<PackMethod>& info) {
                             return info.param == PackMethod::Lh5 ? "Lh5" : "Lh5Best";
                         });

TEST_P(PeerRoundTrip, PeerToolsExtractEveryMemberByteForByteWithItsTime)
{
    TimeZone tokyo("Asia/Tokyo");
    CorpusArchive c = MakeCorpusArchive(GetParam());
    TempDir temp;
    std::string archive = temp / "corpus.lzh";
    WriteBytes(archive, c.archive);

    for (const Peer& peer : kPeers) {
        if (!HaveProgram(peer.program)) {
            ADD_FAILURE() << peer.program << " is not installed (scripts/install-deps installs it)";
            continue;
        }
        std::string folder = temp / ("out-" + peer.program);
        mkdir(folder.c_str(), 0755);
        RunResult run = RunProgram(peer.command(archive, folder));
        EXPECT_EQ(run.exitCode, 0) << peer.program << ": " << run.err;
        for (size_t i = 0; i < c.items.size(); ++i) {
            std::string path = folder + "/" + c.items[i].name;
            ASSERT_TRUE(Exists(path)) << peer.program << " did not extract " << c.items[i].name;
            EXPECT_TRUE(ReadBytes(path) == c.items[i].bytes) << peer.program << ": " << c.items[i].name;
            struct stat status;
            ASSERT_EQ(stat(path.c_str(), &status), 0);
            // Stored in two-second steps, rounded down; jlha sets no times.
            if (peer.program != "jlha") {
                EXPECT_LE(status.st_mtime, c.times[i]) << peer.program << ": " << c.items[i].name;
                EXPECT_GE(status.st_mtime, c.times[i] - 1) << peer.program << ": " << c.items[i].name;
            }
        }
    }
}

} // namespace
