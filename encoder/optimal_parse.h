// The -lh5- packer's slow mode: every match at every position, and the parse
// whose bits, priced by the codes of the previous pass, add up to the least.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/lh5_encoder.h"

// As EncodeLh5 with Lh5Parse::Optimal.
bool EncodeLh5Optimal(const uint8_t* data, size_t size, size_t sizeLimit, std::vector<uint8_t>* packed,
                      const Lh5Progress& progress);
