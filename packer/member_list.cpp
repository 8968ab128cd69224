#include "packer/member_list.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

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

std::string AsciiLower(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    }
    return text;
}

// Names Windows keeps for devices, with or without an extension.
bool IsDeviceName(const std::string& utf8Name)
{
    std::string stem = AsciiLower(utf8Name.substr(0, utf8Name.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
    for (const char* device : kDevices) {
        if (stem == device)
            return true;
    }
    return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

void AddFile(const std::string& path, std::vector<MemberSource>* members)
{
    members->push_back(MemberSource{path, MemberName(BaseName(path), path)});
}

void AddFolder(const std::string& folder, std::vector<MemberSource>* members)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        throw PackError(SystemError(folder, errno), EXIT_FILE_ERROR);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
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
            throw PackError(path + ": is a subfolder; the installer creates no folders, so only files can be packed");
        if (!S_ISREG(status.st_mode))
            throw PackError(path + ": not a regular file", EXIT_FILE_ERROR);
        AddFile(path, members);
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
    if (IsDeviceName(utf8Name))
        throw PackError(path + ": name is reserved for a device on Windows");
    std::string name = Cp932FromUtf8(utf8Name, path + ": name");
    if (name.size() > kMaxMemberName)
        throw PackError(path + ": name is " + std::to_string(name.size()) + " bytes in CP932; the installer takes at most " +
                        std::to_string(kMaxMemberName));
    return name;
}

std::vector<MemberSource> CollectMembers(const std::vector<std::string>& paths)
{
    std::vector<MemberSource> members;
    for (const std::string& path : paths) {
        struct stat status;
        if (stat(path.c_str(), &status) != 0)
            throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
        if (S_ISDIR(status.st_mode))
            AddFolder(path, &members);
        else if (S_ISREG(status.st_mode))
            AddFile(path, &members);
        else
            throw PackError(path + ": not a regular file or folder", EXIT_FILE_ERROR);
    }
    if (members.empty())
        throw PackError("no files to pack", EXIT_USAGE);

    // Windows ignores case in names: two such members would end up as one file.
    std::map<std::string, const MemberSource*> seen;
    for (const MemberSource& member : members) {
        std::string key = AsciiLower(BaseName(member.path));
        auto inserted = seen.emplace(key, &member);
        if (!inserted.second)
            throw PackError(member.path + ": same name as " + inserted.first->second->path +
                            " for Windows, which ignores case; one would overwrite the other");
    }
    return members;
}

FileContents ReadWholeFile(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        throw PackError(SystemError(path, errno), EXIT_FILE_ERROR);
    FileContents contents;
    struct stat status;
    if (fstat(fd, &status) != 0) {
        int error = errno;
        close(fd);
        throw PackError(SystemError(path, error), EXIT_FILE_ERROR);
    }
    if (!S_ISREG(status.st_mode)) {
        close(fd);
        throw PackError(path + ": not a regular file", EXIT_FILE_ERROR);
    }
    if ((uint64_t)status.st_size > kLh5MaxInput) {
        close(fd);
        throw PackError(path + ": 4 GiB or larger; an archive member cannot hold it");
    }
    contents.modified = status.st_mtime;
    // Sized from fstat, but read to the end: a file that changes while it is
    // read is taken as far as it goes.
    ReserveLarge(&contents.bytes, (size_t)status.st_size + 1);
    contents.bytes.resize((size_t)status.st_size + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == contents.bytes.size())
            contents.bytes.resize(filled * 2);
        ssize_t got = read(fd, contents.bytes.data() + filled, contents.bytes.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            int error = errno;
            close(fd);
            throw PackError(SystemError(path, error), EXIT_FILE_ERROR);
        }
        if (got == 0)
            break;
        filled += (size_t)got;
    }
    close(fd);
    if (filled > kLh5MaxInput)
        throw PackError(path + ": 4 GiB or larger; an archive member cannot hold it");
    contents.bytes.resize(filled);
    return contents;
}
