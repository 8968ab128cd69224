#include "encoder/token_sink.h"

#include "encoder/block_splitter.h"

bool TokenSink::Finish(size_t inputDone)
{
    if (!tokens_.empty() && !WriteBlocks(inputDone))
        return false;
    bits_.Flush();
    return bits_.ByteCount() < sizeLimit_;
}

bool TokenSink::WriteBlocks(size_t inputDone)
{
    const Lh5Token* next = tokens_.data();
    for (size_t length : SplitIntoBlocks(tokens_.data(), tokens_.size())) {
        WriteLh5Block(next, length, bits_);
        next += length;
    }
    tokens_.clear();
    if (progress_)
        progress_(inputDone);
    return bits_.ByteCount() < sizeLimit_;
}
