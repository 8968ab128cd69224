#include "encoder/match_tree.h"

#include <algorithm>
#include <cstring>

#include "encoder/common_length.h"
#include "encoder/lh5_block_writer.h"

namespace {

const int kHashBits = 14;
const uint32_t kNone = 0xFFFFFFFFu;
// Twice the window: the slot that a new position takes is then never one
// still in reach (a distance of exactly 8192 is).
const uint32_t kSlots = 2 * kLh5WindowSize;
// Nodes looked at per position; deeper ones are rarely nearer matches.
const int kMaxDepth = 48;

} // namespace

MatchTree::MatchTree(const uint8_t* data, uint32_t size)
    : data_(data), size_(size), head_(1u << kHashBits, kNone), children_(2 * kSlots, kNone)
{
}

size_t MatchTree::Descend(uint32_t pos, std::vector<Lh5Match>* out)
{
    const uint32_t limit = std::min(kLh5MaxMatch, size_ - pos);
    if (limit < kLh5MinMatch)
        return 0;
    const uint8_t* here = data_ + pos;
    const uint32_t key = (uint32_t)here[0] << 16 | (uint32_t)here[1] << 8 | here[2];
    uint32_t& root = head_[(key * 2654435761u) >> (32 - kHashBits)];
    uint32_t node = root;
    root = pos;

    // pos splits the old tree in two: nodes before it in byte order hang, in
    // the order met, to the right of one another below pos's smaller link;
    // nodes after it to the left below its larger link. Each side's common
    // prefix with pos is known to be at least what the last node it took had.
    uint32_t* smallerLink = &children_[2 * (pos % kSlots)];
    uint32_t* largerLink = smallerLink + 1;
    uint32_t smallerLength = 0, largerLength = 0;
    uint32_t longest = kLh5MinMatch - 1;
    size_t found = 0;
    for (int depth = kMaxDepth;; --depth) {
        if (node == kNone || pos - node > kLh5WindowSize || depth == 0) {
            *smallerLink = *largerLink = kNone;
            break;
        }
        const uint8_t* there = data_ + node;
        uint32_t length = CommonLength(there, here, std::min(smallerLength, largerLength), limit);
        if (out != nullptr && length > longest) {
            longest = length;
            out->push_back(Lh5Match{(uint16_t)length, (uint16_t)(pos - node)});
            ++found;
        }
        uint32_t* links = &children_[2 * (node % kSlots)];
        if (length == limit) {
            // Alike as far as pos can see: pos takes node's place.
            *smallerLink = links[0];
            *largerLink = links[1];
            break;
        }
        if (there[length] < here[length]) {
            *smallerLink = node;
            smallerLink = &links[1];
            smallerLength = length;
            node = links[1];
        } else {
            *largerLink = node;
            largerLink = &links[0];
            largerLength = length;
            node = links[0];
        }
    }
    return found;
}
