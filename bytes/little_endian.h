// Numbers stored little-endian in byte buffers, as LHA archives, the payload
// container and Windows programs hold them, read and written the same on any
// host. Header-only and portable: the installer, the engine, the encoder and
// the packer share it.
#pragma once
#include <stdint.h>
#include <string.h>

// A little-endian host loads the word whole: the byte-by-byte form weighs
// more in the compiler's inlining decisions, even where it ends up one load.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
inline uint16_t LoadLe16(const unsigned char* p)
{
    uint16_t value;
    memcpy(&value, p, 2);
    return value;
}

inline uint32_t LoadLe32(const unsigned char* p)
{
    uint32_t value;
    memcpy(&value, p, 4);
    return value;
}
#else
inline uint16_t LoadLe16(const unsigned char* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

inline uint32_t LoadLe32(const unsigned char* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
#endif

inline void StoreLe16(unsigned char* p, uint32_t value)
{
    p[0] = (unsigned char)value;
    p[1] = (unsigned char)(value >> 8);
}

inline void StoreLe32(unsigned char* p, uint32_t value)
{
    StoreLe16(p, value);
    StoreLe16(p + 2, value >> 16);
}
