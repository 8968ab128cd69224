// Characters of code page 932 texts, byte by byte: a lead byte starts a
// two-byte character whose trail byte may be that of a backslash or a slash,
// which then is no separator. Header-only and portable: the installer, the
// engine and the packer share it.
#pragma once

// Lead byte of a two-byte character in code page 932, on every platform.
inline bool IsCp932LeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Bytes of the character at text, NUL-terminated: 2 for a lead byte and its
// trail byte, else 1. A lone lead byte before the NUL stands alone, so that
// no walk reads past the NUL.
inline int Cp932CharLength(const unsigned char* text)
{
    return IsCp932LeadByte(text[0]) && text[1] != '\0' ? 2 : 1;
}

inline int Cp932CharLength(const char* text)
{
    return Cp932CharLength((const unsigned char*)text);
}
