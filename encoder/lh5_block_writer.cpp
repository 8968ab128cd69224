#include "encoder/lh5_block_writer.h"

#include "encoder/huffman_code.h"

namespace {

const size_t kLengthSymbols = 19; // the code that codes the char/length code lengths
const int kLengthSpecialIndex = 3;
const int kNoSpecialIndex = -1;

int LastUsed(const uint8_t* lengths, size_t count)
{
    int last = -1;
    for (size_t s = 0; s < count; ++s) {
        if (lengths[s] != 0)
            last = (int)s;
    }
    return last;
}

// A code with fewer than two symbols in use is sent as a zero count and the one
// symbol; the decoder then spends no bits on it.
int OnlySymbol(const uint32_t* freq, size_t count)
{
    for (size_t s = 0; s < count; ++s) {
        if (freq[s] != 0)
            return (int)s;
    }
    return 0;
}

// Lengths in 3 bits; 7 and up as 7 followed by (length - 7) one bits and a zero.
// After the entry at specialIndex, a 2-bit count of zero lengths that follow.
void WriteLengthList(const uint8_t* lengths, const uint32_t* freq, size_t count, int countBits, int specialIndex,
                     BitWriter& bits)
{
    int n = LastUsed(lengths, count) + 1;
    if (n == 0) {
        bits.Put(0, countBits);
        bits.Put(OnlySymbol(freq, count), countBits);
        return;
    }
    bits.Put(n, countBits);
    for (int i = 0; i < n;) {
        int len = lengths[i++];
        if (len < 7)
            bits.Put(len, 3);
        else {
            bits.Put(7, 3);
            bits.Put(((1u << (len - 7)) - 1) << 1, len - 6);
        }
        if (i == specialIndex) {
            int zeros = 0;
            while (zeros < 3 && i + zeros < n && lengths[i + zeros] == 0)
                ++zeros;
            bits.Put(zeros, 2);
            i += zeros;
        }
    }
}

// Walks the char/length code lengths as code-length symbols: 0 one zero,
// 1 3..18 zeros (4 bits), 2 20..531 zeros (9 bits), 3..18 a length of 1..16.
template <class Emit>
void WalkCharLengths(const uint8_t* lengths, int n, Emit emit)
{
    for (int i = 0; i < n;) {
        if (lengths[i] != 0) {
            emit(lengths[i] + 2, 0, 0);
            ++i;
            continue;
        }
        int run = 1;
        while (i + run < n && lengths[i + run] == 0)
            ++run;
        i += run;
        if (run <= 2) {
            for (int k = 0; k < run; ++k)
                emit(0, 0, 0);
        } else if (run <= 18) {
            emit(1, run - 3, 4);
        } else if (run == 19) {
            emit(0, 0, 0);
            emit(1, 15, 4);
        } else {
            emit(2, run - 20, 9);
        }
    }
}

void WriteCharLengths(const uint8_t* charLengths, const uint32_t* charFreq, BitWriter& bits)
{
    int n = LastUsed(charLengths, kCharSymbols) + 1;
    if (n == 0) {
        // No char/length code to describe: the code-length code is a dummy.
        bits.Put(0, 5);
        bits.Put(0, 5);
        bits.Put(0, 9);
        bits.Put(OnlySymbol(charFreq, kCharSymbols), 9);
        return;
    }

    uint32_t freq[kLengthSymbols] = {};
    WalkCharLengths(charLengths, n, [&](int symbol, int, int) { ++freq[symbol]; });
    uint8_t lengths[kLengthSymbols];
    uint16_t codes[kLengthSymbols];
    BuildCodeLengths(freq, kLengthSymbols, kMaxCodeLength, lengths);
    AssignCanonicalCodes(lengths, kLengthSymbols, codes);
    WriteLengthList(lengths, freq, kLengthSymbols, 5, kLengthSpecialIndex, bits);

    bits.Put(n, 9);
    WalkCharLengths(charLengths, n, [&](int symbol, int extra, int extraBits) {
        bits.Put(codes[symbol], lengths[symbol]);
        bits.Put(extra, extraBits);
    });
}

} // namespace

void WriteLh5Block(const Lh5Token* tokens, size_t count, BitWriter& bits)
{
    // At most 44 bits a token, and the code-length lists take well under 2 KiB.
    bits.Reserve(count * 6 + 2048);
    uint32_t charFreq[kCharSymbols] = {};
    uint32_t positionFreq[kPositionSymbols] = {};
    for (size_t i = 0; i < count; ++i) {
        ++charFreq[tokens[i].symbol];
        if (tokens[i].symbol >= 256)
            ++positionFreq[Lh5PositionSymbol(tokens[i].position)];
    }

    uint8_t charLengths[kCharSymbols], positionLengths[kPositionSymbols];
    uint16_t charCodes[kCharSymbols], positionCodes[kPositionSymbols];
    BuildCodeLengths(charFreq, kCharSymbols, kMaxCodeLength, charLengths);
    BuildCodeLengths(positionFreq, kPositionSymbols, kMaxCodeLength, positionLengths);
    AssignCanonicalCodes(charLengths, kCharSymbols, charCodes);
    AssignCanonicalCodes(positionLengths, kPositionSymbols, positionCodes);

    bits.Put((uint32_t)count, 16);
    WriteCharLengths(charLengths, charFreq, bits);
    WriteLengthList(positionLengths, positionFreq, kPositionSymbols, 4, kNoSpecialIndex, bits);

    for (size_t i = 0; i < count; ++i) {
        const Lh5Token& t = tokens[i];
        bits.Put(charCodes[t.symbol], charLengths[t.symbol]);
        if (t.symbol < 256)
            continue;
        int j = Lh5PositionSymbol(t.position);
        bits.Put(positionCodes[j], positionLengths[j]);
        if (j >= 2)
            bits.Put(t.position & ((1u << (j - 1)) - 1), j - 1);
    }
}
