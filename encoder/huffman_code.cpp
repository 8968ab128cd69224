#include "encoder/huffman_code.h"

#include <algorithm>
#include <vector>

void BuildCodeLengths(const uint32_t* freq, size_t count, int maxLength, uint8_t* lengths)
{
    std::fill(lengths, lengths + count, 0);
    std::vector<uint32_t> order; // used symbols, rarest first
    for (uint32_t s = 0; s < count; ++s) {
        if (freq[s] != 0)
            order.push_back(s);
    }
    if (order.size() < 2)
        return;
    std::stable_sort(order.begin(), order.end(), [freq](uint32_t a, uint32_t b) { return freq[a] < freq[b]; });

    // Two-queue construction: the sorted leaves and the merged nodes, which are
    // made in non-decreasing weight, so the two lightest are always at a front.
    const size_t leaves = order.size();
    const size_t nodes = 2 * leaves - 1;
    std::vector<uint64_t> weight(nodes);
    std::vector<size_t> parent(nodes);
    for (size_t i = 0; i < leaves; ++i)
        weight[i] = freq[order[i]];
    size_t nextLeaf = 0, nextMerged = leaves;
    for (size_t made = leaves; made < nodes; ++made) {
        size_t pair[2];
        for (size_t& pick : pair) {
            bool leafFirst = nextLeaf < leaves && (nextMerged >= made || weight[nextLeaf] <= weight[nextMerged]);
            pick = leafFirst ? nextLeaf++ : nextMerged++;
        }
        weight[made] = weight[pair[0]] + weight[pair[1]];
        parent[pair[0]] = parent[pair[1]] = made;
    }

    // Depths from the root down; deeper leaves than allowed are first put at
    // maxLength, which over-fills the code space.
    std::vector<int> depth(nodes, 0);
    std::vector<uint32_t> perLength(maxLength + 1, 0);
    for (size_t i = nodes - 1; i-- > 0;)
        depth[i] = depth[parent[i]] + 1;
    for (size_t i = 0; i < leaves; ++i)
        ++perLength[std::min(depth[i], maxLength)];

    // Code space in units of one maxLength-bit code. Each step takes a leaf from
    // the deepest level and hangs it, with a leaf from a shallower level, one
    // level below that one: one unit less, until the code is exactly complete.
    uint64_t space = 0;
    for (int len = 1; len <= maxLength; ++len)
        space += (uint64_t)perLength[len] << (maxLength - len);
    while (space > (uint64_t)1 << maxLength) {
        --perLength[maxLength];
        int len = maxLength - 1;
        while (perLength[len] == 0)
            --len;
        --perLength[len];
        perLength[len + 1] += 2;
        --space;
    }

    // Rarest symbols get the longest codes.
    size_t next = 0;
    for (int len = maxLength; len >= 1; --len) {
        for (uint32_t k = 0; k < perLength[len]; ++k)
            lengths[order[next++]] = (uint8_t)len;
    }
}

void AssignCanonicalCodes(const uint8_t* lengths, size_t count, uint16_t* codes)
{
    uint32_t code = 0; // the next code, left-aligned in 16 bits
    for (int len = 1; len <= 16; ++len) {
        for (size_t s = 0; s < count; ++s) {
            if (lengths[s] != len)
                continue;
            codes[s] = (uint16_t)(code >> (16 - len));
            code += 1u << (16 - len);
        }
    }
    for (size_t s = 0; s < count; ++s) {
        if (lengths[s] == 0)
            codes[s] = 0;
    }
}
