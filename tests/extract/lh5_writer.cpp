#include "lh5_writer.h"

#include <algorithm>
#include <queue>
#include <stdexcept>

void BitWriter::Put(uint32_t value, unsigned count)
{
    for (unsigned i = count; i > 0; --i) {
        accumulator_ = accumulator_ << 1 | (value >> (i - 1) & 1);
        if (++pending_ == 8) {
            bytes_.push_back((uint8_t)accumulator_);
            accumulator_ = 0;
            pending_ = 0;
        }
    }
}

void BitWriter::PutOnes(unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        Put(1, 1);
}

std::vector<uint8_t> BitWriter::Finish()
{
    if (pending_ > 0)
        Put(0, 8 - pending_);
    return bytes_;
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths)
{
    std::vector<uint32_t> codes(lengths.size(), 0);
    uint32_t code = 0;
    for (unsigned length = 1; length <= 16; ++length) {
        for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
            if (lengths[symbol] != length)
                continue;
            if (code >= 0x10000)
                throw std::logic_error("over-full code");
            codes[symbol] = code >> (16 - length);
            code += 0x10000u >> length;
        }
    }
    return codes;
}

std::vector<uint8_t> CodeLengths(const std::vector<uint32_t>& counts, unsigned maxLength)
{
    std::vector<uint32_t> weights = counts;
    for (;;) {
        struct Node {
            uint64_t weight;
            int index;
        };
        auto heavier = [](const Node& a, const Node& b) { return a.weight > b.weight; };
        std::priority_queue<Node, std::vector<Node>, decltype(heavier)> queue(heavier);
        std::vector<int> parent;
        for (size_t i = 0; i < weights.size(); ++i) {
            parent.push_back(-1);
            if (weights[i] > 0)
                queue.push({weights[i], (int)i});
        }
        std::vector<uint8_t> lengths(weights.size(), 0);
        if (queue.size() == 1) {
            lengths[queue.top().index] = 1;
            return lengths;
        }
        while (queue.size() > 1) {
            Node a = queue.top();
            queue.pop();
            Node b = queue.top();
            queue.pop();
            int joined = (int)parent.size();
            parent.push_back(-1);
            parent[a.index] = joined;
            parent[b.index] = joined;
            queue.push({a.weight + b.weight, joined});
        }
        bool fits = true;
        for (size_t i = 0; i < weights.size(); ++i) {
            if (weights[i] == 0)
                continue;
            unsigned depth = 0;
            for (int node = (int)i; parent[node] != -1; node = parent[node])
                ++depth;
            lengths[i] = (uint8_t)depth;
            fits = fits && depth <= maxLength;
        }
        if (fits)
            return lengths;
        // Flatten the counts until the tree is shallow enough.
        for (uint32_t& weight : weights)
            if (weight > 0)
                weight = weight / 2 + 1;
    }
}

static size_t TrimmedCount(const std::vector<uint8_t>& lengths)
{
    size_t count = lengths.size();
    while (count > 0 && lengths[count - 1] == 0)
        --count;
    return count;
}

void WriteSingleCode(BitWriter& out, unsigned countBits, unsigned symbol)
{
    out.Put(0, countBits);
    out.Put(symbol, countBits);
}

void WritePtLengths(BitWriter& out, const std::vector<uint8_t>& lengths, unsigned countBits,
                    bool zeroRunAfterThird)
{
    size_t count = TrimmedCount(lengths);
    out.Put((uint32_t)count, countBits);
    for (size_t i = 0; i < count;) {
        unsigned length = lengths[i++];
        if (length < 7) {
            out.Put(length, 3);
        } else {
            out.Put(7, 3);
            out.PutOnes(length - 7);
            out.Put(0, 1); // after 16 ones this is the extra bit the decoder drops
        }
        if (zeroRunAfterThird && i == 3) {
            unsigned zeros = 0;
            while (zeros < 3 && i < count && lengths[i] == 0) {
                ++zeros;
                ++i;
            }
            out.Put(zeros, 2);
        }
    }
}

