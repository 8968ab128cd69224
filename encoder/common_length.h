// What both parses share of the matches: how far two places in the input
// agree (the match finders' inner loop), and which matches are worth taking.
#pragma once
#include <cstdint>
#include <cstring>

// A match this long is as good as any: the lazy parse looks no further, the
// optimal one not at the positions it covers.
const uint32_t kNiceLength = 256;

// A 3-byte reference from further back costs more bits than three literals
// under most codes.
const uint32_t kFarMinMatch = 2048;

// The first n from `from` on, up to max, where a[n] and b[n] differ, or max;
// bytes before `from` are known to agree. Eight bytes are compared at a time.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t from, uint32_t max)
{
    uint32_t n = from;
    while (n + 8 <= max) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        if (x != y)
            break;
        n += 8;
    }
    while (n < max && a[n] == b[n])
        ++n;
    return n;
}
