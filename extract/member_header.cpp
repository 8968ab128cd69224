#include "extract/member_header.h"

#include <string.h>

#include "bytes/cp932_chars.h"

bool HeaderChecksumMatches(const unsigned char* header)
{
    unsigned char rest = header[kHeaderChecksum];
    for (unsigned i = 2; i <= (unsigned)header[0] + 1; ++i)
        rest = (unsigned char)(rest - header[i]);
    return rest == 0;
}

MemberMethod ClassifyMethod(const unsigned char* header)
{
    const unsigned char* id = header + kHeaderMethod;
    if (id[0] != '-' || id[1] != 'l' || id[2] != 'h')
        return METHOD_REFUSED;
    if (id[3] == '0')
        return METHOD_STORED;
    if (id[3] == '4' || (id[3] == '5' && id[4] == '-'))
        return METHOD_COMPRESSED;
    return METHOD_REFUSED;
}

// Bytes of a level-1 header besides the name: the level-0 fields, the OS byte
// and the first extended size.
const unsigned kLevel1FixedBytes = kHeaderName + 5;

ExtractFailure CheckMemberHeader(const unsigned char* header, MemberMethod* method)
{
    if (header[0] > kMaxHeaderSize)
        return FAILURE_HEADER_TOO_LARGE;
    if (!HeaderChecksumMatches(header))
        return FAILURE_HEADER_CHECKSUM;
    *method = ClassifyMethod(header);
    if (*method == METHOD_REFUSED)
        return FAILURE_METHOD;
    // Name and CRC past the header's own bytes would be taken from whatever
    // follows it: the member's data.
    unsigned nameLength = header[kHeaderNameLength];
    unsigned headerBytes = header[0] + 2u;
    if (nameLength > kMaxNameLength || kHeaderName + nameLength + 2 > headerBytes)
        return FAILURE_NAME_TOO_LONG;
    if (header[kHeaderLevel] == 1 && kLevel1FixedBytes + nameLength > headerBytes)
        return FAILURE_EXTENDED_HEADER;
    return FAILURE_NONE;
}

ExtractFailure CopyMemberHeader(const unsigned char* at, const unsigned char* end, unsigned char* header,
                                MemberMethod* method)
{
    header[0] = at[0];
    if (header[0] > kMaxHeaderSize)
        return FAILURE_HEADER_TOO_LARGE;
    // The bytes a cut header lacks would come from an earlier member's header.
    uint32_t wanted = header[0] + 1u;
    uint32_t available = (uint32_t)(end - at - 1);
    memcpy(header + 1, at + 1, available < wanted ? available : wanted);
    if (available < wanted)
        return FAILURE_HEADER_TRUNCATED;
    return CheckMemberHeader(header, method);
}

// Each extended header ends in the size of the next; the base header's last
// two bytes give the size of the first.
static bool MeasureExtendedHeaders(const unsigned char* header, const unsigned char* next, const unsigned char* end,
                                   uint32_t* length)
{
    *length = 0;
    if (header[kHeaderLevel] != 1)
        return true;
    uint32_t size = LoadLe16(header + header[0]);
    while (size != 0) {
        // The smallest extended header is its type byte and the next size.
        if (size < 3 || (uint32_t)(end - next) < size)
            return false;
        *length += size;
        next += size;
        size = LoadLe16(next - 2);
    }
    return true;
}

ExtractFailure MeasureMemberData(const unsigned char* header, MemberMethod method, const unsigned char* next,
                                 const unsigned char* end, uint32_t* extendedLength, uint32_t* dataLength)
{
    if (!MeasureExtendedHeaders(header, next, end, extendedLength))
        return FAILURE_EXTENDED_HEADER;
    if (method == METHOD_STORED) {
        *dataLength = LoadLe32(header + kHeaderOriginalSize);
        return FAILURE_NONE;
    }
    uint32_t packedSize = LoadLe32(header + kHeaderPackedSize);
    if (packedSize < *extendedLength)
        return FAILURE_EXTENDED_HEADER;
    *dataLength = packedSize - *extendedLength;
    return FAILURE_NONE;
}

static unsigned char AsciiUpper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? (unsigned char)(c - 'a' + 'A') : c;
}

// Windows opens a device for these whatever follows a dot, and ignores spaces
// before the dot.
static bool IsDeviceName(const unsigned char* component, const unsigned char* end)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    const unsigned char* stemEnd = component;
    while (stemEnd < end && *stemEnd != '.')
        ++stemEnd;
    while (stemEnd > component && stemEnd[-1] == ' ')
        --stemEnd;
    unsigned length = (unsigned)(stemEnd - component);
    for (const char* device : kDevices) {
        unsigned i = 0;
        while (i < length && device[i] != '\0' && AsciiUpper(component[i]) == (unsigned char)device[i])
            ++i;
        if (i == length && device[i] == '\0')
            return true;
    }
    if (length != 4 || component[3] < '1' || component[3] > '9')
        return false;
    unsigned char a = AsciiUpper(component[0]), b = AsciiUpper(component[1]), c = AsciiUpper(component[2]);
    return (a == 'C' && b == 'O' && c == 'M') || (a == 'L' && b == 'P' && c == 'T');
}

static bool IsSeparator(unsigned char c)
{
    return c == '\\' || c == '/';
}

ExtractFailure CheckMemberName(const char* name)
{
    const unsigned char* p = (const unsigned char*)name;
    if (IsSeparator(*p))
        return FAILURE_UNSAFE_NAME;
    ExtractFailure invalid = *p == '\0' ? FAILURE_INVALID_NAME : FAILURE_NONE;
    const unsigned char* component = p;
    unsigned dots = 0;
    bool dotsAndSpacesOnly = true;
    for (;; ++p) {
        unsigned char c = *p;
        if (c == '\0' || IsSeparator(c)) {
            if (dotsAndSpacesOnly && dots >= 2)
                return FAILURE_UNSAFE_NAME;
            if (IsDeviceName(component, p) || (c == '\0' && dotsAndSpacesOnly))
                invalid = FAILURE_INVALID_NAME;
            if (c == '\0')
                return invalid;
            component = p + 1;
            dots = 0;
            dotsAndSpacesOnly = true;
        } else if (c == ':') {
            return FAILURE_UNSAFE_NAME;
        } else if (Cp932CharLength(p) == 2) {
            ++p;
            dotsAndSpacesOnly = false;
        } else if (c == '.') {
            ++dots;
        } else {
            if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
                invalid = FAILURE_INVALID_NAME;
            if (c != ' ')
                dotsAndSpacesOnly = false;
        }
    }
}
