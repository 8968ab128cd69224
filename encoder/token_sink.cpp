#include "encoder/token_sink.h"

#include "encoder/block_splitter.h"

bool SegmentedStream::Add(uint64_t bits, size_t inputBytes)
{
    // Bits only grow, so a total past the limit stays past it however the
    // segments' turns fall: the outcome is the input's alone.
    const uint64_t total = bits_.fetch_add(bits, std::memory_order_relaxed) + bits;
    if ((total + 7) / 8 >= sizeLimit_)
        gaveUp_.store(true, std::memory_order_relaxed);
    if (progress_ && inputBytes != 0) {
        std::lock_guard<std::mutex> turn(progressTurn_);
        inputDone_ += inputBytes;
        progress_(inputDone_);
    }
    return !GaveUp();
}

bool TokenSink::Finish(size_t inputEnd, std::vector<uint8_t>* segment, uint64_t* bitCount)
{
    if (!tokens_.empty() && !WriteBlocks(inputEnd))
        return false;
    *bitCount = bits_.BitCount();
    bits_.Flush();
    segment->assign(bytes_.begin(), bytes_.end());
    return !stream_.GaveUp();
}

bool TokenSink::WriteBlocks(size_t inputDone)
{
    const Lh5Token* next = tokens_.data();
    for (size_t length : SplitIntoBlocks(tokens_.data(), tokens_.size())) {
        WriteLh5Block(next, length, bits_);
        next += length;
    }
    tokens_.clear();
    const uint64_t bits = bits_.BitCount();
    const bool going = stream_.Add(bits - bitsTold_, inputDone - inputTold_);
    bitsTold_ = bits;
    inputTold_ = inputDone;
    return going;
}
