// Length-limited Huffman codes in the canonical form that LHA decoders
// rebuild from the code lengths alone.
#pragma once
#include <cstddef>
#include <cstdint>

// Code lengths for the symbols 0..count-1 from their frequencies, none longer
// than maxLength (2^maxLength must exceed count). Unused symbols get 0; so does
// a symbol that is the only one used, since a one-symbol code needs no bits.
// Two or more used symbols always get a complete code.
void BuildCodeLengths(const uint32_t* freq, size_t count, int maxLength, uint8_t* lengths);

// Canonical codes: shorter codes first, within one length in increasing symbol
// order, each code following on the previous one. codes[s] holds the
// lengths[s] low bits to send, most significant first.
void AssignCanonicalCodes(const uint8_t* lengths, size_t count, uint16_t* codes);
