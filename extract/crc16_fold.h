// CRC-16 by carry-less multiplication, for hosts that have it (the packer on
// x86-64). The installer keeps to the tables.
#pragma once
#include <stdint.h>

#if defined(__x86_64__) && !defined(MORLU_INSTALLER_ENGINE)
#define MORLU_CRC16_FOLD 1

// Whether this processor has PCLMULQDQ and SSE4.1.
bool Crc16FoldAvailable();

// Folds count bytes (a multiple of 16, at least 64) into crc.
unsigned Crc16Fold(unsigned crc, const unsigned char* bytes, uint32_t count);
#endif
