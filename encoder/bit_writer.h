// Appends bit fields to a byte vector, most significant bit first, as LHA
// streams are read.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out), used_(out.size()) {}

    // Makes room for the next `bytes` bytes, so that Put needs no test of its own.
    void Reserve(size_t bytes)
    {
        if (out_.size() - used_ < bytes)
            out_.resize(std::max(out_.size() * 2, used_ + bytes));
    }

    // The n low bits of value, n from 0 to 32; higher bits must be 0.
    void Put(uint32_t value, int n)
    {
        pending_ = pending_ << n | value;
        pendingBits_ += n;
        if (pendingBits_ >= 32) {
            pendingBits_ -= 32;
            uint32_t word = (uint32_t)(pending_ >> pendingBits_);
            uint8_t* p = out_.data() + used_;
            p[0] = (uint8_t)(word >> 24);
            p[1] = (uint8_t)(word >> 16);
            p[2] = (uint8_t)(word >> 8);
            p[3] = (uint8_t)word;
            used_ += 4;
        }
    }

    // Appends the first bitCount bits of bytes, as another writer left them.
    void Append(const uint8_t* bytes, uint64_t bitCount)
    {
        Reserve(bitCount / 8 + 8);
        const uint8_t* p = bytes;
        for (uint64_t words = bitCount / 32; words > 0; --words, p += 4)
            Put((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3], 32);
        int rest = (int)(bitCount % 32);
        for (; rest >= 8; rest -= 8)
            Put(*p++, 8);
        if (rest > 0)
            Put(*p >> (8 - rest), rest);
    }

    // Writes the bits still held, the last byte padded with zero bits, and
    // trims the vector to the stream.
    void Flush()
    {
        Reserve(8);
        while (pendingBits_ >= 8) {
            pendingBits_ -= 8;
            out_[used_++] = (uint8_t)(pending_ >> pendingBits_);
        }
        if (pendingBits_ > 0)
            out_[used_++] = (uint8_t)(pending_ << (8 - pendingBits_));
        pendingBits_ = 0;
        out_.resize(used_);
    }

    // Bits written so far; after Flush, with the padding.
    uint64_t BitCount() const { return (uint64_t)used_ * 8 + pendingBits_; }

private:
    std::vector<uint8_t>& out_;
    size_t used_;
    uint64_t pending_ = 0; // the low pendingBits_ bits are not yet written
    int pendingBits_ = 0;
};
