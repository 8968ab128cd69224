#include "encoder/optimal_parse.h"

#include <algorithm>

#include "encoder/bit_writer.h"
#include "encoder/block_splitter.h"
#include "encoder/common_length.h"
#include "encoder/huffman_code.h"
#include "encoder/lh5_block_writer.h"
#include "encoder/match_tree.h"
#include "encoder/token_sink.h"

namespace {

// Price-based passes after the first, lazy one.
const int kPasses = 3;

// What each symbol of one block costs, in bits, under the codes that the block
// had in the previous pass; a position's price includes its extra bits.
struct BlockPrices {
    uint32_t end; // the block covers the segment's bytes before this offset
    uint16_t symbol[kCharSymbols];
    uint16_t position[kPositionSymbols];
};

// Lh5PositionSymbol(distance - 1) in a few instructions: this runs for every match.
int PositionSymbol(uint32_t distance)
{
    return distance == 1 ? 0 : 32 - __builtin_clz(distance - 1);
}

// A symbol that the block did not use would take code space from the others
// and a longer table: priced a little above the block's longest code.
uint16_t UnusedPrice(const uint8_t* lengths, size_t count)
{
    uint8_t longest = *std::max_element(lengths, lengths + count);
    return (uint16_t)std::min(kMaxCodeLength, longest + 2);
}

// One segment, parsed at once: its matches are kept, and its parse is redone
// with prices from the one before.
class SegmentParser {
public:
    // The window before start is primed, so that matches reach into it.
    SegmentParser(const uint8_t* data, uint32_t start, uint32_t end)
        : data_(data), tree_(data, end), start_(start), size_(end - start)
    {
        for (uint32_t q = start > kLh5WindowSize ? start - kLh5WindowSize : 0; q < start; ++q)
            tree_.Skip(q);
    }

    // The cheapest tokens found for the segment: its matches first, then a
    // lazy parse and price-based passes, the smallest kept.
    const std::vector<Lh5Token>& Parse()
    {
        FindMatches();
        LazyParse(&tokens_);
        size_t bestBytes = Measure(tokens_);
        best_ = tokens_;
        for (int pass = 0; pass < kPasses; ++pass) {
            PriceParse(&tokens_);
            size_t bytes = Measure(tokens_);
            if (bytes < bestBytes) {
                bestBytes = bytes;
                best_.swap(tokens_);
            }
        }
        return best_;
    }

private:
    void FindMatches()
    {
        firstMatch_.resize(size_ + 1);
        matches_.clear();
        matches_.reserve(size_ * 2);
        uint32_t coveredUntil = 0;
        for (uint32_t i = 0; i < size_; ++i) {
            firstMatch_[i] = (uint32_t)matches_.size();
            if (i < coveredUntil) {
                tree_.Skip(start_ + i);
                continue;
            }
            if (tree_.FindAndInsert(start_ + i, &matches_) > 0 && matches_.back().length >= kNiceLength)
                coveredUntil = i + matches_.back().length;
        }
        firstMatch_[size_] = (uint32_t)matches_.size();
    }

    // The longest match at i that ends in the segment, with the nearest
    // distance for that length; length 0 when there is none.
    Lh5Match Longest(uint32_t i) const
    {
        if (i >= size_)
            return Lh5Match{0, 0};
        const uint32_t room = size_ - i;
        for (uint32_t k = firstMatch_[i]; k < firstMatch_[i + 1]; ++k) {
            if (matches_[k].length >= room || k + 1 == firstMatch_[i + 1]) {
                Lh5Match m = matches_[k];
                m.length = (uint16_t)std::min<uint32_t>(m.length, room);
                return m.length >= kLh5MinMatch ? m : Lh5Match{0, 0};
            }
        }
        return Lh5Match{0, 0};
    }

    // The first pass, priced by nothing: as the default parse chooses.
    void LazyParse(std::vector<Lh5Token>* tokens) const
    {
        tokens->clear();
        const uint8_t* bytes = data_ + start_;
        for (uint32_t i = 0; i < size_;) {
            Lh5Match m = Longest(i);
            bool worth = m.length > kLh5MinMatch || (m.length == kLh5MinMatch && m.distance <= kFarMinMatch);
            if (!worth || Longest(i + 1).length > m.length) {
                tokens->push_back(Lh5Literal(bytes[i++]));
                continue;
            }
            tokens->push_back(Lh5Reference(m.length, m.distance));
            i += m.length;
        }
    }

