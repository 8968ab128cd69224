// The installer shows and names everything in code page 932; the packer takes
// its texts in UTF-8.
#pragma once
#include <string>

// Converts UTF-8 text to code page 932. Throws PackError naming `what` when the
// text is not valid UTF-8 or holds a character that code page 932 lacks.
std::string Cp932FromUtf8(const std::string& utf8, const std::string& what);
