// The engine against the plain model of reference_model.cpp, on well-formed
// archives and on thousands of damaged ones: same result, same files, same
// writes. Its own program, because the engine and the model keep state between
// extractions (the window, the header copy) and must see the same inputs.
#include <gtest/gtest.h>

#include <string>

#include "archive_builder.h"
#include "lh5_writer.h"
#include "memory_run.h"
#include "reference_model.h"

namespace {

struct Random {
    uint64_t state;
    uint32_t Next()
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (uint32_t)(state >> 33);
    }
    uint32_t Below(uint32_t limit) { return limit == 0 ? 0 : Next() % limit; }
};

// Compares one extraction; returns false (with a failure reported) on a
// difference. *made, if given, gets the bytes the first file came to.
bool SameAsReference(const Bytes& archive, uint64_t capacity, const std::string& what, size_t* made = nullptr)
{
    reference::Outcome expected = reference::Extract(archive.data(), (uint32_t)archive.size(), capacity);
    if (made != nullptr)
        *made = expected.files.empty() ? 0 : expected.files[0].bytes.size();
    MemoryRun actual = ExtractInMemory(archive, capacity, "");
    EXPECT_EQ(expected.result, actual.result) << what;
    EXPECT_EQ(expected.files.size(), actual.files.size()) << what;
    if (expected.result != actual.result || expected.files.size() != actual.files.size())
        return false;
    for (size_t i = 0; i < expected.files.size(); ++i) {
        const reference::File& e = expected.files[i];
        const MemoryFile& a = actual.files[i];
        bool same = e.name == a.name && e.bytes == FileBytes(a) && e.writes == a.writes && e.timeSet == a.timeSet &&
                    e.dosDate == a.dosDate && e.dosTime == a.dosTime && e.closed == a.closed &&
                    e.kept == a.kept;
        EXPECT_TRUE(same) << what << ": file " << i << " (" << e.name << ") differs";
        if (!same)
            return false;
    }
    return true;
}

// Archives that reach every part of the engine before they are damaged.
std::vector<Bytes> SeedArchives()
{
    std::vector<Bytes> seeds;
    seeds.push_back(ArchiveOf({Lh5Member("text.txt", TextBytes(20000, 1)), StoredMember("raw", RandomBytes(500, 2))}));
    seeds.push_back(ArchiveOf({Lh5Member("level0", TextBytes(3000, 3), 0), Lh5Member("runs", Bytes(5000, 'a'))}));
    MemberSpec extended = Lh5Member("ext", TextBytes(4000, 4));
    extended.extended = {Bytes{0x00, 1, 2}, Bytes{0x40, 0x20, 0}};
    seeds.push_back(ArchiveOf({extended}));
    seeds.push_back(ArchiveOf({Lh5Member("binary", RandomBytes(3000, 5))}));
    // Many small blocks: block headers are where the codes are read.
    Bytes mixed = TextBytes(6000, 6);
    Bytes random = RandomBytes(2000, 7);
    mixed.insert(mixed.end(), random.begin(), random.end());
    MemberSpec blocks = Lh5Member("blocks", mixed);
    blocks.data = CompressLh5(mixed, 300);
    seeds.push_back(ArchiveOf({blocks, Lh5Member("tail", TextBytes(100, 8))}));
    return seeds;
}

void FixChecksums(Bytes& archive)
{
    size_t at = 0;
    while (at < archive.size() && archive[at] != 0) {
        size_t size = archive[at];
        if (at + size + 2 > archive.size())
            return;
        uint8_t sum = 0;
        for (size_t i = at + 2; i < at + size + 2; ++i)
            sum = (uint8_t)(sum + archive[i]);
        archive[at + 1] = sum;
        if (at + 11 > archive.size())
            return;
        uint32_t packed = archive[at + 7] | archive[at + 8] << 8 | archive[at + 9] << 16 | (uint32_t)archive[at + 10] << 24;
        if (packed > archive.size())
            return;
        at += size + 2 + packed;
    }
}

