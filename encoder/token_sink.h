// Where a parse puts its tokens: they are collected as long as one block may
// be, then written in the blocks that the splitter chooses.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/lh5_block_writer.h"
#include "encoder/lh5_encoder.h"

class TokenSink {
public:
    TokenSink(std::vector<uint8_t>& packed, size_t sizeLimit, const Lh5Progress& progress)
        : bits_(packed), sizeLimit_(sizeLimit), progress_(progress)
    {
        tokens_.reserve(kLh5MaxBlockTokens);
    }

    // False once the stream has reached the size limit.
    bool Add(Lh5Token token, size_t inputDone)
    {
        tokens_.push_back(token);
        if (tokens_.size() < kLh5MaxBlockTokens)
            return true;
        return WriteBlocks(inputDone);
    }

    bool Finish(size_t inputDone);

private:
    bool WriteBlocks(size_t inputDone);

    BitWriter bits_;
    size_t sizeLimit_;
    const Lh5Progress& progress_;
    std::vector<Lh5Token> tokens_;
};
