// The wide Win32 calls: paths and texts are UTF-8 inside the program and
// UTF-16 at every call, so that any name works whatever the system's ANSI
// code page; code page 932 is named where it is meant.
#include "packer/system/platform.h"

#include <ctype.h>
#include <stdio.h>
#include <windows.h>

#include <shellapi.h>

#include <algorithm>

#include "bytes/cp932_chars.h"
#include "packer/system/pack_error.h"
#include "packer/system/replace_name.h"

const char kPathSeparator = '\\';

bool IsPathSeparator(char c)
{
    return c == '\\' || c == '/';
}

size_t PathRootLength(const std::string& path)
{
    if (path.size() >= 2 && path[1] == ':' && isalpha((unsigned char)path[0]))
        return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        // \\server\share\, and \\?\C:\ alike
        size_t end = 2;
        for (int part = 0; part < 2 && end < path.size(); ++part) {
            while (end < path.size() && !IsPathSeparator(path[end]))
                ++end;
            if (end < path.size())
                ++end;
        }
        return end;
    }
    return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

static std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), NULL, 0);
    std::wstring wide((size_t)count, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], count);
    return wide;
}

static std::string Utf8(const wchar_t* wide, size_t length)
{
    if (length == 0)
        return std::string();
    int count = WideCharToMultiByte(CP_UTF8, 0, wide, (int)length, NULL, 0, NULL, NULL);
    std::string utf8((size_t)count, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, (int)length, &utf8[0], count, NULL, NULL);
    return utf8;
}

static std::string Utf8(const std::wstring& wide)
{
    return Utf8(wide.data(), wide.size());
}

void StartProgram(int* argc, char*** argv)
{
    // The C library takes NUL for a terminal, and would write it each piece at once.
    if (!IsTerminal(stdout))
        setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == NULL)
        return;
    static std::vector<std::string> arguments;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i)
        arguments.push_back(Utf8(wide[i], wcslen(wide[i])));
    LocalFree(wide);
    for (std::string& argument : arguments)
        pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    *argc = count;
    *argv = pointers.data();
}

std::string ProgramPath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(NULL, &path[0], (DWORD)path.size());
        if (length == 0)
            return "";
        if (length < path.size())
            return Utf8(path.data(), length);
        path.resize(path.size() * 2);
    }
}

static HANDLE StandardHandle(FILE* stream)
{
    return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

bool IsTerminal(FILE* stream)
{
    DWORD mode;
    return GetConsoleMode(StandardHandle(stream), &mode) != 0;
}

// A console takes UTF-16 and shows it in its own font; through the C library
// it would get bytes in its code page.
void WriteText(FILE* stream, const char* text, size_t length)
{
    static const bool kConsole[2] = {IsTerminal(stdout), IsTerminal(stderr)};
    if (!kConsole[stream == stderr ? 1 : 0]) {
        fwrite(text, 1, length, stream);
        return;
    }
    fflush(stream);
    std::wstring wide = Wide(std::string(text, length));
    DWORD written;
    for (size_t done = 0; done < wide.size(); done += written) {
        DWORD count = (DWORD)std::min<size_t>(wide.size() - done, 8192);
        if (!WriteConsoleW(StandardHandle(stream), wide.data() + done, count, &written, NULL) || written == 0)
            return;
    }
}

std::string ErrorText(int error)
{
    wchar_t* text = NULL;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  NULL, (DWORD)error, 0, (LPWSTR)&text, 0, NULL);
    std::string words = length > 0 ? Utf8(text, length) : "error " + std::to_string((DWORD)error);
    LocalFree(text);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
        words.pop_back();
    return words;
}

unsigned UsableProcessors()
{
    DWORD_PTR process, system;
    unsigned count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        for (; process != 0; process &= process - 1)
            ++count;
    }
    if (count == 0) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        count = info.dwNumberOfProcessors;
    }
    return count > 0 ? count : 1;
}

namespace {

const UINT kCp932 = 932;

void RequireCp932()
{
    static const bool kInstalled = IsValidCodePage(kCp932) != 0;
    if (!kInstalled)
        throw PackError("this system lacks code page 932");
}

// Windows' table also takes single bytes 0x80, 0xA0 and 0xFD to 0xFF to
// control and private characters, which iconv refuses: refused here too, so
// that both systems accept the same texts.
bool RefusedSingleByte(unsigned char c)
{
    return c == 0x80 || c == 0xA0 || c >= 0xFD;
}

// UTF-16 of one code page 932 character, or false.
bool DecodeCharacter(const char* bytes, int length, std::wstring* wide)
{
    wchar_t out[2];
    int count = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes, length, out, 2);
    if (count <= 0)
        return false;
    wide->append(out, (size_t)count);
    return true;
}

} // namespace

