#include "packer/system/cp932_text.h"

#include <stdio.h>
#include <strings.h>

#include <algorithm>

#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

namespace {

// Decodes the UTF-8 character at text[*at], moving *at past it; false (and
// *at unmoved) for a byte that starts no valid character.
bool NextUtf8(const std::string& text, size_t* at, char32_t* c)
{
    unsigned char lead = (unsigned char)text[*at];
    if (lead < 0x80) {
        *c = lead;
        ++*at;
        return true;
    }
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || *at + length > text.size())
        return false;
    char32_t value = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = (unsigned char)text[*at + k];
        if ((next & 0xC0) != 0x80)
            return false;
        value = value << 6 | (next & 0x3F);
    }
    static const char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *c = value;
    *at += length;
    return true;
}

// Offset of the first byte that is no valid UTF-8, or npos.
size_t FirstNonUtf8(const std::string& text)
{
    char32_t c;
    for (size_t at = 0; at < text.size();) {
        if (!NextUtf8(text, &at, &c))
            return at;
    }
    return std::string::npos;
}

// "line 3: " for an offset in text of several lines, "" in a one-line text.
std::string LineOf(const std::string& text, size_t at)
{
    if (text.find('\n') == std::string::npos)
        return "";
    return "line " + std::to_string(1 + std::count(text.begin(), text.begin() + (ptrdiff_t)at, '\n')) + ": ";
}

std::string Bytes(const std::string& text, size_t at, size_t count)
{
    std::string shown;
    for (size_t k = at; k < std::min(text.size(), at + count); ++k) {
        char hex[8];
        snprintf(hex, sizeof hex, "%s0x%02X", k == at ? "" : " ", (unsigned char)text[k]);
        shown += hex;
    }
    return shown;
}

PackError NotUtf8(const std::string& text, size_t at, const std::string& what)
{
    return PackError(what + ": " + LineOf(text, at) + "byte " + Bytes(text, at, 1) + " is not UTF-8");
}

size_t FirstNonCp932(const std::string& bytes)
{
    std::string ignored;
    return Cp932ToUtf8Prefix(bytes, &ignored);
}

// Characters that iconv writes in CP932 as the code page's own characters of
// the same look (U+2014 as U+2015, U+301C as U+FF5E, U+00A5 as the backslash's
// byte, which Japanese fonts draw as the yen sign ...) while Windows' tables
// lack them: taken so on every system, so that the same text gives the same
// bytes everywhere.
const struct {
    char32_t from;
    char32_t to;
} kLookAlikes[] = {{0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00A5, 0x005C}, {0x00AC, 0xFFE2}, {0x2014, 0x2015},
                   {0x2016, 0x2225}, {0x203E, 0x007E}, {0x2212, 0xFF0D}, {0x301C, 0xFF5E}};

// Valid UTF-8 with the look-alikes replaced, one character for one.
std::string WithoutLookAlikes(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 2);
    char32_t c;
    for (size_t at = 0, next = 0; at < utf8.size(); at = next) {
        NextUtf8(utf8, &next, &c);
        const auto* pair = std::find_if(std::begin(kLookAlikes), std::end(kLookAlikes),
                                        [c](const auto& entry) { return entry.from == c; });
        if (pair == std::end(kLookAlikes))
            out.append(utf8, at, next - at);
        else if (pair->to < 0x80)
            out += (char)pair->to;
        else
            out += {(char)(0xE0 | pair->to >> 12), (char)(0x80 | (pair->to >> 6 & 0x3F)),
                    (char)(0x80 | (pair->to & 0x3F))};
    }
    return out;
}

std::string CrLfLines(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

} // namespace

