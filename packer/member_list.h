// The files that go into the installer's archive, from the PATH arguments of
// `morlu-pack build`, and the names the installer will create them under.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct MemberSource {
    std::string path; // where to read it
    std::string name; // member name, code page 932
};

// A file argument stands for itself, a folder for the files directly inside
// it, in byte order of their names. Throws PackError for a missing path, a
// subfolder (the installer creates no folders), anything that is not a regular
// file, a name the installer cannot create, two names that Windows would take
// for one, or no files at all.
std::vector<MemberSource> CollectMembers(const std::vector<std::string>& paths);

// The code page 932 member name for a file name in UTF-8. Throws PackError
// when Windows cannot create the name (reserved characters or device names, a
// trailing dot or space), when it has no code page 932 form, or when it is
// longer than a member header holds. path is named in the message.
std::string MemberName(const std::string& utf8Name, const std::string& path);

struct FileContents {
    std::vector<uint8_t> bytes;
    time_t modified = 0;
};

// Reads a whole regular file. Throws PackError with the file error code.
FileContents ReadWholeFile(const std::string& path);
