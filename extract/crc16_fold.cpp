// The reflected CRC-16 with polynomial P = x^16 + x^15 + x^2 + 1 equals the
// low half of a reflected 32-bit CRC with polynomial Q = P x^16, so the usual
// folding of 128-bit blocks by carry-less multiplication applies (Intel, "Fast
// CRC Computation for Generic Polynomials Using PCLMULQDQ"). The constants
// are the bit-reflected x^n mod Q shifted left by one, Q itself and the
// Barrett factor floor(x^64 / Q), both reflected in 33 bits.
#include "extract/crc16_fold.h"

#ifdef MORLU_CRC16_FOLD
#include <immintrin.h>

static const uint64_t kFold512[2] = {0x1b0c2, 0xbffa};  // x^544, x^480
static const uint64_t kFold128[2] = {0x1d0c2, 0x18cc2}; // x^160, x^96
static const uint64_t kFold64 = 0x1bc02;                // x^64
static const uint64_t kBarrett[2] = {0x14003, 0x1cfffbfff}; // Q, floor(x^64 / Q)

bool Crc16FoldAvailable()
{
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

__attribute__((target("pclmul,sse4.1"))) static inline __m128i Fold(__m128i value, __m128i constants, __m128i next)
{
    __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
    __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

__attribute__((target("pclmul,sse4.1"))) unsigned Crc16Fold(unsigned crc, const unsigned char* bytes, uint32_t count)
{
    const __m128i* in = (const __m128i*)bytes;
    __m128i a = _mm_xor_si128(_mm_loadu_si128(in), _mm_cvtsi32_si128((int)crc));
    __m128i b = _mm_loadu_si128(in + 1);
    __m128i c = _mm_loadu_si128(in + 2);
    __m128i d = _mm_loadu_si128(in + 3);
    in += 4;
    count -= 64;

    // Four blocks at a time, each carried 512 bits ahead.
    const __m128i fold512 = _mm_loadu_si128((const __m128i*)kFold512);
    for (; count >= 64; count -= 64, in += 4) {
        a = Fold(a, fold512, _mm_loadu_si128(in));
        b = Fold(b, fold512, _mm_loadu_si128(in + 1));
        c = Fold(c, fold512, _mm_loadu_si128(in + 2));
        d = Fold(d, fold512, _mm_loadu_si128(in + 3));
    }

    // Into one block, then the blocks that are left.
    const __m128i fold128 = _mm_loadu_si128((const __m128i*)kFold128);
    a = Fold(a, fold128, b);
    a = Fold(a, fold128, c);
    a = Fold(a, fold128, d);
    for (; count >= 16; count -= 16, ++in)
        a = Fold(a, fold128, _mm_loadu_si128(in));

    // 128 bits to 64, to 32, and the Barrett reduction to the remainder.
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    a = _mm_xor_si128(_mm_srli_si128(a, 8), _mm_clmulepi64_si128(a, fold128, 0x10));
    __m128i shifted = _mm_srli_si128(a, 4);
    a = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(a, low32), _mm_cvtsi64_si128((long long)kFold64), 0x00),
                      shifted);
    const __m128i barrett = _mm_loadu_si128((const __m128i*)kBarrett);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(a, low32), barrett, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), barrett, 0x00);
    a = _mm_xor_si128(a, t);
    return (unsigned)_mm_extract_epi32(a, 1);
}
#endif
