#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <queue>
#include <random>
#include <vector>

#include "encoder/huffman_code.h"

namespace {

// Sum of 2^-length over used symbols, in units of 2^-16: 65536 is a complete code.
uint64_t CodeSpace(const std::vector<uint8_t>& lengths)
{
    uint64_t space = 0;
    for (uint8_t len : lengths) {
        if (len != 0)
            space += (uint64_t)1 << (16 - len);
    }
    return space;
}

uint64_t Cost(const std::vector<uint32_t>& freq, const std::vector<uint8_t>& lengths)
{
    uint64_t bits = 0;
    for (size_t s = 0; s < freq.size(); ++s)
        bits += (uint64_t)freq[s] * lengths[s];
    return bits;
}

// Cost of an unlimited Huffman code: the sum of all merged weights.
uint64_t HuffmanCost(const std::vector<uint32_t>& freq)
{
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<uint64_t>> heap;
    for (uint32_t f : freq) {
        if (f != 0)
            heap.push(f);
    }
    uint64_t cost = 0;
    while (heap.size() > 1) {
        uint64_t a = heap.top();
        heap.pop();
        uint64_t b = heap.top();
        heap.pop();
        cost += a + b;
        heap.push(a + b);
    }
    return cost;
}

std::vector<uint8_t> Lengths(const std::vector<uint32_t>& freq, int maxLength = 16)
{
    std::vector<uint8_t> lengths(freq.size(), 99);
    BuildCodeLengths(freq.data(), freq.size(), maxLength, lengths.data());
    return lengths;
}

TEST(HuffmanLengths, NoneOrOneUsedSymbolNeedsNoBits)
{
    EXPECT_EQ(Lengths({0, 0, 0}), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(Lengths({0, 7, 0}), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(HuffmanLengths, TwoSymbolsTakeOneBitEach)
{
    EXPECT_EQ(Lengths({0, 1, 0, 1000}), (std::vector<uint8_t>{0, 1, 0, 1}));
}

TEST(HuffmanLengths, MatchTheUnlimitedOptimumWhenTheLimitDoesNotBite)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint32_t> freq(2 + random() % 509);
        // Counts within a factor of 10 of each other keep every code well
        // under 16 bits.
        for (uint32_t& f : freq)
            f = random() % 4 == 0 ? 0 : 500 + random() % 4500;
        freq[0] = freq[1] = 500; // at least two used
        std::vector<uint8_t> lengths = Lengths(freq);
        ASSERT_LT(*std::max_element(lengths.begin(), lengths.end()), 16) << round;
        EXPECT_EQ(CodeSpace(lengths), 65536u) << round;
        EXPECT_EQ(Cost(freq, lengths), HuffmanCost(freq)) << round;
        for (size_t s = 0; s < freq.size(); ++s)
            EXPECT_EQ(freq[s] == 0, lengths[s] == 0) << round << " symbol " << s;
    }
}

TEST(HuffmanLengths, FibonacciFrequenciesAreLimitedToSixteenBitsAndStayComplete)
{
    // Unlimited, these would need codes of up to 39 bits.
    std::vector<uint32_t> freq(40);
    freq[0] = freq[1] = 1;
    for (size_t i = 2; i < freq.size(); ++i)
        freq[i] = freq[i - 1] + freq[i - 2];
    for (int limit : {16, 12, 8}) {
        std::vector<uint8_t> lengths = Lengths(freq, limit);
        EXPECT_EQ(CodeSpace(lengths) >> (16 - limit), 1u << limit) << limit;
        for (size_t s = 0; s < freq.size(); ++s) {
            EXPECT_GE(lengths[s], 1) << s;
            EXPECT_LE(lengths[s], limit) << s;
            if (s > 0) {
                EXPECT_LE(lengths[s], lengths[s - 1]) << "a commoner symbol got a longer code, " << s;
            }
        }
    }
}

TEST(HuffmanLengths, AllFiveHundredTenSymbolsWithSkewedCounts)
{
    std::vector<uint32_t> freq(510);
    for (size_t s = 0; s < freq.size(); ++s)
        freq[s] = s < 30 ? 1u << (s % 30) : 1;
    std::vector<uint8_t> lengths = Lengths(freq);
    EXPECT_EQ(CodeSpace(lengths), 65536u);
    for (uint8_t len : lengths) {
        EXPECT_GE(len, 1);
        EXPECT_LE(len, 16);
    }
}

TEST(CanonicalCodes, ShorterFirstThenBySymbolEachFollowingThePrevious)
{
    // Lengths 2,3,3,0,2,3,3 give, in canonical order: 0:00 4:01 1:100 2:101 5:110 6:111.
    std::vector<uint8_t> lengths = {2, 3, 3, 0, 2, 3, 3};
    std::vector<uint16_t> codes(lengths.size(), 0xFFFF);
    AssignCanonicalCodes(lengths.data(), lengths.size(), codes.data());
    EXPECT_EQ(codes, (std::vector<uint16_t>{0b00, 0b100, 0b101, 0, 0b01, 0b110, 0b111}));
}

TEST(CanonicalCodes, AreFreeOfPrefixesForLimitedCodes)
{
    std::mt19937 random(11);
    std::vector<uint32_t> freq(510);
    for (uint32_t& f : freq)
        f = random() % 3 == 0 ? 0 : 1u << (random() % 20);
    std::vector<uint8_t> lengths = Lengths(freq);
    std::vector<uint16_t> codes(freq.size());
    AssignCanonicalCodes(lengths.data(), lengths.size(), codes.data());
    for (size_t a = 0; a < freq.size(); ++a) {
        for (size_t b = 0; b < freq.size(); ++b) {
            if (a == b || lengths[a] == 0 || lengths[b] == 0 || lengths[a] > lengths[b])
                continue;
            EXPECT_NE(codes[b] >> (lengths[b] - lengths[a]), codes[a]) << a << " is a prefix of " << b;
        }
    }
}

} // namespace
