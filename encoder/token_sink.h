// Where a parse puts its tokens: they are collected as long as one block may
// be, then written in the blocks that the splitter chooses. A stream is made
// of segments that threads may pack at once, each with a sink of its own; the
// sinks of one stream share a SegmentedStream.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/lh5_block_writer.h"
#include "encoder/lh5_encoder.h"

// What the segments of one stream share: the bits all of them have written,
// held against the size limit, and the input they have packed, for progress.
class SegmentedStream {
public:
    SegmentedStream(size_t sizeLimit, const Lh5Progress& progress) : sizeLimit_(sizeLimit), progress_(progress) {}

    // Counts what one segment added since it last told. False once the
    // stream, whatever the other segments still add, takes sizeLimit bytes
    // or more; from then on every segment gives up.
    bool Add(uint64_t bits, size_t inputBytes);

    bool GaveUp() const { return gaveUp_.load(std::memory_order_relaxed); }

private:
    const size_t sizeLimit_;
    const Lh5Progress& progress_;
    std::atomic<uint64_t> bits_{0};
    std::atomic<bool> gaveUp_{false};
    std::mutex progressTurn_; // the progress is told by one thread at a time, in rising order
    size_t inputDone_ = 0;
};

// What a thread keeps from one segment's sink to the next, so that the pages
// stay mapped and warm; a segment keeps only the bytes it takes.
struct SinkBuffers {
    std::vector<Lh5Token> tokens;
    std::vector<uint8_t> bits;
};

class TokenSink {
public:
    // Writes the blocks of the segment that starts at input offset start, in
    // buffers that no other sink uses meanwhile.
    TokenSink(SinkBuffers& buffers, SegmentedStream& stream, size_t start)
        : tokens_(buffers.tokens), bytes_(Emptied(buffers.bits)), bits_(bytes_), stream_(stream), inputTold_(start)
    {
        tokens_.clear();
        tokens_.reserve(kLh5MaxBlockTokens);
    }

    // inputDone: the input offset that the tokens so far reach. False once
    // the stream has given up.
    bool Add(Lh5Token token, size_t inputDone)
    {
        tokens_.push_back(token);
        if (tokens_.size() < kLh5MaxBlockTokens)
            return true;
        return WriteBlocks(inputDone);
    }

    // Ends the segment's last block at its end, input offset inputEnd, and
    // gives the segment's bits: *bitCount of them in *segment, the last byte
    // padded. False once the stream has given up.
    bool Finish(size_t inputEnd, std::vector<uint8_t>* segment, uint64_t* bitCount);

private:
    static std::vector<uint8_t>& Emptied(std::vector<uint8_t>& bytes)
    {
        bytes.clear();
        return bytes;
    }

    bool WriteBlocks(size_t inputDone);

    std::vector<Lh5Token>& tokens_;
    std::vector<uint8_t>& bytes_;
    BitWriter bits_;
    SegmentedStream& stream_;
    uint64_t bitsTold_ = 0;
    size_t inputTold_;
};
