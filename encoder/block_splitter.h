// Where the blocks of an -lh5- stream end. Each block carries its own code
// tables, so a new block pays when the symbol statistics change enough to
// outweigh the bits of another set of tables.
#pragma once
#include <cstddef>
#include <vector>

#include "encoder/lh5_block_writer.h"

// Lengths of the blocks for tokens[0..count), in order; they add up to count.
// count is at most kLh5MaxBlockTokens.
std::vector<size_t> SplitIntoBlocks(const Lh5Token* tokens, size_t count);
