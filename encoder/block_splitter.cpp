#include "encoder/block_splitter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

const size_t kSymbols = kCharSymbols + kPositionSymbols; // both codes in one histogram
// Blocks end only at unit edges: statistics are kept per unit.
const size_t kUnit = 1024;
// Split points tried for a range: its quarters.
const size_t kParts = 4;
// What the tables of a block cost, roughly: a fixed part and some bits for each
// symbol that occurs.
const double kBlockBits = 60;
const double kBitsPerUsedSymbol = 5;

double XLog2X(uint32_t x)
{
    static const std::vector<double> table = [] {
        std::vector<double> t(4096, 0.0);
        for (size_t i = 1; i < t.size(); ++i)
            t[i] = (double)i * std::log2((double)i);
        return t;
    }();
    return x < table.size() ? table[x] : (double)x * std::log2((double)x);
}

class Splitter {
public:
    Splitter(const Lh5Token* tokens, size_t count)
        : count_(count), units_((count + kUnit - 1) / kUnit), prefix_((units_ + 1) * kSymbols, 0)
    {
        for (size_t u = 0; u < units_; ++u) {
            uint32_t* next = &prefix_[(u + 1) * kSymbols];
            std::copy(next - kSymbols, next, next);
            size_t end = std::min(count, (u + 1) * kUnit);
            for (size_t i = u * kUnit; i < end; ++i) {
                ++next[tokens[i].symbol];
                if (tokens[i].symbol >= 256)
                    ++next[kCharSymbols + Lh5PositionSymbol(tokens[i].position)];
            }
        }
    }

    std::vector<size_t> Blocks()
    {
        Split(0, units_);
        return blocks_;
    }

private:
    // Estimated bits of one block over units [first, last): the entropy of
    // both codes, the positions' extra bits and the tables.
    double Cost(size_t first, size_t last) const
    {
        const uint32_t* a = &prefix_[first * kSymbols];
        const uint32_t* b = &prefix_[last * kSymbols];
        double bits = kBlockBits;
        uint64_t chars = 0, positions = 0;
        for (size_t s = 0; s < kSymbols; ++s) {
            uint32_t n = b[s] - a[s];
            if (n == 0)
                continue;
            bits += kBitsPerUsedSymbol - XLog2X(n);
            if (s < kCharSymbols) {
                chars += n;
            } else {
                positions += n;
                size_t j = s - kCharSymbols;
                bits += j >= 2 ? (double)n * (j - 1) : 0;
            }
        }
        return bits + XLog2X((uint32_t)chars) + XLog2X((uint32_t)positions);
    }

    void Split(size_t first, size_t last)
    {
        double best = Cost(first, last);
        size_t at = first;
        for (size_t k = 1; k < kParts; ++k) {
            size_t middle = first + (last - first) * k / kParts;
            if (middle == first)
                continue;
            double cost = Cost(first, middle) + Cost(middle, last);
            if (cost < best) {
                best = cost;
                at = middle;
            }
        }
        if (at != first) {
            Split(first, at);
            Split(at, last);
            return;
        }
        blocks_.push_back(std::min(count_, last * kUnit) - first * kUnit);
    }

    size_t count_;
    size_t units_;
    std::vector<uint32_t> prefix_; // symbol counts of units [0, u) at u * kSymbols
    std::vector<size_t> blocks_;
};

} // namespace

std::vector<size_t> SplitIntoBlocks(const Lh5Token* tokens, size_t count)
{
    if (count == 0)
        return {};
    if (count <= kUnit)
        return {count};
    return Splitter(tokens, count).Blocks();
}
