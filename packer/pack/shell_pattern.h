// The shell patterns of `morlu-pack build --exclude`.
#pragma once
#include <string>

// Whether a file name matches a shell pattern as fnmatch without flags takes
// it: '*', '?', bracket expressions with ranges and [:classes:] of ASCII, and
// a backslash quoting the character after it; case matters. Characters are UTF-8
// characters, not bytes, on every system.
bool MatchesPattern(const std::string& pattern, const std::string& name);
