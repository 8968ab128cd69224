#include "packer/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "packer/pack_error.h"

namespace {

const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const size_t kSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];

// The temporary file to remove if a signal ends the program; empty when none.
char gTemporary[PATH_MAX];

extern "C" void RemoveTemporaryAndDie(int signalNumber)
{
    if (gTemporary[0] != '\0')
        unlink(gTemporary);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Handlers go in only where the signal is not ignored: a build started under
// nohup must survive its hang-up as before.
void CatchSignals(struct sigaction* previous)
{
    struct sigaction action = {};
    action.sa_handler = RemoveTemporaryAndDie;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kSignalCount; ++i) {
        sigaction(kCleanupSignals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler != SIG_IGN)
            sigaction(kCleanupSignals[i], &action, nullptr);
    }
}

struct sigaction previousActions[kSignalCount];

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

PackError WriteError(const std::string& path, int error)
{
    return PackError(path + ": cannot write: " + strerror(error), EXIT_FILE_ERROR);
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    temporary_ = (slash == std::string::npos ? "" : folder) + "." + base + ".XXXXXX";
    if (temporary_.size() >= sizeof gTemporary)
        throw PackError(path + ": path too long", EXIT_FILE_ERROR);

    SignalsBlocked blocked;
    fd_ = mkstemp(&temporary_[0]);
    int error = errno;
    if (fd_ < 0)
        throw PackError(path + ": cannot create a file in " + folder + ": " + strerror(error), EXIT_FILE_ERROR);
    memcpy(gTemporary, temporary_.c_str(), temporary_.size() + 1);
    CatchSignals(previousActions);
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0)
        close(fd_);
    SignalsBlocked blocked;
    if (!committed_)
        unlink(temporary_.c_str());
    gTemporary[0] = '\0';
    for (size_t i = 0; i < kSignalCount; ++i)
        sigaction(kCleanupSignals[i], &previousActions[i], nullptr);
}

void OutputFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size)
{
    size_t written = 0;
    while (written < size) {
        ssize_t n = pwrite(fd_, bytes + written, size - written, (off_t)(offset + written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw WriteError(path_, errno);
        written += (size_t)n;
    }
}

void OutputFile::Write(const uint8_t* bytes, size_t size)
{
    WriteAt(size_, bytes, size);
    size_ += size;
}

void OutputFile::ReadBack(const std::function<void(const uint8_t* bytes, size_t size)>& look) const
{
    if (size_ == 0) {
        look(nullptr, 0);
        return;
    }
    void* mapping = mmap(nullptr, (size_t)size_, PROT_READ, MAP_SHARED, fd_, 0);
    if (mapping == MAP_FAILED)
        throw PackError(path_ + ": cannot read back what was written: " + strerror(errno), EXIT_FILE_ERROR);
    struct Unmap {
        void* mapping;
        size_t size;
        ~Unmap() { munmap(mapping, size); }
    } unmap{mapping, (size_t)size_};
    look((const uint8_t*)mapping, (size_t)size_);
}

void OutputFile::Commit()
{
    // mkstemp gives 0600; a finished installer gets the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd_, 0666 & ~mask) != 0 || fsync(fd_) != 0)
        throw WriteError(path_, errno);
    int closed = close(fd_);
    fd_ = -1;
    if (closed != 0)
        throw WriteError(path_, errno);
    if (rename(temporary_.c_str(), path_.c_str()) != 0)
        throw WriteError(path_, errno);
    committed_ = true;
}