void Mutate(Bytes& archive, Random& random)
{
    unsigned count = 1 + random.Below(4);
    for (unsigned i = 0; i < count && !archive.empty(); ++i) {
        size_t at = random.Below((uint32_t)archive.size());
        switch (random.Below(6)) {
        case 0:
            archive[at] ^= (uint8_t)(1u << random.Below(8));
            break;
        case 1:
            archive[at] = (uint8_t)random.Next();
            break;
        case 2:
            archive.resize(at);
            break;
        case 3: {
            size_t length = std::min<size_t>(random.Below(64), archive.size() - at);
            Bytes copy(archive.begin() + at, archive.begin() + at + length);
            archive.insert(archive.begin() + random.Below((uint32_t)archive.size()), copy.begin(), copy.end());
            break;
        }
        case 4:
            archive.erase(archive.begin() + at, archive.begin() + std::min(archive.size(), at + random.Below(16)));
            break;
        default:
            // Somewhere in the first header: sizes, method, name, level.
            archive[random.Below(std::min<uint32_t>(40, (uint32_t)archive.size()))] = (uint8_t)random.Next();
            break;
        }
    }
    if (random.Below(4) != 0)
        FixChecksums(archive);
}

TEST(Differential, WellFormedArchivesMatchTheModel)
{
    for (const Bytes& seed : SeedArchives())
        ASSERT_TRUE(SameAsReference(seed, UINT64_MAX, "seed"));
    // Window-sized members, so that later members reach into what earlier ones left.
    Bytes large = TextBytes(700000, 9);
    ASSERT_TRUE(SameAsReference(ArchiveOf({Lh5Member("large", large), Lh5Member("after", TextBytes(9000, 10))}),
                                UINT64_MAX, "large"));
    // Stored members are written a window at a time: none for an empty one, and
    // a full disk stops them within a piece.
    Bytes stored = ArchiveOf({StoredMember("empty", Bytes()), StoredMember("big", RandomBytes(600000, 11))});
    ASSERT_TRUE(SameAsReference(stored, UINT64_MAX, "stored"));
    ASSERT_TRUE(SameAsReference(stored, 300000, "stored onto a full disk"));
}

TEST(Differential, RandomTokenStreamsMatchTheModel)
{
    Random random{42};
    for (int round = 0; round < 200; ++round) {
        std::vector<Lh5Token> tokens;
        unsigned produced = 0;
        unsigned count = 1 + random.Below(3000);
        for (unsigned i = 0; i < count; ++i) {
            if (produced == 0 || random.Below(3) == 0) {
                tokens.push_back(Lh5Token::Literal((uint8_t)random.Below(random.Below(2) ? 256 : 8)));
                ++produced;
            } else {
                // Distances may reach before the member: into what the window already holds.
                unsigned length = 3 + random.Below(random.Below(2) ? 254 : 10);
                tokens.push_back(Lh5Token::Reference(length, 1 + random.Below(random.Below(2) ? 8192 : 64)));
                produced += length;
            }
        }
        BitWriter out;
        for (size_t start = 0; start < tokens.size();) {
            size_t end = std::min(tokens.size(), start + 1 + random.Below(2000));
            WriteBlock(out, std::vector<Lh5Token>(tokens.begin() + start, tokens.begin() + end));
            start = end;
        }
        MemberSpec member;
        member.name = "tokens";
        member.data = out.Finish();
        member.originalSize = produced - random.Below(3);
        member.crc = (uint16_t)random.Next();
        ASSERT_TRUE(SameAsReference(ArchiveOf({member}), UINT64_MAX, "round " + std::to_string(round)));
    }
}

// A length for each of count symbols: none for most, 1 to 16 bits (rarely up
// to 23, which gives no code) for the others; the lists come out complete,
// incomplete or over-full by chance.
std::vector<uint8_t> OddLengths(Random& random, unsigned count, unsigned used)
{
    std::vector<uint8_t> lengths(count, 0);
    for (unsigned i = 0; i < used; ++i) {
        unsigned length = 1 + random.Below(random.Below(4) == 0 ? 16 : 9);
        if (random.Below(40) == 0)
            length = 17 + random.Below(7);
        lengths[random.Below(count)] = (uint8_t)length;
    }
    return lengths;
}

