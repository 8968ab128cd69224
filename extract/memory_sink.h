// Member files kept in memory, for `morlu-pack test`, the engine's tests and
// the fuzzers. Not part of the installer.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

#include "extract/member_sink.h"

struct MemoryFile {
    std::string path;                 // as the engine formed it
    std::string name;                 // the member name inside path
    std::vector<unsigned char> bytes; // only when the sink keeps them
    uint64_t size = 0;                // bytes written
    std::vector<uint32_t> writes;     // the count of every write asked for
    bool timeSet = false;
    uint16_t dosDate = 0;
    uint16_t dosTime = 0;
    bool closed = false;
    bool kept = false; // closed as complete and matching its CRC-16
};

extern const MemberSink memoryMemberSink;

// Forgets every file. Without keepBytes only sizes are counted. The memory
// takes capacity bytes in all; writes after that come up short, as on a full disk.
void ResetMemorySink(bool keepBytes, uint64_t capacity = UINT64_MAX);

// Every create adds a file, also one of a name created before.
const std::vector<MemoryFile>& MemorySinkFiles();
