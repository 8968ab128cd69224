// Runs the engine into the memory sink and hands back what it made.
#pragma once
#include <stdint.h>

#include <vector>

#include "archive_builder.h"
#include "extract/extract.h"
#include "extract/memory_sink.h"

struct MemoryRun {
    int result;
    std::vector<MemoryFile> files;
};

inline MemoryRun ExtractInMemory(const Bytes& archive, uint64_t capacity = UINT64_MAX, const char* folder = "dest")
{
    ResetMemorySink(true, capacity);
    int result = ExtractArchive(folder, archive.data(), (uint32_t)archive.size(), &memoryMemberSink);
    return {result, MemorySinkFiles()};
}

inline Bytes FileBytes(const MemoryFile& file)
{
    return Bytes(file.bytes.begin(), file.bytes.end());
}
