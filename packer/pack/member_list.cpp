#include "packer/pack/member_list.h"

#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>

#include "container/payload_container.h"
#include "extract/member_header.h"
#include "packer/pack/archive_writer.h"
#include "packer/pack/shell_pattern.h"
#include "packer/system/cp932_text.h"
#include "packer/system/pack_error.h"
#include "packer/system/platform.h"

namespace {

PackError SystemError(const std::string& path, int error)
{
    return PackError(path + ": " + ErrorText(error), EXIT_FILE_ERROR);
}

std::string BaseName(const std::string& path)
{
    std::string trimmed = TrimSeparators(path);
    return trimmed.substr(NameStart(trimmed));
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return folder.size() == NameStart(folder) && !folder.empty() ? folder + name : folder + kPathSeparator + name;
}

// Letters that have a small and a capital form in code page 932: the rest
// have no case. As the Windows file systems compare them.
char32_t WindowsUpcase(char32_t c)
{
    if ((c >= U'a' && c <= U'z') || (c >= 0xFF41 && c <= 0xFF5A) || (c >= 0x03B1 && c <= 0x03C9 && c != 0x03C2) ||
        (c >= 0x0430 && c <= 0x044F) || (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7))
        return c - 0x20;
    if (c == 0x03C2) // final sigma
        return 0x03A3;
    if (c >= 0x0450 && c <= 0x045F)
        return c - 0x50;
    if (c >= 0x2170 && c <= 0x217F) // small Roman numerals
        return c - 0x10;
    return c;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += (char)c;
    } else if (c < 0x800) {
        out += (char)(0xC0 | c >> 6);
        out += (char)(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += (char)(0xE0 | c >> 12);
        out += (char)(0x80 | (c >> 6 & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    } else {
        out += (char)(0xF0 | c >> 18);
        out += (char)(0x80 | (c >> 12 & 0x3F));
        out += (char)(0x80 | (c >> 6 & 0x3F));
        out += (char)(0x80 | (c & 0x3F));
    }
}

void AddFile(const std::string& path, const FileStatus& status, std::vector<MemberSource>* members)
{
    if (status.size > kLh5MaxInput)
        throw PackError(path + ": " + SizeText(status.size) + " bytes; a member holds at most " +
                        SizeText(kLh5MaxInput));
    members->push_back(MemberSource{path, MemberName(BaseName(path), path), status.size, status.modified, nullptr});
}

// A name that a shell pattern takes as itself, quoted for a POSIX shell.
std::string ShellQuoted(const std::string& pattern)
{
    std::string quoted = "'";
    for (char c : pattern)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool CaseBlindEqual(const std::string& a, const char* b)
{
    return a.size() == strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return tolower((unsigned char)x) == tolower((unsigned char)y);
           });
}

bool EndsWith(const std::string& name, const char* end)
{
    size_t length = strlen(end);
    return name.size() > length && name.compare(name.size() - length, length, end) == 0;
}

// Why a file found in a folder looks left behind by an editor or a system
// rather than part of the product, with the exclude that leaves it out; ""
// when it does not. Windows' own names in any case, as Windows writes them.
std::string LeftBehind(const std::string& name)
{
    std::string what, pattern;
    if (name == ".DS_Store")
        what = "macOS folder metadata";
    else if (name.compare(0, 2, "._") == 0)
        what = "a macOS resource fork", pattern = "._*";
    else if (CaseBlindEqual(name, "Thumbs.db") || CaseBlindEqual(name, "ehthumbs.db") ||
             CaseBlindEqual(name, "desktop.ini"))
        what = "Windows folder metadata";
    else if (name.back() == '~')
        what = "an editor's backup", pattern = "*~";
    else if (name.size() > 2 && name.front() == '#' && name.back() == '#')
        what = "an editor's autosave", pattern = "#*#";
    else if (EndsWith(name, ".bak"))
        what = "a backup", pattern = "*.bak";
    else if (EndsWith(name, ".swp"))
        what = "an editor's swap file", pattern = "*.swp";
    else if (name[0] == '.')
        what = "a hidden file (a dot-file)";
    if (what.empty())
        return "";
    return what + ", packed like any other file; " +
           (pattern.empty() ? ExcludeOption(name) : "--exclude " + ShellQuoted(pattern)) + " leaves it out";
}

bool Excluded(const std::string& name, const std::vector<std::string>& excludes)
{
    for (const std::string& pattern : excludes) {
        if (MatchesPattern(pattern, name))
            return true;
    }
    return false;
}

// Whether the file is an installer, as an earlier build left it: a program
// with a payload container. Read in pieces until the magic run shows, which
// lies right behind the stub.
bool IsInstaller(const std::string& path)
{
    InputFile file;
    if (file.Open(path) != 0)
        return false;
    std::vector<unsigned char> piece(64 << 10);
    for (bool first = true;; first = false) {
        size_t filled = 0, got = 1;
        while (got > 0 && filled < piece.size()) {
            if (file.Read(piece.data() + filled, piece.size() - filled, &got) != 0)
                return false;
            filled += got;
        }
        if (first && (filled < 2 || piece[0] != 'M' || piece[1] != 'Z'))
            return false;
        // Pieces start at 256-byte boundaries of the file, as the run does.
        uint32_t header;
        if (ScanContainer(piece.data(), (uint32_t)filled, &header) != PAYLOAD_NOT_FOUND)
            return true;
        if (filled < piece.size())
            return false;
    }
}

struct FolderRules {
    const std::vector<std::string>& excludes;
    const FileStatus* output; // the file being written, nullptr while there is none
    std::set<std::string> named; // what the file PATHs lead to: packed through them, on purpose
    std::vector<std::string>* warnings;
};

void AddFolder(const std::string& folder, const FolderRules& rules, std::vector<MemberSource>* members)
{
    std::vector<std::string> names;
    if (int error = ListFolder(folder, &names))
        throw SystemError(folder, error);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& name) { return Excluded(name, rules.excludes); }),
                names.end());
    std::string inside;
    if (int error = ResolvedPath(folder, &inside))
        throw SystemError(folder, error);
    if (!IsPathSeparator(inside.back()))
        inside += kPathSeparator;

    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string path = JoinPath(folder, name);
        FileStatus status;
        if (int error = StatusOf(path, &status))
            throw SystemError(path, error);
        if (rules.output != nullptr && status.volume == rules.output->volume && status.index == rules.output->index) {
            rules.warnings->push_back(path + ": the output, an installer of an earlier build, left out of the files "
                                      "packed");
            continue;
        }
        // Whatever a link finds elsewhere would be published with the product.
        std::string target;
        if (int error = ResolvedPath(path, &target))
            throw SystemError(path, error);
        if (target.compare(0, inside.size(), inside) != 0 && rules.named.count(target) != 0)
            continue;
        if (target.compare(0, inside.size(), inside) != 0)
            throw PackError(path + ": a link to " + target + ", outside " + folder + ", whose bytes would go into "
                            "the installer: name it as a PATH to pack it on purpose, or leave it out with " +
                            ExcludeOption(name));
        if (status.kind == FileKind::Folder)
            throw PackError(path + ": is a subfolder; the installer creates no folders, so only files can be packed: "
                            "move it out, or leave it out with " + ExcludeOption(name));
        if (status.kind != FileKind::Regular)
            throw PackError(path + ": not a regular file", EXIT_FILE_ERROR);
        std::string why = LeftBehind(name);
        if (!why.empty())
            rules.warnings->push_back(path + ": " + why);
        AddFile(path, status, members);
    }
}

} // namespace

