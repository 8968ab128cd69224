// The encoder's streams, from both parses, decoded by the extraction engine:
// the generated corpus, the edges of the window, of the reference lengths, of
// the blocks and of the segments, and random inputs.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "pack_test_support.h"
#include "encoder/lh5_encoder.h"

// Names the parse in the test list.
void PrintTo(Lh5Parse parse, std::ostream* out)
{
    *out << (parse == Lh5Parse::Lazy ? "lazy" : "optimal");
}

namespace {

Bytes Encode(const Bytes& data, Lh5Parse parse)
{
    Bytes stream;
    EXPECT_TRUE(EncodeLh5(data.data(), data.size(), SIZE_MAX, &stream, nullptr, parse));
    return stream;
}

::testing::AssertionResult RoundTrips(const Bytes& data, Lh5Parse parse)
{
    Bytes stream = Encode(data, parse);
    Bytes decoded;
    if (!DecodeStream(stream, data, &decoded))
        return ::testing::AssertionFailure() << "the engine refused the stream of " << data.size() << " bytes";
    if (decoded != data)
        return ::testing::AssertionFailure() << "decoded " << decoded.size() << " bytes differ from the "
                                             << data.size() << " bytes packed";
    return ::testing::AssertionSuccess();
}

class Lh5Encoder : public ::testing::TestWithParam<Lh5Parse> {
protected:
    Bytes Encode(const Bytes& data) const { return ::Encode(data, GetParam()); }
    ::testing::AssertionResult RoundTrips(const Bytes& data) const { return ::RoundTrips(data, GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Parses, Lh5Encoder, ::testing::Values(Lh5Parse::Lazy, Lh5Parse::Optimal),
                         [](const ::testing::TestParamInfo<Lh5Parse>& info) {
                             return info.param == Lh5Parse::Lazy ? "Lazy" : "Optimal";
                         });

TEST_P(Lh5Encoder, GeneratedCorpusRoundTripsThroughTheEngine)
{
    for (const CorpusItem& item : GeneratedCorpus())
        EXPECT_TRUE(RoundTrips(item.bytes)) << item.name;
}

TEST_P(Lh5Encoder, CompressibleInputsShrink)
{
    Bytes text = TextBytes(1 << 20, 2);
    EXPECT_LT(Encode(text).size(), text.size() * 45 / 100);
    Bytes zeros(1 << 20, 0);
    // 4,096 references of 256 bytes: a few bits each.
    EXPECT_LT(Encode(zeros).size(), 2000u);
}

TEST_P(Lh5Encoder, RepeatsAtTheEdgeOfTheWindow)
{
    // A random chunk repeated exactly 8,192 bytes later can be referenced;
    // one repeated 8,193 bytes later cannot and must come out as literals.
    for (size_t gap : {8192u - 300u, 8192u - 257u, 8192u - 256u, 8192u - 255u}) {
        Bytes chunk = RandomBytes(256, (uint32_t)gap);
        Bytes data = chunk;
        Bytes filler = RandomBytes(gap, 1000 + (uint32_t)gap);
        data.insert(data.end(), filler.begin(), filler.end());
        data.insert(data.end(), chunk.begin(), chunk.end());
        EXPECT_TRUE(RoundTrips(data)) << gap;
    }
    Bytes near = RandomBytes(8192, 5);
    near.insert(near.end(), near.begin(), near.begin() + 4000);
    Bytes stream = Encode(near);
    EXPECT_LT(stream.size(), 8192u + 1000u) << "a repeat at distance 8,192 was not referenced";
    EXPECT_TRUE(RoundTrips(near));
}

TEST_P(Lh5Encoder, ReferenceLengthsAroundTheLimit)
{
    for (size_t run : {1u, 2u, 3u, 4u, 255u, 256u, 257u, 258u, 259u, 512u, 513u, 100000u}) {
        Bytes data = {9, 8};
        data.insert(data.end(), run, 0x33);
        data.push_back(7);
        EXPECT_TRUE(RoundTrips(data)) << run;
    }
}

TEST_P(Lh5Encoder, InputsAroundBlockAndWindowSizes)
{
    // A segment's worth and one byte more: a segment of one byte follows.
    for (size_t size : std::initializer_list<size_t>{2, 3, 4, 5, 8191, 8192, 8193, 65535, 65536, 65537, 262143, 262145,
                                                     1048575, 1048577, kLh5SegmentBytes, kLh5SegmentBytes + 1}) {
        EXPECT_TRUE(RoundTrips(TextBytes(size, (uint32_t)size))) << size;
        EXPECT_TRUE(RoundTrips(RandomBytes(size, (uint32_t)size))) << size;
    }
}

TEST_P(Lh5Encoder, GivesUpOnceTheStreamReachesTheLimit)
{
    Bytes random = RandomBytes(200000, 8);
    Bytes stream;
    EXPECT_FALSE(EncodeLh5(random.data(), random.size(), random.size(), &stream, nullptr, GetParam()));

    Bytes text = TextBytes(100000, 8);
    Bytes full = Encode(text);
    EXPECT_TRUE(EncodeLh5(text.data(), text.size(), full.size() + 1, &stream, nullptr, GetParam()));
    EXPECT_EQ(stream, full);
    EXPECT_FALSE(EncodeLh5(text.data(), text.size(), full.size(), &stream, nullptr, GetParam()));

    EXPECT_FALSE(EncodeLh5(nullptr, 0, 0, &stream, nullptr, GetParam())) << "an empty input never shrinks";
}

TEST_P(Lh5Encoder, ReportsProgressUpToTheWholeInput)
{
    Bytes text = TextBytes(1 << 20, 4);
    std::vector<size_t> reports;
    Bytes stream;
    EXPECT_TRUE(EncodeLh5(text.data(), text.size(), SIZE_MAX, &stream, [&](size_t done) { reports.push_back(done); },
                          GetParam()));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), text.size());
    for (size_t i = 1; i < reports.size(); ++i)
        EXPECT_LE(reports[i - 1], reports[i]);
}

// Runs the tasks all at once, each on a thread of its own, the last started first.
void RunOnThreads(size_t count, const std::function<void(size_t)>& task)
{
    std::vector<std::thread> threads;
    for (size_t i = count; i-- > 0;)
        threads.emplace_back(task, i);
    for (std::thread& thread : threads)
        thread.join();
}

TEST_P(Lh5Encoder, SegmentsMakeOneStreamWhicheverThreadsPackThem)
{
    Bytes data = SegmentEdgeBytes(7);
    Bytes stream = Encode(data);
    EXPECT_TRUE(RoundTrips(data));
    EXPECT_LT(stream.size() + 3000, Encode(SegmentEdgeBytes(7, false)).size())
        << "the repeat's copy past the segment edge was not referenced";

    std::vector<size_t> reports;
    Bytes threaded;
    ASSERT_TRUE(EncodeLh5(data.data(), data.size(), stream.size() + 1, &threaded,
                          [&](size_t done) { reports.push_back(done); }, GetParam(), RunOnThreads));
    EXPECT_TRUE(threaded == stream);
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.back(), data.size());
    EXPECT_FALSE(EncodeLh5(data.data(), data.size(), stream.size(), &threaded, nullptr, GetParam(), RunOnThreads));
}

