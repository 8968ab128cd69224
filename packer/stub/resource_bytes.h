// Resource data written out field by field: little-endian numbers appended.
#pragma once
#include <stdint.h>

#include <vector>

#include "bytes/little_endian.h"

inline void AppendLe16(std::vector<uint8_t>& out, uint32_t value)
{
    out.resize(out.size() + 2);
    StoreLe16(&out[out.size() - 2], value);
}

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t value)
{
    out.resize(out.size() + 4);
    StoreLe32(&out[out.size() - 4], value);
}
