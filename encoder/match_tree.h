// Every useful match at each position: for each length from 3 up to the
// longest, the nearest earlier occurrence within the 8 KiB window.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

struct Lh5Match {
    uint16_t length;
    uint16_t distance; // 1..8192
};

// A binary tree of the window's positions, ordered by the bytes that follow
// them, one tree per 3-byte hash; each new position becomes the root. Walking
// down from the root meets ever older positions, and the nearest occurrence of
// every prefix length lies on the way, so one descent yields all matches.
class MatchTree {
public:
    MatchTree(const uint8_t* data, uint32_t size);

    // Appends the matches at pos to *out in rising length (and distance), each
    // longer than the one before, then adds pos to the tree. Returns how many.
    // Positions are given in order, each once, through this or Skip.
    size_t FindAndInsert(uint32_t pos, std::vector<Lh5Match>* out) { return Descend(pos, out); }

    // Adds pos to the tree without collecting its matches.
    void Skip(uint32_t pos) { Descend(pos, nullptr); }

private:
    size_t Descend(uint32_t pos, std::vector<Lh5Match>* out);

    const uint8_t* data_;
    uint32_t size_;
    std::vector<uint32_t> head_;     // the root for each hash
    std::vector<uint32_t> children_; // smaller and larger subtree of each position, by slot
};
