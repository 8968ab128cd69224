// LHA archives for the tests, byte by byte: level-0 and level-1 headers with
// any method text, sizes, time, extended headers or damage the test asks for.
#pragma once
#include <stdint.h>

#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

Bytes BytesOf(const std::string& text);

// CRC-16/ARC bit by bit, independent of the engine's tables.
uint16_t ReferenceCrc16(const Bytes& data);

// 2021-03-04 05:06:08 in MS-DOS form.
const uint16_t kTestDosDate = (41 << 9) | (3 << 5) | 4;
const uint16_t kTestDosTime = (5 << 11) | (6 << 5) | 4;

struct MemberSpec {
    std::string method = "-lh5-";  // five bytes
    std::string name;              // code page 932 bytes
    Bytes data;                    // what follows the header (and any extended headers)
    uint32_t originalSize = 0;
    uint16_t crc = 0;
    uint16_t dosDate = kTestDosDate;
    uint16_t dosTime = kTestDosTime;
    uint8_t attribute = 0x20;
    int level = 1;
    std::vector<Bytes> extended;   // level 1: each extended header's type and body, sizes added
    bool packedSizeSet = false;    // else data plus extended headers
    uint32_t packedSize = 0;
};

// The -lh5- stream of content (greedy LZ77 from lh5_writer), or a stored copy.
MemberSpec Lh5Member(const std::string& name, const Bytes& content, int level = 1);
MemberSpec StoredMember(const std::string& name, const Bytes& content, int level = 1);

Bytes MemberBytes(const MemberSpec& member);
// The members one after another and the end mark 0.
Bytes ArchiveOf(const std::vector<MemberSpec>& members, bool endMark = true);

// Deterministic test contents.
Bytes RandomBytes(size_t size, uint32_t seed);
Bytes TextBytes(size_t size, uint32_t seed);