// Code-length-code symbols for one char/length list: 0 one zero, 1 with 4
// bits 3-18 zeros, 2 with 9 bits 20-531 zeros, 3-18 a length of 1-16.
struct LengthSymbol {
    unsigned symbol;
    unsigned extra;
};

static std::vector<LengthSymbol> LengthSymbols(const std::vector<uint8_t>& lengths, size_t count)
{
    std::vector<LengthSymbol> symbols;
    for (size_t i = 0; i < count;) {
        if (lengths[i] != 0) {
            symbols.push_back({lengths[i] + 2u, 0});
            ++i;
            continue;
        }
        size_t run = 0;
        while (i + run < count && lengths[i + run] == 0)
            ++run;
        i += run;
        while (run > 0) {
            if (run >= 20) {
                size_t take = std::min<size_t>(run, 531);
                symbols.push_back({2, (unsigned)(take - 20)});
                run -= take;
            } else if (run >= 3) {
                size_t take = std::min<size_t>(run, 18);
                symbols.push_back({1, (unsigned)(take - 3)});
                run -= take;
            } else {
                symbols.push_back({0, 0});
                --run;
            }
        }
    }
    return symbols;
}

void WriteCharLengths(BitWriter& out, const std::vector<uint8_t>& charLengths)
{
    size_t count = TrimmedCount(charLengths);
    std::vector<LengthSymbol> symbols = LengthSymbols(charLengths, count);
    std::vector<uint32_t> counts(19, 0);
    for (const LengthSymbol& s : symbols)
        ++counts[s.symbol];
    std::vector<uint8_t> ptLengths = CodeLengths(counts, 16);
    bool single = std::count_if(counts.begin(), counts.end(), [](uint32_t c) { return c > 0; }) == 1;
    if (single)
        WriteSingleCode(out, 5, symbols[0].symbol);
    else
        WritePtLengths(out, ptLengths, 5, true);
    std::vector<uint32_t> codes = CanonicalCodes(ptLengths);

    out.Put((uint32_t)count, 9);
    for (const LengthSymbol& s : symbols) {
        if (!single)
            out.Put(codes[s.symbol], ptLengths[s.symbol]);
        if (s.symbol == 1)
            out.Put(s.extra, 4);
        else if (s.symbol == 2)
            out.Put(s.extra, 9);
    }
}

static unsigned PositionSymbol(unsigned distance, unsigned* extraBits, unsigned* extra)
{
    unsigned p = distance - 1;
    if (p < 2) {
        *extraBits = 0;
        *extra = 0;
        return p;
    }
    unsigned j = 0;
    while ((p >> j) > 1)
        ++j;
    // p lies in [2^j, 2^(j+1)): symbol j + 1 with j extra bits.
    *extraBits = j;
    *extra = p - (1u << j);
    return j + 1;
}

BlockCodes FitCodes(const std::vector<Lh5Token>& tokens)
{
    std::vector<uint32_t> charCounts(510, 0), positionCounts(14, 0);
    for (const Lh5Token& token : tokens) {
        ++charCounts[token.symbol];
        if (token.symbol >= 256) {
            unsigned bits, extra;
            ++positionCounts[PositionSymbol(token.distance, &bits, &extra)];
        }
    }
    BlockCodes codes;
    codes.charLengths = CodeLengths(charCounts, 16);
    codes.positionLengths = CodeLengths(positionCounts, 16);
    return codes;
}

static size_t UsedSymbols(const std::vector<uint8_t>& lengths, unsigned* first)
{
    size_t used = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] != 0) {
            if (used == 0)
                *first = (unsigned)i;
            ++used;
        }
    }
    return used;
}

