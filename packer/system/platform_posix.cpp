// The system calls of POSIX (2008), and what Linux offers beyond them where it
// has it: the affinity mask, populated mappings and huge pages.
// realpath is of POSIX's X/Open part.
#define _XOPEN_SOURCE 700

#include "packer/system/platform.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "packer/system/iconv_converter.h"
#include "packer/system/pack_error.h"

const char kPathSeparator = '/';

bool IsPathSeparator(char c)
{
    return c == '/';
}

size_t PathRootLength(const std::string& path)
{
    return !path.empty() && path[0] == '/' ? 1 : 0;
}

static const char* programName = "";

void StartProgram(int* argc, char*** argv)
{
    if (*argc > 0)
        programName = (*argv)[0];
}

std::string ProgramPath()
{
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0)
        return std::string(self, (size_t)length);
    // Without /proc (macOS, the BSDs): the name it was started by, found as the shell found it.
    std::string name = programName;
    if (name.find('/') == std::string::npos) {
        const char* searched = getenv("PATH");
        std::string folders = searched != nullptr ? searched : "";
        std::string found;
        for (size_t begin = 0; found.empty() && begin <= folders.size();) {
            size_t end = std::min(folders.find(':', begin), folders.size());
            std::string candidate = (end > begin ? folders.substr(begin, end - begin) : ".") + "/" + name;
            if (access(candidate.c_str(), X_OK) == 0)
                found = candidate;
            begin = end + 1;
        }
        name = found;
    }
    return !name.empty() && realpath(name.c_str(), self) != nullptr ? self : "";
}

void WriteText(FILE* stream, const char* text, size_t length)
{
    fwrite(text, 1, length, stream);
}

bool IsTerminal(FILE* stream)
{
    return isatty(fileno(stream)) == 1;
}

std::string ErrorText(int error)
{
    return strerror(error);
}

unsigned UsableProcessors()
{
#ifdef CPU_COUNT
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return (unsigned)CPU_COUNT(&set);
#endif
    return std::max(1u, std::thread::hardware_concurrency());
}

static size_t Convert(IconvConverter& converter, const char* to, const char* from, const std::string& in,
                      std::string* out)
{
    if (!converter.Opened())
        throw PackError(std::string("this system's iconv cannot convert ") + from + " to " + to);
    // Neither direction takes more than four bytes for one.
    out->assign(in.size() * 4 + 4, '\0');
    size_t written;
    size_t stopped = converter.Convert(in.data(), in.size(), &(*out)[0], out->size(), &written);
    out->resize(written);
    return stopped < in.size() ? stopped : std::string::npos;
}

size_t Cp932ToUtf8Prefix(const std::string& in, std::string* out)
{
    static thread_local IconvConverter toUtf8("UTF-8", "CP932");
    return Convert(toUtf8, "UTF-8", "CP932", in, out);
}

size_t Utf8ToCp932Prefix(const std::string& in, std::string* out)
{
    static thread_local IconvConverter toCp932("CP932", "UTF-8");
    return Convert(toCp932, "CP932", "UTF-8", in, out);
}

static void FillStatus(const struct stat& s, FileStatus* status)
{
    status->kind = S_ISREG(s.st_mode) ? FileKind::Regular : S_ISDIR(s.st_mode) ? FileKind::Folder : FileKind::Other;
    status->size = (uint64_t)s.st_size;
    status->modified = s.st_mtime;
    status->volume = (uint64_t)s.st_dev;
    status->index = (uint64_t)s.st_ino;
}

int StatusOf(const std::string& path, FileStatus* status)
{
    struct stat s;
    if (stat(path.c_str(), &s) != 0)
        return errno;
    FillStatus(s, status);
    return 0;
}

int ResolvedPath(const std::string& path, std::string* resolved)
{
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr)
        return errno;
    *resolved = real;
    free(real);
    return 0;
}

int ListFolder(const std::string& folder, std::vector<std::string>* names)
{
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return errno;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names->push_back(entry->d_name);
        errno = 0;
    }
    int error = errno;
    closedir(dir);
    return error;
}

InputFile::~InputFile()
{
    if (handle_ >= 0)
        close((int)handle_);
}

int InputFile::Open(const std::string& path)
{
    // O_NONBLOCK: a FIFO or a device under the name must not hold the open.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    handle_ = fd;
    return 0;
}

int InputFile::Status(FileStatus* status) const
{
    struct stat s;
    if (fstat((int)handle_, &s) != 0)
        return errno;
    FillStatus(s, status);
    return 0;
}