    // Shortest path through the segment: each byte is reached by a literal or
    // by a reference of any length up to the longest match at its start, at
    // the prices of the block it fell into last time.
    void PriceParse(std::vector<Lh5Token>* tokens)
    {
        cost_.assign(size_ + 1, UINT32_MAX);
        step_.resize(size_ + 1);
        cost_[0] = 0;
        const uint8_t* bytes = data_ + start_;
        const BlockPrices* prices = prices_.data();
        for (uint32_t i = 0; i < size_; ++i) {
            while (i >= prices->end)
                ++prices;
            const uint32_t here = cost_[i];
            const uint32_t literal = here + prices->symbol[bytes[i]];
            if (literal < cost_[i + 1]) {
                cost_[i + 1] = literal;
                step_[i + 1] = Lh5Match{1, 0};
            }
            const uint32_t room = size_ - i;
            uint32_t length = kLh5MinMatch;
            for (uint32_t k = firstMatch_[i]; k < firstMatch_[i + 1] && length <= room; ++k) {
                const Lh5Match m = matches_[k];
                const uint32_t base = here + prices->position[PositionSymbol(m.distance)];
                const uint32_t top = std::min<uint32_t>(m.length, room);
                for (; length <= top; ++length) {
                    const uint32_t total = base + prices->symbol[length + 253];
                    if (total < cost_[i + length]) {
                        cost_[i + length] = total;
                        step_[i + length] = Lh5Match{(uint16_t)length, m.distance};
                    }
                }
            }
        }

        tokens->clear();
        for (uint32_t i = size_; i > 0;) {
            const Lh5Match s = step_[i];
            i -= s.length;
            tokens->push_back(s.length == 1 ? Lh5Literal(bytes[i]) : Lh5Reference(s.length, s.distance));
        }
        std::reverse(tokens->begin(), tokens->end());
    }

    // Bytes the tokens take in the blocks that the sink would write, and the
    // prices of those blocks for the next pass.
    size_t Measure(const std::vector<Lh5Token>& tokens)
    {
        scratch_.clear();
        prices_.clear();
        BitWriter bits(scratch_);
        uint32_t covered = 0;
        for (size_t chunk = 0; chunk < tokens.size(); chunk += kLh5MaxBlockTokens) {
            const Lh5Token* first = tokens.data() + chunk;
            size_t count = std::min(kLh5MaxBlockTokens, tokens.size() - chunk);
            for (size_t length : SplitIntoBlocks(first, count)) {
                WriteLh5Block(first, length, bits);
                covered = AddPrices(first, length, covered);
                first += length;
            }
        }
        bits.Flush();
        return scratch_.size();
    }

    uint32_t AddPrices(const Lh5Token* tokens, size_t count, uint32_t covered)
    {
        uint32_t charFreq[kCharSymbols] = {};
        uint32_t positionFreq[kPositionSymbols] = {};
        for (size_t i = 0; i < count; ++i) {
            ++charFreq[tokens[i].symbol];
            if (tokens[i].symbol >= 256) {
                ++positionFreq[Lh5PositionSymbol(tokens[i].position)];
                covered += tokens[i].symbol - 253;
            } else {
                ++covered;
            }
        }
        uint8_t charLengths[kCharSymbols], positionLengths[kPositionSymbols];
        BuildCodeLengths(charFreq, kCharSymbols, kMaxCodeLength, charLengths);
        BuildCodeLengths(positionFreq, kPositionSymbols, kMaxCodeLength, positionLengths);
        prices_.emplace_back();
        BlockPrices& p = prices_.back();
        p.end = covered == size_ ? UINT32_MAX : covered;
        uint16_t unused = UnusedPrice(charLengths, kCharSymbols);
        for (size_t s = 0; s < kCharSymbols; ++s)
            p.symbol[s] = charFreq[s] != 0 ? charLengths[s] : unused;
        unused = UnusedPrice(positionLengths, kPositionSymbols);
        for (size_t j = 0; j < kPositionSymbols; ++j)
            p.position[j] = (uint16_t)((positionFreq[j] != 0 ? positionLengths[j] : unused) + (j >= 2 ? j - 1 : 0));
        return covered;
    }

    const uint8_t* data_;
    MatchTree tree_;
    const uint32_t start_;
    const uint32_t size_;
    std::vector<uint32_t> firstMatch_; // matches of segment byte i: [firstMatch_[i], firstMatch_[i + 1])
    std::vector<Lh5Match> matches_;
    std::vector<uint32_t> cost_;  // least bits to reach each segment byte
    std::vector<Lh5Match> step_;  // the last token of that cheapest way; length 1 for a literal
    std::vector<BlockPrices> prices_;
    std::vector<Lh5Token> tokens_, best_;
    std::vector<uint8_t> scratch_;
};

} // namespace

bool ParseOptimal(const uint8_t* data, uint32_t start, uint32_t end, TokenSink& sink)
{
    SegmentParser parser(data, start, end);
    uint32_t done = start;
    for (const Lh5Token& token : parser.Parse()) {
        done += token.symbol < 256 ? 1 : token.symbol - 253u;
        if (!sink.Add(token, done))
            return false;
    }
    return true;
}
