// CRC-16/ARC, the CRC of LHA archives: polynomial 0xA001 in reflected form,
// initial value 0, no final XOR. The engine keeps its table in its state; the
// packer builds one of its own.
#pragma once
#include <stdint.h>

#include "extract/crc16_fold.h"

// Row 0 is the byte table; row k folds a byte that k more bytes follow, so
// that a step takes 8 bytes.
typedef uint16_t Crc16Table[8][256];

void BuildCrc16Table(Crc16Table table);

// crc carried on over count bytes by the tables alone, as the installer
// computes it.
unsigned Crc16ByTables(const Crc16Table table, unsigned crc, const unsigned char* bytes, uint32_t count);

// The same value, its bulk folded by carry-less multiplication where the
// build and the processor have it (crc16_fold.h).
#ifdef MORLU_CRC16_FOLD
unsigned UpdateCrc16(const Crc16Table table, unsigned crc, const unsigned char* bytes, uint32_t count);
#else
inline unsigned UpdateCrc16(const Crc16Table table, unsigned crc, const unsigned char* bytes, uint32_t count)
{
    return Crc16ByTables(table, crc, bytes, count);
}
#endif
