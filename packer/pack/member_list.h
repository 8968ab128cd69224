// The files that go into the installer's archive, from the PATH arguments of
// `morlu-pack build`, and the names the installer will create them under.
#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

struct MemberSource {
    std::string path;  // where to read it
    std::string name;  // member name, code page 932
    uint64_t size = 0; // as listed: the file must still have it when read
    time_t modified = 0;
    // What goes into the member when it is not the file as read: the release
    // notes, checked or converted before packing starts.
    std::shared_ptr<const std::vector<uint8_t>> contents;

    // The bytes that go into the member.
    uint64_t PackedSize() const { return contents ? contents->size() : size; }
};

// A file argument stands for itself, a folder for the files directly inside
// it, in byte order of their names; a file or subfolder whose name matches
// one of the excludes (shell patterns) is left out, and so is the output
// file wherever a folder holds it, when it is an installer (a program with a
// payload container) that an earlier build made. Throws PackError for a missing path, a
// subfolder (the installer creates no folders), a link in a folder that
// leads out of it (unless a file PATH leads to the same file, which is then
// packed through that PATH), anything that is not a regular file, a file larger than a
// member holds, a name the installer cannot create, two names that Windows
// would take for one (it ignores case, full-width, Greek and Cyrillic letters
// included), or no files at all. Adds to warnings each file found in a
// folder that looks left behind rather than meant (backups, system metadata,
// dot-files), with the exclude that leaves it out, and the output left out.
std::vector<MemberSource> CollectMembers(const std::vector<std::string>& paths,
                                         const std::vector<std::string>& excludes = {},
                                         const std::string& output = "",
                                         std::vector<std::string>* warnings = nullptr);

// "--exclude 'PATTERN'" with a pattern that matches name alone, quoted for a
// POSIX shell.
std::string ExcludeOption(const std::string& name);

// The code page 932 member name for a file name in UTF-8. Throws PackError
// when Windows cannot create the name (reserved characters or device names, a
// trailing dot or space), when it has no code page 932 form, or when it is
// longer than a member header holds. path is named in the message.
std::string MemberName(const std::string& utf8Name, const std::string& path);

// The key under which Windows compares file names: each letter in upper case.
std::string WindowsNameKey(const std::string& utf8Name);
