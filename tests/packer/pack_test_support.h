// What the packer's tests share: generated contents, decoding through the
// extraction engine, temporary folders, files, and running programs.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "packer/pack/container_writer.h"

using Bytes = std::vector<uint8_t>;

Bytes BytesOf(const std::string& text);

// Deterministic contents of the kinds an installer carries.
Bytes RandomBytes(size_t size, uint32_t seed);
Bytes TextBytes(size_t size, uint32_t seed);   // words, Japanese among them, and line breaks
Bytes BinaryBytes(size_t size, uint32_t seed); // tables, small integers, repeated records
Bytes RunBytes(size_t size, uint32_t seed);    // long runs of few byte values

// Random bytes over three segments of the encoder and one byte more, but for
// a 4,000-byte repeat whose copy straddles the first segment edge and a run
// through the second: references that reach back across the edges. Without
// the repeat, random bytes take the copy's place.
Bytes SegmentEdgeBytes(uint32_t seed, bool repeat = true);

struct CorpusItem {
    std::string name;
    Bytes bytes;
};
// Empty, 1 byte, 262,144 bytes, large text, binary, random, long runs,
// segment edges.
std::vector<CorpusItem> GeneratedCorpus();

// A one-member archive around an -lh5- stream, header built field by field.
Bytes Lh5Archive(const Bytes& stream, const Bytes& original);

// An installer image whose archive has been appended, finished as build
// finishes its file: the payload header in its room, the message behind.
void FinishImage(InstallerImage& image, const std::string& versionText, const std::string& message,
                 int32_t memberCount);

// The engine's output for an archive: its result and the members in memory.
struct Decoded {
    int result;
    std::vector<std::string> names;
    std::vector<Bytes> contents;
};
Decoded DecodeWithEngine(const uint8_t* archive, size_t size);
// Decodes one -lh5- stream of the given original; empty result on failure.
bool DecodeStream(const Bytes& stream, const Bytes& original, Bytes* out);

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
bool Exists(const std::string& path);
// Names in a folder, without "." and "..", sorted.
std::vector<std::string> Listing(const std::string& folder);

struct RunResult {
    int exitCode; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};
// Runs a program with arguments (no shell), in folder if one is given.
RunResult RunProgram(const std::vector<std::string>& argv, const std::string& folder = "");
bool HaveProgram(const std::string& name);

std::string MorluPack();       // the built morlu-pack
std::string ShippingStub();    // build/win32/setup-stub.exe, "" when not built
Bytes FakeStub(size_t size);   // "MZ" and filler, for tests that need no real program