size_t Cp932ToUtf8Prefix(const std::string& in, std::string* out)
{
    RequireCp932();
    std::wstring wide;
    wide.reserve(in.size());
    size_t stopped = std::string::npos;
    // Runs of ASCII go as they are; each other character on its own, so that
    // the first one that does not convert is known.
    for (size_t at = 0; at < in.size();) {
        unsigned char c = (unsigned char)in[at];
        if (c < 0x80) {
            wide += (wchar_t)c;
            ++at;
            continue;
        }
        int length = IsCp932LeadByte(c) ? 2 : 1;
        if (at + length > in.size() || (length == 1 && RefusedSingleByte(c)) ||
            !DecodeCharacter(in.data() + at, length, &wide)) {
            stopped = at;
            break;
        }
        at += (size_t)length;
    }
    *out = Utf8(wide);
    return stopped;
}

size_t Utf8ToCp932Prefix(const std::string& in, std::string* out)
{
    RequireCp932();
    out->clear();
    std::wstring wide = Wide(in);
    size_t utf8At = 0;
    for (size_t at = 0; at < wide.size();) {
        size_t units = wide[at] >= 0xD800 && wide[at] <= 0xDBFF && at + 1 < wide.size() ? 2 : 1;
        size_t utf8Length = units == 2 ? 4 : wide[at] < 0x80 ? 1 : wide[at] < 0x800 ? 2 : 3;
        char bytes[4];
        BOOL usedDefault = FALSE;
        int count = wide[at] < 0x80 ? (bytes[0] = (char)wide[at], 1)
                                    : WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data() + at, (int)units,
                                                          bytes, sizeof bytes, NULL, &usedDefault);
        if (count <= 0 || usedDefault || (count == 1 && RefusedSingleByte((unsigned char)bytes[0])))
            return utf8At;
        out->append(bytes, (size_t)count);
        at += units;
        utf8At += utf8Length;
    }
    return std::string::npos;
}

static time_t TimeFromFileTime(const FILETIME& time)
{
    // 100-nanosecond steps since 1601, whole seconds since 1970 rounded down, as stat gives them.
    const int64_t kStepsTo1970 = 116444736000000000LL;
    int64_t steps = (int64_t)((uint64_t)time.dwHighDateTime << 32 | time.dwLowDateTime) - kStepsTo1970;
    int64_t seconds = steps / 10000000;
    return (time_t)(steps % 10000000 < 0 ? seconds - 1 : seconds);
}

static int StatusOfHandle(HANDLE handle, FileStatus* status)
{
    *status = FileStatus();
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        status->kind = FileKind::Other;
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return (int)GetLastError();
    status->kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? FileKind::Folder : FileKind::Regular;
    status->size = (uint64_t)info.nFileSizeHigh << 32 | info.nFileSizeLow;
    status->modified = TimeFromFileTime(info.ftLastWriteTime);
    status->volume = info.dwVolumeSerialNumber;
    status->index = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    return 0;
}

// Folders open too (to be told apart), and nothing that is open elsewhere
// stands in the way.
static HANDLE OpenExisting(const std::string& path, DWORD access)
{
    return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
}

int StatusOf(const std::string& path, FileStatus* status)
{
    HANDLE handle = OpenExisting(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return (int)GetLastError();
    int error = StatusOfHandle(handle, status);
    CloseHandle(handle);
    return error;
}

int ResolvedPath(const std::string& path, std::string* resolved)
{
    HANDLE handle = OpenExisting(path, FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return (int)GetLastError();
    std::wstring wide(MAX_PATH, L'\0');
    DWORD length;
    while ((length = GetFinalPathNameByHandleW(handle, &wide[0], (DWORD)wide.size(), FILE_NAME_NORMALIZED)) >=
           wide.size())
        wide.resize(length);
    DWORD error = length == 0 ? GetLastError() : 0;
    CloseHandle(handle);
    if (error != 0)
        return (int)error;
    // Shown as paths are usually written: C:\..., \\server\share\...
    *resolved = Utf8(wide.data(), length);
    if (resolved->compare(0, 8, "\\\\?\\UNC\\") == 0)
        resolved->replace(0, 8, "\\\\");
    else if (resolved->compare(0, 4, "\\\\?\\") == 0)
        resolved->erase(0, 4);
    return 0;
}

int ListFolder(const std::string& folder, std::vector<std::string>* names)
{
    std::string pattern = folder.size() == NameStart(folder) && !folder.empty() ? folder + "*" : folder + "\\*";
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW(Wide(pattern).c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, NULL, 0);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // A folder without entries, as a drive's root can be.
        return error == ERROR_FILE_NOT_FOUND ? 0 : (int)error;
    }
    do {
        std::string name = Utf8(entry.cFileName, wcslen(entry.cFileName));
        if (name != "." && name != "..")
            names->push_back(name);
    } while (FindNextFileW(search, &entry));
    DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES ? 0 : (int)error;
}

InputFile::~InputFile()
{
    if (handle_ != -1)
        CloseHandle((HANDLE)handle_);
}

int InputFile::Open(const std::string& path)
{
    HANDLE handle = OpenExisting(path, GENERIC_READ);
    if (handle == INVALID_HANDLE_VALUE)
        return (int)GetLastError();
    handle_ = (intptr_t)handle;
    return 0;
}

int InputFile::Status(FileStatus* status) const
{
    return StatusOfHandle((HANDLE)handle_, status);
}

int InputFile::Read(void* buffer, size_t count, size_t* got)
{
    DWORD read = 0;
    if (!ReadFile((HANDLE)handle_, buffer, (DWORD)std::min<size_t>(count, 1u << 30), &read, NULL))
        return (int)GetLastError();
    *got = read;
    return 0;
}

// A view of the whole mapping, whose own handle may go at once.
static const unsigned char* MapView(HANDLE file, size_t size, void** view)
{
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    if (mapping == NULL)
        return nullptr;
    *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, size);
    CloseHandle(mapping);
    return (const unsigned char*)*view;
}