int InputFile::Read(void* buffer, size_t count, size_t* got)
{
    for (;;) {
        ssize_t n = read((int)handle_, buffer, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        *got = (size_t)n;
        return 0;
    }
}

FileMemory::~FileMemory()
{
    if (region_ != nullptr)
        munmap(region_, regionSize_);
}

#if defined(MADV_HUGEPAGE) && defined(MAP_ANONYMOUS)
const size_t kHugePage = 2u << 20;
// Larger files are mapped: their pages stay the page cache's to reclaim.
const size_t kReadLimit = (size_t)1 << 30;

static bool HugePagesAvailable()
{
    char setting[64] = "";
    int fd = open("/sys/kernel/mm/transparent_hugepage/enabled", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t count = read(fd, setting, sizeof setting - 1);
        setting[count > 0 ? count : 0] = '\0';
        close(fd);
    }
    return strstr(setting, "[always]") != nullptr || strstr(setting, "[madvise]") != nullptr;
}
#endif

int FileMemory::Load(InputFile& file, size_t* size)
{
#if defined(MADV_HUGEPAGE) && defined(MAP_ANONYMOUS)
    // A large file is read into huge pages rather than mapped: read from a
    // mapped file's 4 KiB pages, stored members took three quarters more CPU
    // time to check.
    if (*size >= kHugePage && *size <= kReadLimit && HugePagesAvailable()) {
        size_t capacity = (*size + kHugePage - 1) & ~(kHugePage - 1);
        void* region = mmap(nullptr, capacity + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED)
            return errno;
        region_ = region;
        regionSize_ = capacity + kHugePage;
        unsigned char* buffer = (unsigned char*)(((uintptr_t)region + kHugePage - 1) & ~(kHugePage - 1));
        madvise(buffer, capacity, MADV_HUGEPAGE);
        size_t done = 0;
        while (done < *size) {
            size_t got = 0;
            if (int error = file.Read(buffer + done, *size - done, &got))
                return error;
            if (got == 0)
                break;
            done += got;
        }
        *size = done;
        bytes_ = buffer;
        return 0;
    }
#endif
#ifdef MAP_POPULATE
    const int kPopulate = MAP_POPULATE;
#else
    const int kPopulate = 0;
#endif
    void* region = mmap(nullptr, *size, PROT_READ, MAP_PRIVATE | kPopulate, (int)file.handle_, 0);
    if (region == MAP_FAILED)
        return errno;
    region_ = region;
    regionSize_ = *size;
    bytes_ = (const unsigned char*)region;
    return 0;
}

void AdviseHugePages(void* begin, size_t size)
{
#ifdef MADV_HUGEPAGE
    madvise(begin, size, MADV_HUGEPAGE);
#else
    (void)begin;
    (void)size;
#endif
}

namespace {

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const size_t kSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];

// The temporary file to remove if a signal ends the program; empty when none.
char gTemporary[PATH_MAX];
struct sigaction previousActions[kSignalCount];

extern "C" void RemoveTemporaryAndDie(int signalNumber)
{
    if (gTemporary[0] != '\0')
        unlink(gTemporary);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Handlers go in only where the signal is not ignored: a build started under
// nohup must survive its hang-up as before.
void CatchSignals()
{
    struct sigaction action = {};
    action.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kCleanupSignals[i], nullptr, &previousActions[i]);
        if (previousActions[i].sa_handler != SIG_IGN)
            sigaction(kCleanupSignals[i], &action, nullptr);
    }
}

// Signals wait while the temporary name is recorded or forgotten.
class SignalsBlocked {
public:
    SignalsBlocked()
    {
        sigset_t all;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &old_);
    }
    ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

} // namespace

int TemporaryFile::Create(const std::string& path)
{
    path_ = path;
    size_t nameStart = NameStart(path);
    temporary_ = path.substr(0, nameStart) + "." + path.substr(nameStart) + ".XXXXXX";
    SignalsBlocked blocked;
    int fd = temporary_.size() < sizeof gTemporary ? mkstemp(&temporary_[0]) : -1;
    if (fd < 0) {
        int error = temporary_.size() < sizeof gTemporary ? errno : ENAMETOOLONG;
        temporary_.clear();
        return error;
    }
    handle_ = fd;
    memcpy(gTemporary, temporary_.c_str(), temporary_.size() + 1);
    CatchSignals();
    return 0;
}

TemporaryFile::~TemporaryFile()
{
    if (temporary_.empty())
        return;
    if (handle_ >= 0)
        close((int)handle_);
    SignalsBlocked blocked;
    if (!committed_)
        unlink(temporary_.c_str());
    gTemporary[0] = '\0';
    for (size_t i = 0; i < kSignalCount; ++i)
        sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
}

int TemporaryFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size)
{
    size_t written = 0;
    while (written < size) {
        ssize_t n = pwrite((int)handle_, bytes + written, size - written, (off_t)(offset + written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        written += (size_t)n;
    }
    return 0;
}

int TemporaryFile::Look(uint64_t size, const std::function<void(const uint8_t* bytes, size_t size)>& look) const
{
    if (size == 0) {
        look(nullptr, 0);
        return 0;
    }
    void* mapping = mmap(nullptr, (size_t)size, PROT_READ, MAP_SHARED, (int)handle_, 0);
    if (mapping == MAP_FAILED)
        return errno;
    struct Unmap {
        void* mapping;
        size_t size;
        ~Unmap() { munmap(mapping, size); }
    } unmap{mapping, (size_t)size};
    look((const uint8_t*)mapping, (size_t)size);
    return 0;
}

int TemporaryFile::Commit()
{
    // mkstemp gives 0600; a finished installer gets the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod((int)handle_, 0666 & ~mask) != 0 || fsync((int)handle_) != 0)
        return errno;
    int closed = close((int)handle_);
    handle_ = -1;
    if (closed != 0)
        return errno;
    if (rename(temporary_.c_str(), path_.c_str()) != 0)
        return errno;
    committed_ = true;
    return 0;
}
