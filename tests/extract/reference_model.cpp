#include "reference_model.h"

#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace reference {

namespace {

const uint32_t kWindow = 262144;

struct Abort {
    int code;
};

struct State {
    uint8_t window[kWindow];
    uint32_t writePos;
    uint16_t bitBuf;
    uint8_t subBitBuf;
    uint8_t bitCount;
    uint8_t ptLen[128];
    uint8_t cLen[510];
    uint16_t ptTable[256];
    uint16_t cTable[4096];
    uint16_t oneChild[1020];
    uint16_t zeroChild[1020];
    uint16_t blockSize;
    uint16_t crc;
    uint16_t expectedCrc;
    int outFile; // index into the outcome's files, or -1
    uint32_t memberData;
    uint8_t header[104];
    uint32_t archivePos;
    const uint8_t* archive;
    uint32_t archiveSize;
    uint64_t spaceLeft;
    Outcome* outcome;
} m;

uint32_t Field16(const uint8_t* p)
{
    return p[0] + 256u * p[1];
}

uint32_t Field32(const uint8_t* p)
{
    return Field16(p) + 65536u * Field16(p + 2);
}

// The name rules as Windows needs them, name by its parts: no absolute path,
// drive, stream or parent step, which could leave the folder; nothing Windows
// cannot create: no empty name or last part, no part made of dots and spaces
// alone at the end, no <>"|?* or control character, no device (CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM1 to COM9, LPT1 to LPT9, in any case, spaces
// before an extension ignored) as any part. A code page 932 lead byte takes
// the byte after it into its character, whatever that is.
bool NameAccepted(const char* name)
{
    std::vector<std::string> parts(1);
    for (const unsigned char* p = (const unsigned char*)name; *p != 0; ++p) {
        bool lead = (*p >= 0x81 && *p <= 0x9F) || (*p >= 0xE0 && *p <= 0xFC);
        if (lead && p[1] != 0) {
            parts.back() += "\x01\x01"; // a character that is none of those tested below
            ++p;
        } else if (*p == '\\' || *p == '/') {
            parts.emplace_back();
        } else if (*p == ':' || *p < 0x20 || strchr("<>\"|?*", *p) != nullptr) {
            return false;
        } else {
            parts.back() += (char)*p;
        }
    }
    if (parts.size() > 1 && parts.front().empty())
        return false;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        bool blank = part.find_first_not_of(". ") == std::string::npos;
        if (blank && (std::count(part.begin(), part.end(), '.') >= 2 || i == parts.size() - 1))
            return false;
        std::string stem = part.substr(0, part.find('.'));
        stem.erase(stem.find_last_not_of(' ') + 1);
        for (char& c : stem)
            c = (char)toupper((unsigned char)c);
        static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
        for (const char* device : kDevices)
            if (stem == device)
                return false;
        if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '1' &&
            stem[3] <= '9')
            return false;
    }
    return true;
}

uint8_t ArchiveByte(uint32_t at)
{
    return at < m.archiveSize ? m.archive[at] : 0;
}

void Fail(int code)
{
    if (m.outFile >= 0) {
        m.outcome->files[m.outFile].closed = true;
        m.outFile = -1;
    }
    throw Abort{code};
}

void FillBits(unsigned n)
{
    while (n > m.bitCount) {
        n -= m.bitCount;
        m.bitBuf = (uint16_t)((m.bitBuf << m.bitCount) | (m.subBitBuf >> (8 - m.bitCount)));
        m.subBitBuf = ArchiveByte(m.memberData++);
        m.bitCount = 8;
    }
    m.bitBuf = (uint16_t)((m.bitBuf << n) | (m.subBitBuf >> (8 - n)));
    m.subBitBuf = (uint8_t)(m.subBitBuf << n);
    m.bitCount = (uint8_t)(m.bitCount - n);
}

unsigned GetBits(unsigned n)
{
    unsigned value = m.bitBuf >> (16 - n);
    FillBits(n);
    return value;
}

