// Numbers stored little-endian in byte buffers, as LHA archives, the payload
// container and Windows programs hold them, read and written the same on any
// host. Header-only and portable: the installer, the engine, the encoder and
// the packer share it.
#pragma once
#include <stdint.h>

inline uint16_t LoadLe16(const unsigned char* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

inline uint32_t LoadLe32(const unsigned char* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

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
