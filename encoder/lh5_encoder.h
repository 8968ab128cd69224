// The -lh5- packer: LZ77 over the 8 KiB window with references of 3 to 256
// bytes, coded block by block with three canonical Huffman codes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Told how many input bytes are packed so far.
using Lh5Progress = std::function<void(size_t done)>;

// Largest input the packer takes: LHA sizes are 32-bit.
const size_t kLh5MaxInput = 0xFFFFFFFEu;

// How references are chosen. Lazy looks one byte ahead and is fast. Optimal
// keeps every match of a stretch of input and takes the parse that costs the
// fewest bits at the prices of the previous pass, a few passes over: a
// smaller stream for several times the time.
enum class Lh5Parse { Lazy, Optimal };

// Packs data[0..size) into *packed (replacing its contents). Returns false
// once the stream takes sizeLimit bytes or more (looked at after each run of
// blocks), since such a member is better stored; *packed then holds a partial
// stream. size must not exceed kLh5MaxInput.
bool EncodeLh5(const uint8_t* data, size_t size, size_t sizeLimit, std::vector<uint8_t>* packed,
               const Lh5Progress& progress = nullptr, Lh5Parse parse = Lh5Parse::Lazy);