void UpdateCrc(const uint8_t* bytes, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        m.crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            m.crc = m.crc & 1 ? (uint16_t)((m.crc >> 1) ^ 0xA001) : (uint16_t)(m.crc >> 1);
    }
}

uint32_t Write(const uint8_t* bytes, uint32_t count)
{
    File& file = m.outcome->files[m.outFile];
    file.writes.push_back(count);
    uint32_t taken = m.spaceLeft < count ? (uint32_t)m.spaceLeft : count;
    m.spaceLeft -= taken;
    file.bytes.insert(file.bytes.end(), bytes, bytes + taken);
    return taken;
}

// The bits taken from the stream so far, counted from the archive's start,
// reach past its end: the reader holds 16 bits in bitBuf and bitCount more.
void FailIfConsumedPastEnd()
{
    if ((int64_t)m.memberData * 8 - 16 - m.bitCount > (int64_t)m.archiveSize * 8)
        Fail(-2);
}

void FlushWindow()
{
    uint32_t count = m.writePos;
    if (count == 0)
        return;
    if (Write(m.window, count) < count)
        Fail(-1);
    UpdateCrc(m.window, count);
    m.writePos = 0;
}

void MakeTable(unsigned symbols, const uint8_t* lengths, unsigned width, uint16_t* table)
{
    for (unsigned i = 0; i < 1u << width; ++i)
        table[i] = 0;
    unsigned available = symbols;
    uint32_t code = 0;
    uint32_t weight = 0x8000;
    for (unsigned length = 1; length <= 16; ++length, weight >>= 1) {
        for (unsigned symbol = 0; symbol < symbols; ++symbol) {
            if (lengths[symbol] != length)
                continue;
            if (length <= width) {
                for (unsigned i = 0; i < 1u << (width - length); ++i)
                    table[(code >> (16 - width)) + i] = (uint16_t)symbol;
            } else {
                uint16_t* slot = &table[code >> (16 - width)];
                for (unsigned i = 0; i < length - width; ++i) {
                    if (*slot == 0) {
                        m.oneChild[available] = 0;
                        m.zeroChild[available] = 0;
                        *slot = (uint16_t)(2 * available);
                        ++available;
                    }
                    unsigned node = *slot / 2;
                    slot = (code >> (15 - width - i)) & 1 ? &m.oneChild[node] : &m.zeroChild[node];
                }
                *slot = (uint16_t)symbol;
            }
            code += weight;
            if (code == 0x10000)
                return;
        }
    }
}

void ReadPtLengths(unsigned symbols, unsigned countBits, int special)
{
    unsigned count = GetBits(countBits);
    if (count > symbols)
        Fail(-2);
    if (count == 0) {
        for (unsigned i = 0; i < symbols; ++i)
            m.ptLen[i] = 0;
        unsigned value = GetBits(countBits);
        if (value >= symbols)
            Fail(-2);
        for (unsigned i = 0; i < 256; ++i)
            m.ptTable[i] = (uint16_t)value;
        return;
    }
    unsigned i = 0;
    while (i < count) {
        unsigned length = GetBits(3);
        if (length == 7) {
            unsigned ones = 0;
            uint16_t mask = 0x8000;
            while (ones < 16 && (m.bitBuf & mask)) {
                ++ones;
                mask >>= 1;
            }
            FillBits(ones + 1);
            length += ones;
        }
        m.ptLen[i++] = (uint8_t)length;
        if ((int)i == special) {
            unsigned zeros = GetBits(2);
            while (zeros-- > 0)
                m.ptLen[i++] = 0;
        }
    }
    while (i < symbols)
        m.ptLen[i++] = 0;
    MakeTable(symbols, m.ptLen, 8, m.ptTable);
}