FileMemory::~FileMemory()
{
    if (region_ != nullptr)
        UnmapViewOfFile(region_);
}

int FileMemory::Load(InputFile& file, size_t* size)
{
    bytes_ = MapView((HANDLE)file.handle_, *size, &region_);
    return bytes_ != nullptr ? 0 : (int)GetLastError();
}

void AdviseHugePages(void*, size_t)
{
}

int TemporaryFile::Create(const std::string& path)
{
    path_ = path;
    size_t nameStart = NameStart(path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, ".%06lX",
                 (unsigned long)((GetTickCount() * 2654435761u + GetCurrentProcessId() + attempt) & 0xFFFFFF));
        temporary_ = path.substr(0, nameStart) + "." + path.substr(nameStart) + suffix;
        HANDLE handle = CreateFileW(Wide(temporary_).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS)
            continue;
        if (handle == INVALID_HANDLE_VALUE)
            break;
        handle_ = (intptr_t)handle;
        // Marked for deletion: however the process ends, the system removes it, until Commit takes the mark back.
        FILE_DISPOSITION_INFO dispose = {TRUE};
        SetFileInformationByHandle(handle, FileDispositionInfo, &dispose, sizeof dispose);
        return 0;
    }
    DWORD error = GetLastError();
    temporary_.clear();
    return (int)error;
}

TemporaryFile::~TemporaryFile()
{
    if (handle_ != -1)
        CloseHandle((HANDLE)handle_);
    if (!temporary_.empty() && !committed_)
        DeleteFileW(Wide(temporary_).c_str());
}

int TemporaryFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size)
{
    size_t written = 0;
    while (written < size) {
        OVERLAPPED at = {};
        at.Offset = (DWORD)(offset + written);
        at.OffsetHigh = (DWORD)((offset + written) >> 32);
        DWORD count = 0;
        if (!WriteFile((HANDLE)handle_, bytes + written, (DWORD)std::min<size_t>(size - written, 1u << 30), &count,
                       &at))
            return (int)GetLastError();
        if (count == 0)
            return ERROR_DISK_FULL;
        written += count;
    }
    return 0;
}

int TemporaryFile::Look(uint64_t size, const std::function<void(const uint8_t* bytes, size_t size)>& look) const
{
    if (size == 0) {
        look(nullptr, 0);
        return 0;
    }
    void* view = nullptr;
    const unsigned char* bytes = MapView((HANDLE)handle_, (size_t)size, &view);
    if (bytes == nullptr)
        return (int)GetLastError();
    struct Unmap {
        void* view;
        ~Unmap() { UnmapViewOfFile(view); }
    } unmap{view};
    look(bytes, (size_t)size);
    return 0;
}

int TemporaryFile::Commit()
{
    HANDLE handle = (HANDLE)handle_;
    FILE_DISPOSITION_INFO keep = {FALSE};
    if (!SetFileInformationByHandle(handle, FileDispositionInfo, &keep, sizeof keep) || !FlushFileBuffers(handle))
        return (int)GetLastError();
    handle_ = -1;
    if (!CloseHandle(handle))
        return (int)GetLastError();
    if (!ReplaceName(Wide(temporary_), Wide(path_), MOVEFILE_WRITE_THROUGH))
        return (int)GetLastError();
    committed_ = true;
    return 0;
}
