// What morlu-pack asks of the operating system, every path and text in UTF-8:
// POSIX calls on Linux, macOS and the BSDs (platform_posix.cpp), wide Win32
// calls on Windows (platform_windows.cpp). What can fail returns 0 or the
// system's error code (errno, or GetLastError on Windows), which ErrorText
// puts in the system's words.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include <functional>
#include <string>
#include <vector>

// printf's formats as the C library takes them: mingw's own on Windows.
#ifdef __MINGW_PRINTF_FORMAT
#define PRINTF_FORMAT(string, first) __attribute__((format(__MINGW_PRINTF_FORMAT, string, first)))
#else
#define PRINTF_FORMAT(string, first) __attribute__((format(printf, string, first)))
#endif

// Sets the program up: its arguments in UTF-8 (on Windows read again from
// the wide command line, which the ANSI code page would have garbled), and
// standard output buffered whole unless it is a console.
void StartProgram(int* argc, char*** argv);

// This program's own file, "" when the system does not tell.
std::string ProgramPath();

// Writes text to standard output or standard error: a Windows console shows
// its characters, files and pipes get its UTF-8 bytes.
void WriteText(FILE* stream, const char* text, size_t length);
inline void WriteText(FILE* stream, const std::string& text)
{
    WriteText(stream, text.data(), text.size());
}
bool IsTerminal(FILE* stream);

std::string ErrorText(int error);

// The processors this process may run on (its affinity mask, which taskset,
// start /affinity and container limits set), at least 1.
unsigned UsableProcessors();

// Code page 932 and UTF-8, one into the other, by the system's own tables
// (iconv, or Windows' code page 932), as far as `in` converts: the longest
// prefix that does goes into *out, and the offset of the first byte (or
// character) that does not is returned; npos when everything converted.
// Throws PackError when the system cannot convert at all. cp932_text.h has
// the checked conversions of whole texts.
size_t Cp932ToUtf8Prefix(const std::string& in, std::string* out);
size_t Utf8ToCp932Prefix(const std::string& in, std::string* out);

// Paths: "/" separates; on Windows "\" too, and roots are also "C:", "C:\"
// and "\\server\share\".
extern const char kPathSeparator; // the one that joins
bool IsPathSeparator(char c);
size_t PathRootLength(const std::string& path);

// Where the last component of path starts: after its last separator or its root.
inline size_t NameStart(const std::string& path)
{
    size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1]))
        --start;
    return start < PathRootLength(path) ? PathRootLength(path) : start;
}

// path without the separators it ends in; a root stays whole.
inline std::string TrimSeparators(std::string path)
{
    while (path.size() > PathRootLength(path) && path.size() > 1 && IsPathSeparator(path.back()))
        path.pop_back();
    return path;
}

enum class FileKind { Regular, Folder, Other };

struct FileStatus {
    FileKind kind = FileKind::Other;
    uint64_t size = 0;
    time_t modified = 0;
    // Together they name the file whatever path leads to it: device and
    // inode, or the volume's serial number and the file's index.
    uint64_t volume = 0;
    uint64_t index = 0;
};

// What path names, links followed.
int StatusOf(const std::string& path, FileStatus* status);

// The full path of what path names, every link on the way and at its end
// followed, in the one form the system gives any path to that file.
int ResolvedPath(const std::string& path, std::string* resolved);

// The names in a folder, "." and ".." left out, in no particular order.
int ListFolder(const std::string& folder, std::vector<std::string>* names);

// A file open for reading; opening never waits on a FIFO or a device.
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    int Open(const std::string& path);
    int Status(FileStatus* status) const;
    // Reads up to count bytes; *got is 0 at the end of the file.
    int Read(void* buffer, size_t count, size_t* got);

private:
    friend class FileMemory;
    intptr_t handle_ = -1;
};

// A file's bytes in memory, read-only, for as long as this lives.
class FileMemory {
public:
    FileMemory() = default;
    ~FileMemory();
    FileMemory(const FileMemory&) = delete;
    FileMemory& operator=(const FileMemory&) = delete;

    // The first *size bytes of a regular file: mapped, or, where that is
    // faster to read from, read into huge pages; a file that came up shorter
    // is taken as far as it goes, *size then smaller.
    int Load(InputFile& file, size_t* size);
    const unsigned char* bytes() const { return bytes_; }

private:
    const unsigned char* bytes_ = nullptr;
    void* region_ = nullptr;
    size_t regionSize_ = 0;
};

// Asks for huge pages under part of a buffer; a hint that may go unheeded.
void AdviseHugePages(void* begin, size_t size);

// A new file beside path under a name of its own, which takes path's place
// only at Commit. Until then it goes away with the program: the destructor
// removes it, and so do the usual termination signals unless ignored
// (POSIX), or any end of the process (Windows).
class TemporaryFile {
public:
    TemporaryFile() = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int Create(const std::string& path);
    int WriteAt(uint64_t offset, const uint8_t* bytes, size_t size);
    // Shows look the first size bytes, mapped read-only.
    int Look(uint64_t size, const std::function<void(const uint8_t* bytes, size_t size)>& look) const;
    // Gives the file the usual permissions, flushes it to the disk, closes it
    // and renames it over path, whatever stood there until then.
    int Commit();

private:
    std::string path_;
    std::string temporary_;
    intptr_t handle_ = -1;
    bool committed_ = false;
};