std::string MemberName(const std::string& utf8Name, const std::string& path)
{
    if (utf8Name.empty())
        throw PackError(path + ": no file name");
    for (unsigned char c : utf8Name) {
        if (c < 0x20 || strchr("<>:\"/\\|?*", c) != nullptr)
            throw PackError(path + ": name holds a character Windows does not allow in file names");
    }
    if (utf8Name.back() == '.' || utf8Name.back() == ' ')
        throw PackError(path + ": name ends in a dot or space, which Windows drops");
    if (utf8Name.find("\xC2\xA5") != std::string::npos)
        throw PackError(path + ": name holds '\xC2\xA5' (U+00A5), which is the backslash's byte in CP932: the "
                        "installer would take it for a folder separator");
    std::string name = Cp932FromUtf8(utf8Name, path + ": name");
    // What the installer's engine would refuse, devices such as CON or NUL above all.
    if (CheckMemberName(name.c_str()) != FAILURE_NONE)
        throw PackError(path + ": name is reserved for a device on Windows");
    if (name.size() > kMaxMemberName)
        throw PackError(path + ": name is " + std::to_string(name.size()) + " bytes in CP932; the installer takes at most " +
                        std::to_string(kMaxMemberName));
    return name;
}

std::string ExcludeOption(const std::string& name)
{
    std::string pattern;
    for (char c : name) {
        if (strchr("*?[\\", c) != nullptr)
            pattern += '\\';
        pattern += c;
    }
    return "--exclude " + ShellQuoted(pattern);
}

std::vector<MemberSource> CollectMembers(const std::vector<std::string>& paths, const std::vector<std::string>& excludes,
                                         const std::string& output, std::vector<std::string>* warnings)
{
    FileStatus outputStatus;
    // Any other file there stays an input, which build then refuses to replace.
    bool outputExists = !output.empty() && StatusOf(output, &outputStatus) == 0 && IsInstaller(output);
    std::vector<std::string> ignored;
    FolderRules rules{excludes, outputExists ? &outputStatus : nullptr, {}, warnings ? warnings : &ignored};
    for (const std::string& path : paths) {
        FileStatus status;
        std::string target;
        if (StatusOf(path, &status) == 0 && status.kind != FileKind::Folder && ResolvedPath(path, &target) == 0)
            rules.named.insert(target);
    }
    std::vector<MemberSource> members;
    for (const std::string& path : paths) {
        FileStatus status;
        if (int error = StatusOf(path, &status))
            throw SystemError(path, error);
        if (status.kind == FileKind::Folder)
            AddFolder(path, rules, &members);
        else if (Excluded(BaseName(path), excludes))
            continue;
        else if (status.kind == FileKind::Regular)
            AddFile(path, status, &members);
        else
            throw PackError(path + ": not a regular file or folder", EXIT_FILE_ERROR);
    }
    if (members.empty())
        throw PackError(excludes.empty() ? "no files to pack" : "no files to pack once the excluded ones are left out",
                        EXIT_USAGE);

    // Windows ignores case in names: two such members would end up as one file.
    std::map<std::string, const MemberSource*> seen;
    for (const MemberSource& member : members) {
        auto inserted = seen.emplace(WindowsNameKey(BaseName(member.path)), &member);
        if (!inserted.second)
            throw PackError(member.path + ": same name as " + inserted.first->second->path +
                            " for Windows, which ignores case; one would overwrite the other");
    }
    return members;
}

std::string WindowsNameKey(const std::string& utf8Name)
{
    std::string key;
    for (size_t i = 0; i < utf8Name.size();) {
        unsigned char lead = (unsigned char)utf8Name[i];
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + length > utf8Name.size())
            length = 1;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
            c = c << 6 | ((unsigned char)utf8Name[i + k] & 0x3F);
        AppendUtf8(key, WindowsUpcase(c));
        i += length;
    }
    return key;
}
