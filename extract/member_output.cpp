#include <string.h>

#include "extract/extract_state.h"

void BuildCrcTable()
{
    uint16_t (*table)[256] = extractState.crcTable;
    for (unsigned i = 0; i < 256; ++i) {
        unsigned value = i;
        for (int bit = 0; bit < 8; ++bit)
            value = value & 1 ? (value >> 1) ^ 0xA001 : value >> 1;
        table[0][i] = (uint16_t)value;
    }
    // Row k folds a byte that k more bytes follow.
    for (unsigned row = 1; row < 8; ++row) {
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t previous = table[row - 1][i];
            table[row][i] = (uint16_t)((previous >> 8) ^ table[0][previous & 0xFF]);
        }
    }
}

void UpdateCrc16(const unsigned char* bytes, uint32_t count)
{
    const uint16_t (*table)[256] = extractState.crcTable;
    unsigned crc = extractState.crc;
    for (; count >= 8; count -= 8, bytes += 8) {
        crc ^= bytes[0] | bytes[1] << 8;
        crc = table[7][crc & 0xFF] ^ table[6][crc >> 8] ^ table[5][bytes[2]] ^ table[4][bytes[3]] ^
              table[3][bytes[4]] ^ table[2][bytes[5]] ^ table[1][bytes[6]] ^ table[0][bytes[7]];
    }
    for (; count > 0; --count, ++bytes)
        crc = table[0][(crc ^ *bytes) & 0xFF] ^ (crc >> 8);
    extractState.crc = (uint16_t)crc;
}

int CreateMemberFile(const char* name)
{
    ExtractState& s = extractState;
    size_t nameLength = strlen(name);
    if (s.prefixLength + nameLength + 1 > kPathCapacity)
        return AbortExtraction(kExtractFileError, FAILURE_PATH_TOO_LONG);
    memcpy(s.path + s.prefixLength, name, nameLength + 1);
    MemberFile file = s.sink->create(s.path, s.prefixLength);
    if (file == kNoMemberFile)
        return AbortExtraction(kExtractFileError, FAILURE_CREATE);
    s.outFile = file;
    return 0;
}

static uint32_t WriteMemberBytes(MemberFile file, const unsigned char* bytes, uint32_t count)
{
    return extractState.sink->write(file, bytes, count);
}

int FlushWindow()
{
    ExtractState& s = extractState;
    uint32_t count = (uint32_t)(s.writePos - s.window);
    if (count == 0)
        return 0;
    if (WriteMemberBytes(s.outFile, s.window, count) < count)
        return AbortExtraction(kExtractFileError, FAILURE_SHORT_WRITE);
    UpdateCrc16(s.window, count);
    s.writePos = s.window;
    return 0;
}

int CopyStoredMember()
{
    ExtractState& s = extractState;
    uint32_t count = LoadLe32(s.header + kHeaderOriginalSize);
    if (WriteMemberBytes(s.outFile, s.memberData, count) < count)
        return AbortExtraction(kExtractFileError, FAILURE_SHORT_WRITE);
    UpdateCrc16(s.memberData, count);
    return 0;
}

void SetMemberFileTime(MemberFile file, uint16_t dosDate, uint16_t dosTime)
{
    extractState.sink->setTime(file, dosDate, dosTime);
}

void CloseMemberFile(MemberFile file)
{
    extractState.sink->close(file);
}
