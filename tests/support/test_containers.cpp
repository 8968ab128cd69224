#include "test_containers.h"

#include <stdio.h>
#include <string.h>

#include "container/payload_container.h"

Bytes MagicRun()
{
    Bytes run;
    for (uint32_t i = 0; i < kMagicRepeats; ++i)
        run.insert(run.end(), kMagicText, kMagicText + kMagicTextLength);
    return run;
}

void PutLe32(Bytes& bytes, size_t offset, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = (unsigned char)((uint32_t)value >> (8 * i));
}

Bytes ContainerBytes(const Payload& payload)
{
    Bytes container = MagicRun();
    container.resize(kMagicRunLength + sizeof(PayloadHeader), 0);
    memcpy(&container[kVersionField], payload.versionText.data(),
           payload.versionText.size() < 16 ? payload.versionText.size() : 16);
    int32_t next = sizeof(PayloadHeader);
    if (!payload.message.empty()) {
        PutLe32(container, kMessageOffsetField, next);
        container.insert(container.end(), payload.message.begin(), payload.message.end());
        container.push_back(0);
        next += (int32_t)payload.message.size() + 1;
    }
    PutLe32(container, kMemberCountField, payload.memberCount);
    PutLe32(container, kArchiveOffsetField, next);
    PutLe32(container, kArchiveSizeField, (int32_t)payload.archive.size());
    container.insert(container.end(), payload.archive.begin(), payload.archive.end());
    return container;
}

Bytes AppendContainer(Bytes image, const Payload& payload)
{
    image.resize((image.size() + kContainerAlignment - 1) / kContainerAlignment * kContainerAlignment, 0);
    Bytes container = ContainerBytes(payload);
    image.insert(image.end(), container.begin(), container.end());
    return image;
}

bool ReadFileBytes(const std::string& path, Bytes* bytes)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes->clear();
    unsigned char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->insert(bytes->end(), chunk, chunk + got);
    fclose(file);
    return true;
}

bool WriteFileBytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}
