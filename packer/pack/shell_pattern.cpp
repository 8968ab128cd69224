#include "packer/pack/shell_pattern.h"

#include <ctype.h>
#include <string.h>

namespace {

// The character at text[*at], moving *at past it: a UTF-8 sequence, or a
// byte that starts none taken alone.
char32_t NextCharacter(const std::string& text, size_t* at)
{
    unsigned char lead = (unsigned char)text[*at];
    size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 1;
    if (*at + length > text.size())
        length = 1;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        unsigned char next = (unsigned char)text[*at + k];
        if ((next & 0xC0) != 0x80) {
            length = 1;
            c = lead;
            break;
        }
        c = c << 6 | (next & 0x3F);
    }
    *at += length;
    return c;
}

bool InClass(const std::string& name, char32_t c)
{
    if (c >= 0x80)
        return false;
    static const struct {
        const char* name;
        int (*test)(int);
    } kClasses[] = {{"alnum", isalnum}, {"alpha", isalpha}, {"blank", isblank}, {"cntrl", iscntrl},
                    {"digit", isdigit}, {"graph", isgraph}, {"lower", islower}, {"print", isprint},
                    {"punct", ispunct}, {"space", isspace}, {"upper", isupper}, {"xdigit", isxdigit}};
    for (const auto& entry : kClasses) {
        if (name == entry.name)
            return entry.test((int)c) != 0;
    }
    return false;
}

// The bracket expression that starts at pattern[at], just after its '[':
// whether c is in it, and where it ends. False when no ']' closes it, and
// the '[' then stands for itself.
bool MatchBracket(const std::string& pattern, size_t at, char32_t c, bool* matched, size_t* end)
{
    bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
    if (negated)
        ++at;
    bool found = false;
    for (bool first = true; at < pattern.size(); first = false) {
        if (pattern[at] == ']' && !first) {
            *matched = found != negated;
            *end = at + 1;
            return true;
        }
        // [:class:], [=c=] and [.c.]
        if (pattern[at] == '[' && at + 1 < pattern.size() && strchr(":=.", pattern[at + 1]) != nullptr) {
            const char kind = pattern[at + 1];
            size_t close = pattern.find(std::string(1, kind) + "]", at + 2);
            if (close == std::string::npos)
                return false;
            std::string inner = pattern.substr(at + 2, close - at - 2);
            if (kind == ':') {
                found = found || InClass(inner, c);
            } else {
                size_t k = 0;
                found = found || (!inner.empty() && NextCharacter(inner, &k) == c && k == inner.size());
            }
            at = close + 2;
            continue;
        }
        if (pattern[at] == '\\' && at + 1 < pattern.size())
            ++at;
        char32_t low = NextCharacter(pattern, &at);
        char32_t high = low;
        if (at + 1 < pattern.size() && pattern[at] == '-' && pattern[at + 1] != ']') {
            ++at;
            if (pattern[at] == '\\' && at + 1 < pattern.size())
                ++at;
            high = NextCharacter(pattern, &at);
        }
        found = found || (c >= low && c <= high);
    }
    return false;
}

} // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name)
{
    size_t p = 0, n = 0;
    // Where to go on after the last '*' when what follows it fails: the
    // pattern after the star, and the name one character further.
    size_t starPattern = std::string::npos, starName = 0;
    while (n < name.size()) {
        size_t nextName = n;
        char32_t c = NextCharacter(name, &nextName);
        if (p < pattern.size() && pattern[p] == '*') {
            starPattern = ++p;
            starName = n;
            continue;
        }
        bool matched = false;
        size_t nextPattern = p;
        if (p < pattern.size()) {
            size_t end;
            bool inBracket;
            if (pattern[p] == '?') {
                matched = true;
                nextPattern = p + 1;
            } else if (pattern[p] == '[' && MatchBracket(pattern, p + 1, c, &inBracket, &end)) {
                matched = inBracket;
                nextPattern = end;
            } else {
                if (pattern[p] == '\\' && p + 1 < pattern.size())
                    ++nextPattern;
                matched = NextCharacter(pattern, &nextPattern) == c;
            }
        }
        if (matched) {
            p = nextPattern;
            n = nextName;
        } else if (starPattern != std::string::npos) {
            p = starPattern;
            NextCharacter(name, &starName);
            n = starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}
