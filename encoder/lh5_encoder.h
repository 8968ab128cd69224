// The -lh5- packer: LZ77 over the 8 KiB window with references of 3 to 256
// bytes, coded block by block with three canonical Huffman codes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Told how many input bytes are packed so far: with a runner, on its threads,
// one call at a time.
using Lh5Progress = std::function<void(size_t done)>;

// Runs task(0) to task(count - 1), each once, on any threads in any order,
// and returns when all have returned. It may instead throw, to give up, once
// the tasks it started have returned; EncodeLh5 passes that on.
using Lh5Runner = std::function<void(size_t count, const std::function<void(size_t index)>& task)>;

// Largest input the packer takes: LHA sizes are 32-bit.
const size_t kLh5MaxInput = 0xFFFFFFFEu;

// The input is packed in segments of this many bytes (the last one shorter),
// each parsed on its own with the window primed by the 8 KiB before it and
// its last block ending at its end; their blocks follow one another bit for
// bit in the one stream. The stream is thus the same whichever threads pack
// which segments.
const size_t kLh5SegmentBytes = 1 << 19;

// Segments of an input of size bytes.
inline size_t Lh5SegmentCount(uint64_t size)
{
    return (size_t)((size + kLh5SegmentBytes - 1) / kLh5SegmentBytes);
}

// How references are chosen. Lazy looks one byte ahead and is fast. Optimal
// keeps every match of a segment and takes the parse that costs the
// fewest bits at the prices of the previous pass, a few passes over: a
// smaller stream for several times the time.
enum class Lh5Parse { Lazy, Optimal };

// Packs data[0..size) into *packed (replacing its contents), its segments
// through runner, or in turn on this thread without one. Returns false once
// the stream takes sizeLimit bytes or more (looked at after each run of
// blocks), since such a member is better stored; *packed then holds
// nothing of use. size must not exceed kLh5MaxInput.
bool EncodeLh5(const uint8_t* data, size_t size, size_t sizeLimit, std::vector<uint8_t>* packed,
               const Lh5Progress& progress = nullptr, Lh5Parse parse = Lh5Parse::Lazy,
               const Lh5Runner& runner = nullptr);
