#include "extract/memory_sink.h"

static std::vector<MemoryFile> files;
static bool keepingBytes;
static uint64_t spaceLeft;

void ResetMemorySink(bool keepBytes, uint64_t capacity)
{
    files.clear();
    keepingBytes = keepBytes;
    spaceLeft = capacity;
}

const std::vector<MemoryFile>& MemorySinkFiles()
{
    return files;
}

static MemberFile MemoryCreate(const char* path, uint32_t nameOffset)
{
    MemoryFile file;
    file.path = path;
    file.name = path + nameOffset;
    files.push_back(file);
    return (MemberFile)(files.size() - 1);
}

static uint32_t MemoryWrite(MemberFile handle, const unsigned char* bytes, uint32_t count)
{
    MemoryFile& file = files[(size_t)handle];
    file.writes.push_back(count);
    uint32_t taken = spaceLeft < count ? (uint32_t)spaceLeft : count;
    spaceLeft -= taken;
    if (keepingBytes)
        file.bytes.insert(file.bytes.end(), bytes, bytes + taken);
    file.size += taken;
    return taken;
}

static void MemorySetTime(MemberFile handle, uint16_t dosDate, uint16_t dosTime)
{
    MemoryFile& file = files[(size_t)handle];
    file.timeSet = true;
    file.dosDate = dosDate;
    file.dosTime = dosTime;
}

static bool MemoryClose(MemberFile handle, bool keep)
{
    files[(size_t)handle].closed = true;
    files[(size_t)handle].kept = keep;
    return true;
}

const MemberSink memoryMemberSink = {MemoryCreate, MemoryWrite, MemorySetTime, MemoryClose, nullptr};
