// Hand-made token sequences written as blocks and read back by the engine's
// decoder: every code-length form the writer can choose must decode.
#include <gtest/gtest.h>

#include <random>

#include "pack_test_support.h"
#include "encoder/bit_writer.h"
#include "encoder/lh5_block_writer.h"

namespace {

// What a token sequence stands for.
Bytes Expand(const std::vector<Lh5Token>& tokens)
{
    Bytes out;
    for (const Lh5Token& t : tokens) {
        if (t.symbol < 256) {
            out.push_back((uint8_t)t.symbol);
            continue;
        }
        size_t from = out.size() - (t.position + 1u);
        for (unsigned i = 0; i < t.symbol - 253u; ++i)
            out.push_back(out[from + i]);
    }
    return out;
}

// Writes the tokens in blocks of at most blockSize and decodes the stream.
void ExpectRoundTrip(const std::vector<Lh5Token>& tokens, size_t blockSize = kLh5MaxBlockTokens)
{
    Bytes stream;
    BitWriter bits(stream);
    for (size_t at = 0; at < tokens.size(); at += blockSize)
        WriteLh5Block(tokens.data() + at, std::min(blockSize, tokens.size() - at), bits);
    bits.Flush();
    Bytes expected = Expand(tokens);
    Bytes decoded;
    ASSERT_TRUE(DecodeStream(stream, expected, &decoded));
    ASSERT_EQ(decoded.size(), expected.size());
    EXPECT_TRUE(decoded == expected);
}

TEST(Lh5Block, EveryByteValueOnceGivesEqualLengthsAndAOneSymbolLengthCode)
{
    std::vector<Lh5Token> tokens;
    for (int b = 0; b < 256; ++b)
        tokens.push_back(Lh5Literal((uint8_t)b));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, OneRepeatedLiteralIsAOneSymbolCharCode)
{
    ExpectRoundTrip(std::vector<Lh5Token>(1000, Lh5Literal(0x5A)));
    ExpectRoundTrip(std::vector<Lh5Token>(1, Lh5Literal(0)));
}

TEST(Lh5Block, OneLiteralThenOneRepeatedReferenceUsesOnePositionSymbol)
{
    std::vector<Lh5Token> tokens = {Lh5Literal(7)};
    tokens.insert(tokens.end(), 500, Lh5Reference(256, 1));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, EveryPositionSymbolAndTheLongestDistance)
{
    std::mt19937 random(3);
    std::vector<Lh5Token> tokens;
    for (int i = 0; i < 9000; ++i)
        tokens.push_back(Lh5Literal((uint8_t)random()));
    // Distances 1, 2, 3, 4..7, ... up to 8192: position symbols 0 to 13.
    for (uint32_t distance : {1u, 2u, 3u, 5u, 9u, 17u, 33u, 65u, 129u, 257u, 513u, 1025u, 2049u, 4097u, 8191u, 8192u})
        tokens.push_back(Lh5Reference(3 + distance % 254, distance));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, EveryLengthSymbol)
{
    std::vector<Lh5Token> tokens = {Lh5Literal(1), Lh5Literal(2), Lh5Literal(3)};
    for (uint32_t length = kLh5MinMatch; length <= kLh5MaxMatch; ++length)
        tokens.push_back(Lh5Reference(length, 1 + length % 3));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, SkewedCountsNeedEscapedAndSixteenBitLengths)
{
    // Counts doubling from symbol to symbol push the rare ones to 16-bit codes,
    // past the decoder's 12-bit table into its tree, and their lengths past 6
    // into the escape form of the length lists.
    std::vector<Lh5Token> tokens;
    for (int s = 0; s < 18; ++s)
        tokens.insert(tokens.end(), (size_t)1 << s, Lh5Literal((uint8_t)(s * 13)));
    std::shuffle(tokens.begin(), tokens.end(), std::mt19937(5));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, ZeroRunsOfEveryKindInTheCharLengths)
{
    // Used literal values with gaps of 1, 2, 3, 18, 19, 20 and a long tail of
    // unused symbols before a length symbol.
    std::vector<Lh5Token> tokens;
    int value = 0;
    for (int gap : {0, 1, 2, 3, 18, 19, 20, 60}) {
        value += gap + 1;
        tokens.push_back(Lh5Literal((uint8_t)value));
        tokens.push_back(Lh5Literal((uint8_t)value));
    }
    tokens.push_back(Lh5Reference(200, 4));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, PositionCodesWithZeroLengthsAfterTheThirdEntry)
{
    // Only distances of symbols 0-2 and 6: the position list has zeros in the
    // middle but no zero-run field.
    std::vector<Lh5Token> tokens;
    for (int i = 0; i < 64; ++i)
        tokens.push_back(Lh5Literal((uint8_t)(i * 7)));
    for (uint32_t distance : {1u, 2u, 3u, 4u, 40u, 50u, 60u, 1u, 2u})
        tokens.push_back(Lh5Reference(4, distance));
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, FullBlocksOfTheLargestSymbolCount)
{
    std::mt19937 random(9);
    std::vector<Lh5Token> tokens;
    for (size_t i = 0; i < kLh5MaxBlockTokens * 2 + 17; ++i) {
        if (i >= 8 && random() % 3 == 0)
            tokens.push_back(Lh5Reference(3 + random() % 20, 1 + random() % 8));
        else
            tokens.push_back(Lh5Literal((uint8_t)(random() % 40)));
    }
    ExpectRoundTrip(tokens);
}

TEST(Lh5Block, ManySmallBlocks)
{
    std::mt19937 random(10);
    std::vector<Lh5Token> tokens;
    for (int i = 0; i < 5000; ++i) {
        if (i >= 300 && random() % 2 == 0)
            tokens.push_back(Lh5Reference(3 + random() % 254, 1 + random() % 300));
        else
            tokens.push_back(Lh5Literal((uint8_t)random()));
    }
    for (size_t blockSize : {1, 2, 3, 7, 100})
        ExpectRoundTrip(tokens, blockSize);
}

} // namespace
