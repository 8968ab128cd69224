#include "extract/member_header.h"

uint16_t LoadLe16(const unsigned char* p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t LoadLe32(const unsigned char* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

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

bool IsCp932LeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool IsSafeMemberName(const char* name)
{
    if (name[0] == '\\' || name[0] == '/')
        return false;
    unsigned dots = 0;
    bool dotsAndSpacesOnly = true;
    for (const unsigned char* p = (const unsigned char*)name;; ++p) {
        unsigned char c = *p;
        if (c == '\0' || c == '\\' || c == '/') {
            if (dotsAndSpacesOnly && dots >= 2)
                return false;
            if (c == '\0')
                return true;
            dots = 0;
            dotsAndSpacesOnly = true;
        } else if (c == ':') {
            return false;
        } else if (IsCp932LeadByte(c) && p[1] != '\0') {
            ++p;
            dotsAndSpacesOnly = false;
        } else if (c == '.') {
            ++dots;
        } else if (c != ' ') {
            dotsAndSpacesOnly = false;
        }
    }
}
