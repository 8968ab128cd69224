#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "pack_test_support.h"
#include "encoder/bit_writer.h"
#include "encoder/block_splitter.h"

namespace {

std::vector<Lh5Token> LiteralsFrom(const std::string& alphabet, size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<Lh5Token> tokens;
    for (size_t i = 0; i < count; ++i)
        tokens.push_back(Lh5Literal((uint8_t)alphabet[random() % alphabet.size()]));
    return tokens;
}

size_t StreamSize(const std::vector<Lh5Token>& tokens, const std::vector<size_t>& blocks)
{
    Bytes stream;
    BitWriter bits(stream);
    size_t at = 0;
    for (size_t length : blocks) {
        WriteLh5Block(tokens.data() + at, length, bits);
        at += length;
    }
    bits.Flush();
    return stream.size();
}

TEST(BlockSplitter, BlocksCoverEveryTokenOnce)
{
    for (size_t count : {1u, 1023u, 1024u, 1025u, 5000u, 65535u}) {
        std::vector<Lh5Token> tokens = LiteralsFrom("ab", count / 2, 1);
        std::vector<Lh5Token> other = LiteralsFrom("0123456789", count - count / 2, 2);
        tokens.insert(tokens.end(), other.begin(), other.end());
        std::vector<size_t> blocks = SplitIntoBlocks(tokens.data(), tokens.size());
        EXPECT_EQ(std::accumulate(blocks.begin(), blocks.end(), (size_t)0), count) << count;
        for (size_t length : blocks)
            EXPECT_GT(length, 0u) << count << ": an empty block would read as 65,536 symbols";
    }
    EXPECT_TRUE(SplitIntoBlocks(nullptr, 0).empty());
}

TEST(BlockSplitter, SplitsWhereTheStatisticsChangeAndThatPays)
{
    std::vector<Lh5Token> tokens = LiteralsFrom("abcdefgh", 30000, 3);
    std::vector<Lh5Token> digits = LiteralsFrom("0123456789ABCDEF", 30000, 4);
    tokens.insert(tokens.end(), digits.begin(), digits.end());
    std::vector<size_t> blocks = SplitIntoBlocks(tokens.data(), tokens.size());
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_LT(StreamSize(tokens, blocks), StreamSize(tokens, {tokens.size()}));
}

TEST(BlockSplitter, KeepsUniformStatisticsInOneBlock)
{
    for (uint32_t seed : {5u, 6u, 7u}) {
        std::vector<Lh5Token> tokens = LiteralsFrom("the quick brown fox jumps over a lazy dog", 65535, seed);
        EXPECT_EQ(SplitIntoBlocks(tokens.data(), tokens.size()).size(), 1u) << seed;
    }
}

} // namespace
