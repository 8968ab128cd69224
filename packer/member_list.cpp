#include "packer/member_list.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "extract/member_header.h"
#include "packer/archive_writer.h"
#include "packer/cp932_text.h"
#include "packer/large_buffer.h"
#include "packer/pack_error.h"

namespace {

std::string SystemError(const std::string& path, int error)
{
    return path + ": " + strerror(error);
}

std::string BaseName(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string SizeText(uint64_t size)
{
    std::string digits = std::to_string(size), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
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

void AddFile(const std::string& path, const struct stat& status, std::vector<MemberSource>* members)
{
    if ((uint64_t)status.st_size > kLh5MaxInput)
        throw PackError(path + ": " + SizeText((uint64_t)status.st_size) + " bytes; a member holds at most " +
                        SizeText(kLh5MaxInput));
    members->push_back(MemberSource{path, MemberName(BaseName(path), path), (uint64_t)status.st_size,
                                    status.st_mtime, nullptr});
}

bool Excluded(const std::string& name, const std::vector<std::string>& excludes)
{
    for (const std::string& pattern : excludes) {
        if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0)
            return true;
    }
    return false;
}

void AddFolder(const std::string& folder, const std::vector<std::string>& excludes, std::vector<MemberSource>* members)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        throw PackError(SystemError(folder, errno), EXIT_FILE_ERROR);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0 && !Excluded(entry->d_name, excludes))
            names.push_back(entry->d_name);
        errno = 0;
    }
    int error = errno;
    closedir(dir);
    if (error != 0)
        throw PackError(SystemError(folder, error), EXIT_FILE_ERROR);

    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string path = JoinPath(folder, name);
        struct stat status;
        if (stat(path.c_str(), &status) != 0)
            throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
        if (S_ISDIR(status.st_mode))
            throw PackError(path + ": is a subfolder; the installer creates no folders, so only files can be packed: "
                            "move it out, or leave it out with --exclude '" + name + "'");
        if (!S_ISREG(status.st_mode))
            throw PackError(path + ": not a regular file", EXIT_FILE_ERROR);
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
    std::string name = Cp932FromUtf8(utf8Name, path + ": name");
    // What the installer's engine would refuse, devices such as CON or NUL above all.
    if (CheckMemberName(name.c_str()) != FAILURE_NONE)
        throw PackError(path + ": name is reserved for a device on Windows");
    if (name.size() > kMaxMemberName)
        throw PackError(path + ": name is " + std::to_string(name.size()) + " bytes in CP932; the installer takes at most " +
                        std::to_string(kMaxMemberName));
    return name;
}

std::vector<MemberSource> CollectMembers(const std::vector<std::string>& paths, const std::vector<std::string>& excludes)
{
    std::vector<MemberSource> members;
    for (const std::string& path : paths) {
        struct stat status;
        if (stat(path.c_str(), &status) != 0)
            throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
        if (S_ISDIR(status.st_mode))
            AddFolder(path, excludes, &members);
        else if (Excluded(BaseName(path), excludes))
            continue;
        else if (S_ISREG(status.st_mode))
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

FileContents ReadInputFile(const std::string& path, uint64_t maxSize, int64_t expectedSize)
{
    // O_NONBLOCK: a FIFO or a device under the name must not hold the open.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat status;
    if (fstat(fd, &status) != 0)
        throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
    if (!S_ISREG(status.st_mode))
        throw PackError(path + ": not a regular file", EXIT_FILE_ERROR);
    uint64_t size = (uint64_t)status.st_size;
    if (size > maxSize)
        throw PackError(path + ": " + SizeText(size) + " bytes; at most " + SizeText(maxSize) + " can be taken",
                        EXIT_FILE_ERROR);
    if (expectedSize != kAnySize && size != (uint64_t)expectedSize)
        throw PackError(path + ": changed since it was listed (" + SizeText((uint64_t)expectedSize) + " bytes, now " +
                            SizeText(size) + ")",
                        EXIT_FILE_ERROR);

    FileContents contents;
    contents.modified = status.st_mtime;
    ReserveLarge(&contents.bytes, (size_t)size);
    contents.bytes.resize((size_t)size);
    size_t filled = 0;
    for (;;) {
        // One byte more than the size asks whether the file grew.
        unsigned char extra;
        bool full = filled == contents.bytes.size();
        ssize_t got = full ? read(fd, &extra, 1) : read(fd, contents.bytes.data() + filled, contents.bytes.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
        if (got > 0 && full)
            throw PackError(path + ": grew while it was read; pack it once it is complete", EXIT_FILE_ERROR);
        if (got == 0 && !full)
            throw PackError(path + ": became shorter while it was read", EXIT_FILE_ERROR);
        if (got == 0)
            break;
        filled += (size_t)got;
    }
    return contents;
}
