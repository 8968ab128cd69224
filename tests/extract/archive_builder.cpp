#include "archive_builder.h"

#include <stdexcept>

#include "lh5_writer.h"

Bytes BytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

uint16_t ReferenceCrc16(const Bytes& data)
{
    uint16_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

MemberSpec Lh5Member(const std::string& name, const Bytes& content, int level)
{
    MemberSpec member;
    member.name = name;
    member.data = CompressLh5(content);
    member.originalSize = (uint32_t)content.size();
    member.crc = ReferenceCrc16(content);
    member.level = level;
    return member;
}

MemberSpec StoredMember(const std::string& name, const Bytes& content, int level)
{
    MemberSpec member;
    member.method = "-lh0-";
    member.name = name;
    member.level = level;
    member.data = content;
    member.originalSize = (uint32_t)content.size();
    member.crc = ReferenceCrc16(content);
    return member;
}

static void PutLe(Bytes& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back((uint8_t)(value >> 8 * i));
}

Bytes MemberBytes(const MemberSpec& member)
{
    if (member.method.size() != 5)
        throw std::logic_error("method text is five bytes");
    Bytes extended;
    std::vector<uint32_t> sizes;
    for (const Bytes& body : member.extended)
        sizes.push_back((uint32_t)body.size() + 2);
    for (size_t i = 0; i < member.extended.size(); ++i) {
        extended.insert(extended.end(), member.extended[i].begin(), member.extended[i].end());
        PutLe(extended, i + 1 < sizes.size() ? sizes[i + 1] : 0, 2);
    }

    Bytes header = {0, 0};
    header.insert(header.end(), member.method.begin(), member.method.end());
    uint32_t packed = member.packedSizeSet ? member.packedSize : (uint32_t)(member.data.size() + extended.size());
    PutLe(header, packed, 4);
    PutLe(header, member.originalSize, 4);
    PutLe(header, member.dosTime, 2);
    PutLe(header, member.dosDate, 2);
    header.push_back(member.attribute);
    header.push_back((uint8_t)member.level);
    header.push_back((uint8_t)member.name.size());
    header.insert(header.end(), member.name.begin(), member.name.end());
    PutLe(header, member.crc, 2);
    if (member.level == 1) {
        header.push_back('M');
        PutLe(header, sizes.empty() ? 0 : sizes[0], 2);
    }
    if (header.size() - 2 > 255)
        throw std::logic_error("header too long for its size byte");
    header[0] = (uint8_t)(header.size() - 2);
    uint8_t sum = 0;
    for (size_t i = 2; i < header.size(); ++i)
        sum = (uint8_t)(sum + header[i]);
    header[1] = sum;

    header.insert(header.end(), extended.begin(), extended.end());
    header.insert(header.end(), member.data.begin(), member.data.end());
    return header;
}

Bytes ArchiveOf(const std::vector<MemberSpec>& members, bool endMark)
{
    Bytes archive;
    for (const MemberSpec& member : members) {
        Bytes bytes = MemberBytes(member);
        archive.insert(archive.end(), bytes.begin(), bytes.end());
    }
    if (endMark)
        archive.push_back(0);
    return archive;
}

static uint32_t NextRandom(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

Bytes RandomBytes(size_t size, uint32_t seed)
{
    uint32_t state = seed * 2654435761u + 1;
    Bytes bytes(size);
    for (uint8_t& byte : bytes)
        byte = (uint8_t)(NextRandom(state) >> 7);
    return bytes;
}

Bytes TextBytes(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {
        "the", "installer", "extracts", "members", "of", "an", "archive", "into", "a", "work", "folder", "and",
        "checks", "each", "CRC", "before", "it", "starts", "program", "window", "shortcut", "release", "notes",
        "with", "Morlu", "version", "file", "data", "block", "code", "length", "distance", "literal", "table"};
    uint32_t state = seed * 2246822519u + 7;
    std::string text;
    while (text.size() < size) {
        text += kWords[NextRandom(state) % (sizeof kWords / sizeof kWords[0])];
        uint32_t r = NextRandom(state) % 16;
        text += r == 0 ? ".\r\n" : r == 1 ? ", " : " ";
    }
    text.resize(size);
    return BytesOf(text);
}
