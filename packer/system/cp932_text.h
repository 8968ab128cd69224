// The installer shows and names everything in code page 932; the packer takes
// its texts in UTF-8, and text files in UTF-8 or code page 932.
#pragma once
#include <string>

// Converts UTF-8 text to code page 932. Throws PackError naming `what` when the
// text is not valid UTF-8 or holds a character that code page 932 lacks: the
// character, its code point and, in text of several lines, its line.
std::string Cp932FromUtf8(const std::string& utf8, const std::string& what);

// UTF-8 text as UTF-16. Throws PackError when it is not valid UTF-8.
std::u16string Utf16FromUtf8(const std::string& utf8);

enum class TextEncoding { Detect, Utf8, Cp932 };

// "auto", "utf-8" (or "utf8") and "cp932" (or "shift_jis", "sjis"), in any case;
// false for anything else.
bool ParseTextEncoding(const std::string& name, TextEncoding* encoding);

// What a text file is written in, as far as its bytes tell.
enum class TextForm {
    Ascii,      // the same bytes in either
    Utf8,       // valid UTF-8 with other characters
    Utf8Bom,    // begins with the UTF-8 byte order mark
    Utf16,      // begins with a UTF-16 byte order mark
    Cp932,      // valid code page 932, not UTF-8
    Neither,
};
TextForm DetectTextForm(const std::string& bytes);

// Throws PackError naming `what` and the line when bytes are not valid code page 932.
void CheckCp932(const std::string& bytes, const std::string& what);

// A text file's contents in code page 932: UTF-8 (its byte order mark
// dropped) is converted, code page 932 kept. With TextEncoding::Detect the
// bytes decide (UTF-8 when they are valid UTF-8). Throws PackError naming `what`.
std::string Cp932FromFile(const std::string& bytes, TextEncoding encoding, const std::string& what);

// Release notes written in UTF-8, made for Notepad on every Windows the
// installer runs on: code page 932 with CR LF line ends, no byte order mark.
std::string ReleaseNotesFromUtf8(const std::string& bytes, const std::string& what);