void WriteTokens(BitWriter& out, const BlockCodes& codes, const std::vector<Lh5Token>& tokens)
{
    unsigned first = 0;
    bool singleChar = UsedSymbols(codes.charLengths, &first) == 1;
    bool singlePosition = UsedSymbols(codes.positionLengths, &first) <= 1;
    std::vector<uint32_t> charCodes = CanonicalCodes(codes.charLengths);
    std::vector<uint32_t> positionCodes = CanonicalCodes(codes.positionLengths);
    for (const Lh5Token& token : tokens) {
        if (!singleChar)
            out.Put(charCodes[token.symbol], codes.charLengths[token.symbol]);
        if (token.symbol < 256)
            continue;
        unsigned bits, extra;
        unsigned symbol = PositionSymbol(token.distance, &bits, &extra);
        if (!singlePosition)
            out.Put(positionCodes[symbol], codes.positionLengths[symbol]);
        out.Put(extra, bits);
    }
}

void WriteBlock(BitWriter& out, const std::vector<Lh5Token>& tokens)
{
    if (tokens.empty() || tokens.size() > 65536)
        throw std::logic_error("a block holds 1 to 65,536 symbols");
    BlockCodes codes = FitCodes(tokens);
    out.Put((uint32_t)(tokens.size() & 0xFFFF), 16);

    unsigned charSymbol = 0;
    if (UsedSymbols(codes.charLengths, &charSymbol) == 1) {
        // The code-length code is never used then: any valid list will do.
        WriteSingleCode(out, 5, 0);
        WriteSingleCode(out, 9, charSymbol);
    } else {
        WriteCharLengths(out, codes.charLengths);
    }
    unsigned positionSymbol = 0;
    if (UsedSymbols(codes.positionLengths, &positionSymbol) <= 1)
        WriteSingleCode(out, 4, positionSymbol);
    else
        WritePtLengths(out, codes.positionLengths, 4, false);
    WriteTokens(out, codes, tokens);
}

std::vector<Lh5Token> GreedyTokens(const std::vector<uint8_t>& data, size_t maxDistance)
{
    const size_t kHashSize = 1 << 15;
    const unsigned kMaxChain = 48;
    std::vector<int64_t> head(kHashSize, -1), previous(data.size(), -1);
    auto hashAt = [&](size_t i) { return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & (kHashSize - 1); };
    auto insert = [&](size_t i) {
        if (i + 2 < data.size()) {
            size_t h = hashAt(i);
            previous[i] = head[h];
            head[h] = (int64_t)i;
        }
    };

    std::vector<Lh5Token> tokens;
    for (size_t i = 0; i < data.size();) {
        size_t bestLength = 0, bestDistance = 0;
        if (i + 2 < data.size()) {
            unsigned chain = 0;
            for (int64_t candidate = head[hashAt(i)]; candidate >= 0 && chain < kMaxChain;
                 candidate = previous[candidate], ++chain) {
                size_t distance = i - (size_t)candidate;
                if (distance > maxDistance)
                    break;
                size_t length = 0;
                while (length < 256 && i + length < data.size() && data[candidate + length] == data[i + length])
                    ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = distance;
                }
            }
        }
        if (bestLength >= 3) {
            tokens.push_back(Lh5Token::Reference((unsigned)bestLength, (unsigned)bestDistance));
            for (size_t k = 0; k < bestLength; ++k)
                insert(i + k);
            i += bestLength;
        } else {
            tokens.push_back(Lh5Token::Literal(data[i]));
            insert(i);
            ++i;
        }
    }
    return tokens;
}

std::vector<uint8_t> CompressLh5(const std::vector<uint8_t>& data, size_t maxBlock, size_t maxDistance)
{
    std::vector<Lh5Token> tokens = GreedyTokens(data, maxDistance);
    BitWriter out;
    for (size_t start = 0; start < tokens.size(); start += maxBlock) {
        size_t end = std::min(tokens.size(), start + maxBlock);
        WriteBlock(out, std::vector<Lh5Token>(tokens.begin() + start, tokens.begin() + end));
    }
    return out.Finish();
}
