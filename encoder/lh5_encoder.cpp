#include "encoder/lh5_encoder.h"

#include <algorithm>
#include <cstring>

#include "bytes/little_endian.h"
#include "encoder/common_length.h"
#include "encoder/lh5_block_writer.h"
#include "encoder/optimal_parse.h"
#include "encoder/token_sink.h"

namespace {

const int kHash4Bits = 15;
const int kHash3Bits = 12;
const uint32_t kNoPosition = 0xFFFFFFFFu;
const uint32_t kWindowMask = kLh5WindowSize - 1;

// Search effort: candidates looked at per position, fewer once the waiting
// match is already good; a waiting match this long is taken without looking
// one byte further.
const uint32_t kMaxChain = 128;
const uint32_t kGoodLength = 32;
const uint32_t kMaxLazy = 128;

struct Match {
    uint32_t length;
    uint32_t distance;
};

// Matches are found through chains of positions with the same 4-byte hash.
// 3-byte matches, worth having only when near, come from a table that keeps the
// latest position of each 3-byte hash. The chain links are distances, kept for
// the last window's worth of positions; 0 ends a chain.
class Matcher {
public:
    Matcher(const uint8_t* data, uint32_t size)
        : data_(data), size_(size), head4_(1u << kHash4Bits, kNoPosition), head3_(1u << kHash3Bits, kNoPosition)
    {
    }

    void Insert(uint32_t pos)
    {
        uint32_t left = size_ - pos;
        if (left >= 4)
            Link(pos, Hash4(pos));
        if (left >= 3)
            head3_[Hash3(pos)] = pos;
    }

    // Longest match at pos longer than `better` (length 0 when there is none),
    // then inserts pos. Searching first keeps the link of the position one full
    // window back, which pos's slot would overwrite.
    Match FindAndInsert(uint32_t pos, uint32_t better, uint32_t chain)
    {
        Match best{0, 0};
        uint32_t maxLength = std::min(kLh5MaxMatch, size_ - pos);
        if (maxLength < kLh5MinMatch)
            return best;
        const uint8_t* here = data_ + pos;
        uint32_t bestLength = std::max(better, kLh5MinMatch - 1);

        uint32_t h3 = Hash3(pos);
        uint32_t near = head3_[h3];
        head3_[h3] = pos;
        if (bestLength < kLh5MinMatch && near != kNoPosition && pos - near <= kFarMinMatch &&
            memcmp(data_ + near, here, kLh5MinMatch) == 0) {
            bestLength = CommonLength(data_ + near, here, 0, maxLength);
            best = Match{bestLength, pos - near};
        }
        if (maxLength < 4)
            return best;

        uint32_t h4 = Hash4(pos);
        uint32_t oldest = pos > kLh5WindowSize ? pos - kLh5WindowSize : 0;
        uint32_t cand = head4_[h4];
        const uint32_t here4 = LoadLe32(here);
        while (cand != kNoPosition && cand >= oldest && bestLength < maxLength && chain-- > 0) {
            const uint8_t* there = data_ + cand;
            if (there[bestLength] == here[bestLength] && LoadLe32(there) == here4) {
                uint32_t length = CommonLength(there, here, 0, maxLength);
                if (length > bestLength) {
                    bestLength = length;
                    best = Match{length, pos - cand};
                    if (length >= kNiceLength)
                        break;
                }
            }
            uint32_t step = prev_[cand & kWindowMask];
            if (step == 0 || step > cand)
                break;
            cand -= step;
        }
        Link(pos, h4);
        return best;
    }

private:
    uint32_t Hash4(uint32_t pos) const { return (LoadLe32(data_ + pos) * 2654435761u) >> (32 - kHash4Bits); }

