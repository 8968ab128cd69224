// The CRC-16 of the tables, which the shipping stub computes, on every input
// size across the four lanes' threshold, against the bit-by-bit definition;
// and the packer's folded path giving the same values.
#include <gtest/gtest.h>

#include <vector>

#include "archive_builder.h"
#include "extract/crc16.h"

namespace {

// Past the first two sizes that the lanes take, with every remainder of the
// lanes' 32-byte steps.
const uint32_t kLargestSize = 4096 + 2 * 4096 + 64;

struct Crc16Test : ::testing::Test {
    Crc16Test()
    {
        BuildCrc16Table(table);
        bytes = RandomBytes(kLargestSize + 1, 16);
        // The definition, prefix by prefix, and from a start of 0x1234.
        unsigned crc = 0, seeded = 0x1234;
        for (uint32_t i = 0; i <= kLargestSize; ++i) {
            prefixCrc.push_back((uint16_t)crc);
            seededCrc.push_back((uint16_t)seeded);
            crc = BitwiseStep(crc, bytes[i]);
            seeded = BitwiseStep(seeded, bytes[i]);
        }
    }

    static unsigned BitwiseStep(unsigned crc, uint8_t byte)
    {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
        return crc;
    }

    Crc16Table table;
    Bytes bytes;
    std::vector<uint16_t> prefixCrc, seededCrc;
};

TEST_F(Crc16Test, TablesGiveTheDefinitionOnEverySize)
{
    for (uint32_t size = 0; size <= kLargestSize; ++size) {
        ASSERT_EQ(Crc16ByTables(table, 0, bytes.data(), size), prefixCrc[size]) << size << " bytes";
        ASSERT_EQ(Crc16ByTables(table, 0x1234, bytes.data(), size), seededCrc[size]) << size << " bytes from 0x1234";
    }
}

TEST_F(Crc16Test, TablesTakeAnyAlignmentAndPartsInAnySplit)
{
    Bytes shifted(1, 0);
    shifted.insert(shifted.end(), bytes.begin(), bytes.end());
    for (uint32_t size : {4095u, 4096u, 5003u, kLargestSize}) {
        ASSERT_EQ(Crc16ByTables(table, 0, shifted.data() + 1, size), prefixCrc[size]) << size;
        for (uint32_t split : {1u, 7u, 4096u, size / 2}) {
            if (split > size)
                continue;
            unsigned crc = Crc16ByTables(table, 0, bytes.data(), split);
            ASSERT_EQ(Crc16ByTables(table, crc, bytes.data() + split, size - split), prefixCrc[size]) << size << "/" << split;
        }
    }
}

TEST_F(Crc16Test, FoldedAndTableValuesAgree)
{
    for (uint32_t size = 0; size <= kLargestSize; size += size < 256 ? 1 : 61)
        ASSERT_EQ(UpdateCrc16(table, 0x1234, bytes.data(), size), seededCrc[size]) << size << " bytes";
    const char digits[] = "123456789";
    EXPECT_EQ(UpdateCrc16(table, 0, (const unsigned char*)digits, 9), 0xBB3Du);
}

} // namespace
