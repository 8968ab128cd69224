// The extraction written down plainly, step by step as it is meant to behave:
// a 16-bit bit reader that loads one byte at a time, trees with nodes stored as
// twice their number, byte-by-byte copies. No speed, no shortcuts. The fast
// engine must give the same result and the same files for every input.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

namespace reference {

struct File {
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> writes;
    bool timeSet = false;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    bool closed = false;
    bool kept = false;
};

struct Outcome {
    int result = 0;
    std::vector<File> files;
};

// Extraction into a folder named "" held in memory that takes capacity bytes
// in all, like the memory sink. Keeps its state between calls as the engine
// does, so the two must see the same inputs in the same order.
Outcome Extract(const uint8_t* archive, uint32_t size, uint64_t capacity);

} // namespace reference