std::string Cp932FromUtf8(const std::string& utf8, const std::string& what)
{
    size_t bad = FirstNonUtf8(utf8);
    if (bad != std::string::npos)
        throw NotUtf8(utf8, bad, what);
    std::string normalized = WithoutLookAlikes(utf8);
    std::string out;
    size_t stopped = Utf8ToCp932Prefix(normalized, &out);
    if (stopped != std::string::npos) {
        // The same character in the text as given.
        size_t characters = (size_t)std::count_if(normalized.begin(), normalized.begin() + (ptrdiff_t)stopped,
                                                  [](char b) { return ((unsigned char)b & 0xC0) != 0x80; });
        size_t at = 0;
        char32_t c = 0;
        for (size_t k = 0; k < characters; ++k)
            NextUtf8(utf8, &at, &c);
        size_t end = at;
        NextUtf8(utf8, &end, &c);
        char code[16];
        snprintf(code, sizeof code, "U+%04X", (unsigned)c);
        throw PackError(what + ": " + LineOf(utf8, at) + "'" + utf8.substr(at, end - at) + "' (" + code +
                        ") has no CP932 form");
    }
    return out;
}

std::u16string Utf16FromUtf8(const std::string& utf8)
{
    std::u16string out;
    char32_t c;
    for (size_t at = 0; at < utf8.size();) {
        if (!NextUtf8(utf8, &at, &c))
            throw NotUtf8(utf8, at, "text");
        if (c >= 0x10000) {
            out += (char16_t)(0xD800 + ((c - 0x10000) >> 10));
            out += (char16_t)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += (char16_t)c;
        }
    }
    return out;
}

bool ParseTextEncoding(const std::string& name, TextEncoding* encoding)
{
    const char* n = name.c_str();
    if (strcasecmp(n, "auto") == 0)
        *encoding = TextEncoding::Detect;
    else if (strcasecmp(n, "utf-8") == 0 || strcasecmp(n, "utf8") == 0)
        *encoding = TextEncoding::Utf8;
    else if (strcasecmp(n, "cp932") == 0 || strcasecmp(n, "shift_jis") == 0 || strcasecmp(n, "sjis") == 0)
        *encoding = TextEncoding::Cp932;
    else
        return false;
    return true;
}

TextForm DetectTextForm(const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return TextForm::Utf8Bom;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
        return TextForm::Utf16;
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (unsigned char)c < 0x80; }))
        return TextForm::Ascii;
    if (FirstNonUtf8(bytes) == std::string::npos)
        return TextForm::Utf8;
    return FirstNonCp932(bytes) == std::string::npos ? TextForm::Cp932 : TextForm::Neither;
}

void CheckCp932(const std::string& bytes, const std::string& what)
{
    size_t at = FirstNonCp932(bytes);
    if (at != std::string::npos)
        throw PackError(what + ": " + LineOf(bytes, at) + "bytes " + Bytes(bytes, at, 2) + " are no CP932 character");
}

std::string Cp932FromFile(const std::string& bytes, TextEncoding encoding, const std::string& what)
{
    TextForm form = DetectTextForm(bytes);
    if (form == TextForm::Utf16)
        throw PackError(what + ": is UTF-16; save it as UTF-8 or CP932");
    if (encoding == TextEncoding::Detect && form == TextForm::Neither) {
        size_t utf8 = FirstNonUtf8(bytes);
        size_t cp932 = FirstNonCp932(bytes);
        throw PackError(what + ": is neither UTF-8 (" + LineOf(bytes, utf8) + "byte " + Bytes(bytes, utf8, 1) +
                        ") nor CP932 (" + LineOf(bytes, cp932) + "bytes " + Bytes(bytes, cp932, 2) + ")");
    }
    bool utf8 = encoding == TextEncoding::Utf8 ||
                (encoding == TextEncoding::Detect && form != TextForm::Cp932);
    if (!utf8) {
        CheckCp932(bytes, what);
        return bytes;
    }
    return Cp932FromUtf8(form == TextForm::Utf8Bom ? bytes.substr(3) : bytes, what);
}

std::string ReleaseNotesFromUtf8(const std::string& bytes, const std::string& what)
{
    std::string text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    return CrLfLines(Cp932FromUtf8(text, what));
}
