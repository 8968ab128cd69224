// Writes -lh5- streams for the tests: field by field for hand-made blocks, or
// a whole stream from data with a plain greedy LZ77. Independent of the engine.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <vector>

class BitWriter {
public:
    // The low count bits of value, most significant first.
    void Put(uint32_t value, unsigned count);
    void PutOnes(unsigned count);
    // Pads the last byte with zero bits.
    std::vector<uint8_t> Finish();
    size_t BitsWritten() const { return bytes_.size() * 8 + pending_; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t accumulator_ = 0;
    unsigned pending_ = 0;
};

// A literal (0-255), or a reference of length 3-256 (symbol length + 253) and distance 1-8192.
struct Lh5Token {
    unsigned symbol;
    unsigned distance;
    static Lh5Token Literal(uint8_t byte) { return {byte, 0}; }
    static Lh5Token Reference(unsigned length, unsigned distance) { return {length + 253, distance}; }
};

// Canonical codes as the decoder assigns them: shorter first, then by symbol.
// Lengths must not over-fill the code space.
std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths);

// Huffman code lengths of at most maxLength bits for the symbols with a
// non-zero count; a single used symbol gets length 1.
std::vector<uint8_t> CodeLengths(const std::vector<uint32_t>& counts, unsigned maxLength);

// Length list of the code-length code (zeroRunAfterThird) or the position code.
void WritePtLengths(BitWriter& out, const std::vector<uint8_t>& lengths, unsigned countBits,
                    bool zeroRunAfterThird);
// A one-symbol code: count 0 and the symbol.
void WriteSingleCode(BitWriter& out, unsigned countBits, unsigned symbol);
// The char/length list through the code-length code; writes that code's own list first.
void WriteCharLengths(BitWriter& out, const std::vector<uint8_t>& charLengths);

struct BlockCodes {
    std::vector<uint8_t> charLengths;     // 510 entries
    std::vector<uint8_t> positionLengths; // 14 entries
};

// Codes fitted to the tokens. A code with one used symbol is written as a one-symbol code.
BlockCodes FitCodes(const std::vector<Lh5Token>& tokens);

// A block: the count field (tokens.size(), or 0 for 65,536), the three lists, the tokens.
void WriteBlock(BitWriter& out, const std::vector<Lh5Token>& tokens);
// The tokens alone, with codes already written.
void WriteTokens(BitWriter& out, const BlockCodes& codes, const std::vector<Lh5Token>& tokens);

// -lh4- streams reach back 4,096 bytes at most, -lh5- ones 8,192.
std::vector<Lh5Token> GreedyTokens(const std::vector<uint8_t>& data, size_t maxDistance = 8192);
// A whole member stream: blocks of at most maxBlock tokens.
std::vector<uint8_t> CompressLh5(const std::vector<uint8_t>& data, size_t maxBlock = 65535, size_t maxDistance = 8192);
