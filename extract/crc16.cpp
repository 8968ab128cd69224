#include "extract/crc16.h"

void BuildCrc16Table(Crc16Table table)
{
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = value & 1 ? (value >> 1) ^ 0xA001 : value >> 1;
        table[0][i] = (uint16_t)value;
    }
    for (unsigned row = 1; row < 8; ++row) {
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t previous = table[row - 1][i];
            table[row][i] = (uint16_t)((previous >> 8) ^ table[0][previous & 0xFF]);
        }
    }
}

// One lane: 8 bytes a step through the 8 table rows. Inline even where the
// build optimizes for size, which would call it for every 8 bytes.
static inline __attribute__((always_inline)) unsigned CrcStep8(const Crc16Table table, unsigned crc,
                                                              const unsigned char* p)
{
    crc ^= p[0] | p[1] << 8;
    return table[7][crc & 0xFF] ^ table[6][crc >> 8] ^ table[5][p[2]] ^ table[4][p[3]] ^ table[3][p[4]] ^
           table[2][p[5]] ^ table[1][p[6]] ^ table[0][p[7]];
}

static unsigned CrcBytes(const Crc16Table table, unsigned crc, const unsigned char* bytes, uint32_t count)
{
    for (; count >= 8; count -= 8, bytes += 8)
        crc = CrcStep8(table, crc, bytes);
    for (; count > 0; --count, ++bytes)
        crc = table[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Polynomial product modulo the CRC polynomial, in the CRC's reflected form
// (bit 15 is x^0).
static unsigned MultiplyModP(unsigned a, unsigned b)
{
    unsigned product = 0;
    for (unsigned bit = 0x8000; bit != 0; bit >>= 1) {
        if (a & bit)
            product ^= b;
        b = b & 1 ? (b >> 1) ^ 0xA001 : b >> 1;
    }
    return product;
}

// The CRC of crc followed by count zero bytes: crc times x^(8 count).
static unsigned ShiftCrc(unsigned crc, uint32_t count)
{
    unsigned power = 0x4000; // x^1, squared for each bit of the bit count 8 count
    unsigned factor = 0x8000; // x^0
    for (uint64_t bits = (uint64_t)count * 8; bits != 0; bits >>= 1) {
        if (bits & 1)
            factor = MultiplyModP(factor, power);
        power = MultiplyModP(power, power);
    }
    return MultiplyModP(crc, factor);
}

// Large counts run four lanes side by side, whose table look-ups do not wait
// for each other, and join them: the CRC of A then B is the CRC of A shifted
// over B's length, XOR the CRC of B from zero.
unsigned Crc16ByTables(const Crc16Table table, unsigned crc, const unsigned char* bytes, uint32_t count)
{
    const uint32_t kLanes = 4;
    if (count < 4096)
        return CrcBytes(table, crc, bytes, count);
    uint32_t lane = count / kLanes & ~7u;
    const unsigned char* p[kLanes] = {bytes, bytes + lane, bytes + 2 * lane, bytes + 3 * lane};
    unsigned crcs[kLanes] = {crc, 0, 0, 0};
    for (uint32_t done = 0; done < lane; done += 8)
        for (uint32_t k = 0; k < kLanes; ++k)
            crcs[k] = CrcStep8(table, crcs[k], p[k] + done);
    uint32_t last = count - 3 * lane;
    crcs[3] = CrcBytes(table, crcs[3], p[3] + lane, last - lane);
    crc = crcs[0];
    for (uint32_t k = 1; k < kLanes; ++k)
        crc = ShiftCrc(crc, k < kLanes - 1 ? lane : last) ^ crcs[k];
    return crc;
}

#ifdef MORLU_CRC16_FOLD
unsigned UpdateCrc16(const Crc16Table table, unsigned crc, const unsigned char* bytes, uint32_t count)
{
    static const bool canFold = Crc16FoldAvailable();
    if (canFold && count >= 64) {
        uint32_t blocks = count & ~15u;
        crc = Crc16Fold(crc, bytes, blocks);
        bytes += blocks;
        count -= blocks;
    }
    return Crc16ByTables(table, crc, bytes, count);
}
#endif