void ReadCharLengths()
{
    unsigned count = GetBits(9);
    if (count > 510)
        Fail(-2);
    if (count == 0) {
        for (unsigned i = 0; i < 510; ++i)
            m.cLen[i] = 0;
        unsigned value = GetBits(9);
        if (value >= 510)
            Fail(-2);
        for (unsigned i = 0; i < 4096; ++i)
            m.cTable[i] = (uint16_t)value;
        return;
    }
    unsigned i = 0;
    while (i < count) {
        unsigned symbol = m.ptTable[m.bitBuf >> 8];
        unsigned mask = 1u << 7;
        while (symbol >= 19) {
            symbol = (m.bitBuf & mask) ? m.oneChild[symbol / 2] : m.zeroChild[symbol / 2];
            mask >>= 1;
        }
        FillBits(m.ptLen[symbol]);
        if (symbol <= 2) {
            unsigned zeros = symbol == 0 ? 1 : symbol == 1 ? GetBits(4) + 3 : GetBits(9) + 20;
            while (zeros-- > 0 && i < 510)
                m.cLen[i++] = 0;
        } else {
            m.cLen[i++] = (uint8_t)(symbol - 2);
        }
    }
    while (i < 510)
        m.cLen[i++] = 0;
    MakeTable(510, m.cLen, 12, m.cTable);
}

void ReadBlockHeader()
{
    m.blockSize = (uint16_t)(GetBits(16) - 1);
    ReadPtLengths(19, 5, 3);
    ReadCharLengths();
    ReadPtLengths(14, 4, -1);
    FailIfConsumedPastEnd();
}

unsigned DecodeChar()
{
    if (m.blockSize == 0)
        ReadBlockHeader();
    else
        --m.blockSize;
    unsigned symbol = m.cTable[m.bitBuf >> 4];
    unsigned mask = 1u << 3;
    while (symbol >= 510) {
        symbol = (m.bitBuf & mask) ? m.oneChild[symbol / 2] : m.zeroChild[symbol / 2];
        mask >>= 1;
    }
    FillBits(m.cLen[symbol]);
    return symbol;
}

unsigned DecodePosition()
{
    unsigned symbol = m.ptTable[m.bitBuf >> 8];
    unsigned mask = 1u << 7;
    while (symbol >= 14) {
        symbol = (m.bitBuf & mask) ? m.oneChild[symbol / 2] : m.zeroChild[symbol / 2];
        mask >>= 1;
    }
    FillBits(m.ptLen[symbol]);
    if (symbol >= 2)
        symbol = (1u << (symbol - 1)) + GetBits(symbol - 1);
    return symbol;
}

void DecodeMember()
{
    m.blockSize = 0;
    m.bitBuf = 0;
    m.subBitBuf = 0;
    m.bitCount = 0;
    FillBits(16);
    m.writePos = 0;
    uint32_t remaining = Field32(m.header + 11);
    // The count lives in the header copy, also when a failure stops the member.
    struct Store {
        uint32_t& remaining;
        ~Store()
        {
            for (int i = 0; i < 4; ++i)
                m.header[11 + i] = (uint8_t)(remaining >> 8 * i);
        }
    } store{remaining};
    while (remaining > 0) {
        unsigned symbol = DecodeChar();
        if (symbol < 256) {
            m.window[m.writePos++] = (uint8_t)symbol;
            --remaining;
            if (m.writePos == kWindow) {
                FailIfConsumedPastEnd();
                FlushWindow();
            }
            continue;
        }
        unsigned length = symbol - 253;
        unsigned position = DecodePosition();
        int64_t source = (int64_t)m.writePos - position - 1;
        if (source < 0)
            source += kWindow;
        uint32_t from = (uint32_t)source;
        for (unsigned k = 0; k < length; ++k) {
            m.window[m.writePos++] = m.window[from++];
            if (m.writePos == kWindow) {
                FailIfConsumedPastEnd();
                FlushWindow();
            }
            if (from == kWindow)
                from = 0;
        }
        remaining = length >= remaining ? 0 : remaining - length;
    }
    FailIfConsumedPastEnd();
    FlushWindow();
}

