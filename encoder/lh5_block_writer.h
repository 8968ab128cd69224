// One block of an -lh5- stream: the symbol count, the three code-length lists
// (code-length code, char/length code, position code) and the coded symbols.
#pragma once
#include <cstddef>
#include <cstdint>

#include "encoder/bit_writer.h"

// A literal byte (symbol 0..255) or a reference (symbol 256..509 for the
// lengths 3..256) with its distance less one, 0..8191.
struct Lh5Token {
    uint16_t symbol;
    uint16_t position;
};

const uint32_t kLh5MinMatch = 3;
const uint32_t kLh5MaxMatch = 256;
const uint32_t kLh5WindowSize = 8192;
const size_t kCharSymbols = 510;   // 256 literals and the lengths 3 to 256
const size_t kPositionSymbols = 14; // distances less one by their bit length
const int kMaxCodeLength = 16;

inline Lh5Token Lh5Literal(uint8_t byte) { return Lh5Token{byte, 0}; }
inline Lh5Token Lh5Reference(uint32_t length, uint32_t distance)
{
    return Lh5Token{(uint16_t)(length + 253), (uint16_t)(distance - 1)};
}

// Position symbol j codes distances less one in [2^(j-1), 2^j): the bit length
// of the value. The j-1 bits below its top bit follow the symbol.
inline int Lh5PositionSymbol(uint32_t position)
{
    int j = 0;
    while (position >> j)
        ++j;
    return j;
}

// The block's count field is 16 bits.
const size_t kLh5MaxBlockTokens = 65535;

// Writes tokens[0..count) as one block; count from 1 to kLh5MaxBlockTokens.
void WriteLh5Block(const Lh5Token* tokens, size_t count, BitWriter& bits);