// Codes of every shape, long enough to be decoded in long stretches: a block
// header with odd char and position codes, then random bits for symbols.
TEST(Differential, OddCodesInLongMembersMatchTheModel)
{
    Random random{2024};
    int longMembers = 0;
    const int kRounds = 1500;
    for (int round = 0; round < kRounds; ++round) {
        BitWriter out;
        out.Put(random.Below(2) ? random.Below(65536) : 2000 + random.Below(4000), 16);
        std::vector<uint8_t> charLengths = OddLengths(random, 510, 2 + random.Below(120));
        for (uint8_t& length : charLengths)
            length = length > 16 ? 16 : length;
        WriteCharLengths(out, charLengths);
        if (random.Below(10) == 0)
            WriteSingleCode(out, 4, random.Below(14));
        else
            WritePtLengths(out, OddLengths(random, 14, 1 + random.Below(14)), 4, false);
        Bytes stream = out.Finish();
        Bytes bits = RandomBytes(1000 + random.Below(8000), 3000 + round);
        stream.insert(stream.end(), bits.begin(), bits.end());

        MemberSpec member;
        member.name = "odd";
        member.data = stream;
        member.originalSize = 4000 + random.Below(60000);
        member.crc = (uint16_t)random.Next();
        Bytes archive = ArchiveOf({member}, random.Below(2) == 0);
        size_t made = 0;
        ASSERT_TRUE(SameAsReference(archive, UINT64_MAX, "round " + std::to_string(round), &made));
        longMembers += made >= 4000;
    }
    // Most rounds decode at length; without them the comparison saw little.
    EXPECT_GT(longMembers, kRounds / 3);
}

TEST(Differential, DamagedArchivesMatchTheModel)
{
    std::vector<Bytes> seeds = SeedArchives();
    Random random{7};
    for (int round = 0; round < 4000; ++round) {
        Bytes archive = seeds[random.Below((uint32_t)seeds.size())];
        Mutate(archive, random);
        // Damaged sizes can ask for gigabytes: a small disk ends those early.
        uint64_t capacity = random.Below(3) == 0 ? random.Below(40000) : 600000;
        ASSERT_TRUE(SameAsReference(archive, capacity, "round " + std::to_string(round)));
    }
}

TEST(Differential, GarbageStreamsMatchTheModel)
{
    Random random{99};
    for (int round = 0; round < 3000; ++round) {
        MemberSpec member;
        member.name = "garbage";
        member.data.resize(random.Below(200));
        for (uint8_t& byte : member.data)
            byte = (uint8_t)(random.Below(4) == 0 ? 0xFF : random.Below(5) == 0 ? 0 : random.Next());
        member.originalSize = random.Below(20000);
        member.crc = (uint16_t)random.Next();
        Bytes archive = ArchiveOf({member}, random.Below(2) == 0);
        ASSERT_TRUE(SameAsReference(archive, 300000, "round " + std::to_string(round)));
    }
}

// The model judges names by their parts, the engine in one pass: tricky
// names, and names drawn from the bytes that the rules turn on.
TEST(Differential, NamesMatchTheModel)
{
    std::vector<std::string> names = {"..", ". .", "...", "a\\..\\b", "a\\.", "a\\", "\\a", "/a", "a:b", ".",
                                      "a.", " ", "x\\.\\y", "a\\\\b", "CON", "con.txt", "CON .txt", "COM1", "lpt9.x",
                                      "COM0", "CONIN$", "sub\\NUL\\x", "a<b", "a\x01", "\x95\x5c", "\x83\x5c\\x",
                                      "\x81", "\x81:", "\x81\\", "AUX\x81."};
    Random random{22};
    const char kAlphabet[] = ". \\/:CONULPT1$a<\x01\x81\x5c\x7f";
    for (int i = 0; i < 3000; ++i) {
        std::string name(1 + random.Below(8), ' ');
        for (char& c : name)
            c = kAlphabet[random.Below(sizeof kAlphabet - 1)];
        names.push_back(name);
    }
    for (const std::string& name : names)
        if (!SameAsReference(ArchiveOf({StoredMember(name, Bytes{1})}), UINT64_MAX, "name " + name))
            return;
}

} // namespace