uint32_t ReadArchiveBytes(uint8_t* destination, uint32_t count)
{
    uint32_t i = 0;
    for (; i < count && m.archivePos < m.archiveSize; ++i)
        destination[i] = m.archive[m.archivePos++];
    return i;
}

int Walk()
{
    uint32_t members = 0;
    for (;;) {
        m.header[0] = 0;
        ReadArchiveBytes(m.header, 1);
        unsigned size = m.header[0];
        if (size == 0)
            return (int)members;
        if (size > 102)
            Fail(-2);
        if (ReadArchiveBytes(m.header + 1, size + 1) < size + 1)
            Fail(-2);
        uint8_t sum = m.header[1];
        for (unsigned i = 2; i <= size + 1; ++i)
            sum = (uint8_t)(sum - m.header[i]);
        if (sum != 0)
            Fail(-2);
        bool stored;
        if (m.header[2] != '-' || m.header[3] != 'l')
            Fail(-2);
        if (m.header[4] == 'h' && m.header[5] == '0')
            stored = true;
        else if (m.header[4] == 'h' && m.header[5] == '4')
            stored = false;
        else if (m.header[4] == 'h' && m.header[5] == '5' && m.header[6] == '-')
            stored = false;
        else
            Fail(-2);
        unsigned nameLength = m.header[21];
        if (nameLength > 80 || 24 + nameLength > size + 2)
            Fail(-2);
        if (m.header[20] == 1 && 27 + nameLength > size + 2)
            Fail(-2);
        m.expectedCrc = Field16(m.header + 22 + nameLength);
        m.header[22 + nameLength] = 0;
        m.header[23 + nameLength] = 0;

        uint32_t extended = 0;
        if (m.header[20] == 1) {
            uint32_t next = Field16(m.header + size);
            while (next != 0) {
                if (next < 3 || m.archiveSize - m.archivePos < next)
                    Fail(-2);
                m.archivePos += next;
                extended += next;
                next = Field16(m.archive + m.archivePos - 2);
            }
        }
        uint32_t dataLength;
        if (stored) {
            dataLength = Field32(m.header + 11);
        } else {
            uint32_t packed = Field32(m.header + 7);
            if (packed < extended)
                Fail(-2);
            dataLength = packed - extended;
        }
        const char* name = (const char*)m.header + 22;
        if (!NameAccepted(name))
            Fail(-2);

        ++members;
        File file;
        file.name = name;
        m.outcome->files.push_back(file);
        m.outFile = (int)m.outcome->files.size() - 1;
        m.crc = 0;
        if (m.archiveSize - m.archivePos < dataLength) {
            m.archivePos = m.archiveSize;
            Fail(-2);
        }
        m.memberData = m.archivePos;
        m.archivePos += dataLength;
        if (stored) {
            // Written a window's worth at a time, so an empty member writes nothing.
            uint32_t count = Field32(m.header + 11);
            for (uint32_t done = 0, piece; done < count; done += piece) {
                piece = std::min(count - done, kWindow);
                if (Write(m.archive + m.memberData + done, piece) < piece)
                    Fail(-1);
                UpdateCrc(m.archive + m.memberData + done, piece);
            }
        } else {
            DecodeMember();
        }
        if (m.crc != m.expectedCrc)
            Fail(-2);
        File& done = m.outcome->files[m.outFile];
        done.timeSet = true;
        done.dosTime = Field16(m.header + 15);
        done.dosDate = Field16(m.header + 17);
        done.closed = true;
        done.kept = true;
        m.outFile = -1;
    }
}

} // namespace

Outcome Extract(const uint8_t* archive, uint32_t size, uint64_t capacity)
{
    Outcome outcome;
    m.archive = archive;
    m.archiveSize = size;
    m.archivePos = 0;
    m.outFile = -1;
    m.spaceLeft = capacity;
    m.outcome = &outcome;
    try {
        outcome.result = Walk();
    } catch (const Abort& abort) {
        outcome.result = abort.code;
    }
    return outcome;
}

} // namespace reference