TEST(Lh5OptimalParse, IsSmallerThanTheLazyParse)
{
    for (const Bytes& data : {TextBytes(1 << 20, 2), BinaryBytes(1 << 20, 3)}) {
        size_t lazy = Encode(data, Lh5Parse::Lazy).size();
        size_t optimal = Encode(data, Lh5Parse::Optimal).size();
        EXPECT_LT(optimal, lazy * 98 / 100) << "lazy " << lazy << ", optimal " << optimal;
    }
}

// Random inputs mixing noise, runs and repeats from near and far.
Bytes MixedInput(std::mt19937& random)
{
    size_t size = random() % 4 == 0 ? random() % 64 : random() % 300000;
    Bytes data;
    data.reserve(size + 300);
    unsigned alphabet = 1 + random() % 256;
    while (data.size() < size) {
        switch (random() % 5) {
        case 0:
            for (int i = 0, n = 1 + random() % 200; i < n; ++i)
                data.push_back((uint8_t)(random() % alphabet));
            break;
        case 1:
            data.insert(data.end(), 1 + random() % 2000, (uint8_t)random());
            break;
        default:
            if (!data.empty()) {
                size_t back = 1 + random() % std::min<size_t>(data.size(), random() % 2 ? 300 : 12000);
                size_t length = 1 + random() % 400;
                size_t from = data.size() - back;
                for (size_t i = 0; i < length; ++i)
                    data.push_back(data[from + i]);
            }
        }
    }
    data.resize(size);
    return data;
}

TEST_P(Lh5Encoder, RandomInputsAlwaysRoundTrip)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 150; ++round) {
        Bytes data = MixedInput(random);
        ASSERT_TRUE(RoundTrips(data)) << "round " << round << ", " << data.size() << " bytes";
    }
}

} // namespace
