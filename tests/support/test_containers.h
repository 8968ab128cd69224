// Builds installer images for tests: a stub image, the 256-byte padding, the
// magic run, the payload header and whatever archive bytes a test wants.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct Payload {
    std::string versionText = "1.10"; // up to 16 bytes, NUL-padded
    std::string message;              // empty: messageOffset 0
    int32_t memberCount = 0;
    Bytes archive = {0};              // the end mark alone
};

// Byte offsets of the header fields from the container's start.
const size_t kVersionField = 24;
const size_t kMessageOffsetField = 40;
const size_t kMemberCountField = 44;
const size_t kArchiveOffsetField = 48;
const size_t kArchiveSizeField = 52;

Bytes MagicRun();
// Magic run, header, message (if any) and archive, in that order.
Bytes ContainerBytes(const Payload& payload);
// image padded with zeros to the next 256-byte boundary, then the container.
Bytes AppendContainer(Bytes image, const Payload& payload);

void PutLe32(Bytes& bytes, size_t offset, int32_t value);
bool ReadFileBytes(const std::string& path, Bytes* bytes);
bool WriteFileBytes(const std::string& path, const Bytes& bytes);