    uint32_t Hash3(uint32_t pos) const
    {
        const uint8_t* p = data_ + pos;
        uint32_t v = (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
        return (v * 2654435761u) >> (32 - kHash3Bits);
    }

    void Link(uint32_t pos, uint32_t h4)
    {
        uint32_t last = head4_[h4];
        prev_[pos & kWindowMask] = (uint16_t)(last != kNoPosition && pos - last <= kLh5WindowSize ? pos - last : 0);
        head4_[h4] = pos;
    }

    const uint8_t* data_;
    uint32_t size_;
    std::vector<uint32_t> head4_;
    std::vector<uint32_t> head3_;
    uint16_t prev_[kLh5WindowSize];
};

// The lazy parse of data[start, end), the matcher primed with the window
// before start. False once the stream has given up.
bool ParseLazy(const uint8_t* data, uint32_t start, uint32_t end, TokenSink& sink)
{
    Matcher matcher(data, end);
    for (uint32_t q = start > kLh5WindowSize ? start - kLh5WindowSize : 0; q < start; ++q)
        matcher.Insert(q);

    // Lazy matching: the match found at pos - 1 waits until pos shows no longer one.
    bool pending = false;
    Match waiting{0, 0};
    uint32_t pos = start;
    while (pos < end) {
        Match found{0, 0};
        if (pending && waiting.length >= kMaxLazy) {
            matcher.Insert(pos);
        } else {
            uint32_t chain = pending && waiting.length >= kGoodLength ? kMaxChain / 4 : kMaxChain;
            found = matcher.FindAndInsert(pos, pending ? waiting.length : 0, chain);
        }

        if (pending && waiting.length >= kLh5MinMatch && found.length <= waiting.length) {
            uint32_t next = pos - 1 + waiting.length;
            for (uint32_t q = pos + 1; q < next; ++q)
                matcher.Insert(q);
            if (!sink.Add(Lh5Reference(waiting.length, waiting.distance), next))
                return false;
            pending = false;
            pos = next;
            continue;
        }
        if (pending && !sink.Add(Lh5Literal(data[pos - 1]), pos))
            return false;
        waiting = found;
        pending = true;
        ++pos;
    }
    // The last byte has no room for a match behind it.
    return !pending || sink.Add(Lh5Literal(data[end - 1]), end);
}

} // namespace

bool EncodeLh5(const uint8_t* data, size_t size, size_t sizeLimit, std::vector<uint8_t>* packed,
               const Lh5Progress& progress, Lh5Parse parse, const Lh5Runner& runner)
{
    packed->clear();
    if (size > kLh5MaxInput)
        return false;
    const size_t count = Lh5SegmentCount(size);
    SegmentedStream stream(sizeLimit, progress);
    std::vector<std::vector<uint8_t>> segmentBits(count);
    std::vector<uint64_t> bitCounts(count);
    auto packSegment = [&](size_t i) {
        if (stream.GaveUp())
            return;
        const uint32_t start = (uint32_t)(i * kLh5SegmentBytes);
        const uint32_t end = (uint32_t)std::min(size, start + kLh5SegmentBytes);
        static thread_local SinkBuffers buffers;
        TokenSink sink(buffers, stream, start);
        if (parse == Lh5Parse::Lazy ? ParseLazy(data, start, end, sink) : ParseOptimal(data, start, end, sink))
            sink.Finish(end, &segmentBits[i], &bitCounts[i]);
    };
    if (runner && count > 1) {
        runner(count, packSegment);
    } else {
        for (size_t i = 0; i < count; ++i)
            packSegment(i);
    }
    if (stream.GaveUp())
        return false;

    BitWriter bits(*packed);
    uint64_t totalBits = 0;
    for (uint64_t segmentBitCount : bitCounts)
        totalBits += segmentBitCount;
    bits.Reserve(totalBits / 8 + 8);
    for (size_t i = 0; i < count; ++i) {
        bits.Append(segmentBits[i].data(), bitCounts[i]);
        std::vector<uint8_t>().swap(segmentBits[i]);
    }
    bits.Flush();
    return packed->size() < sizeLimit;
}
