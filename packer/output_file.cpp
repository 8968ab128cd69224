#include "packer/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <string.h>
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

// Owns the temporary file from its creation until it is renamed or removed.
class Temporary {
public:
    explicit Temporary(const std::string& target)
    {
        size_t slash = target.rfind('/');
        std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        path_ = (slash == std::string::npos ? "" : folder) + "." + base + ".XXXXXX";
        if (path_.size() >= sizeof gTemporary)
            throw PackError(target + ": path too long", EXIT_FILE_ERROR);

        // Signals wait until the name is recorded for the handler.
        sigset_t all, old;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &old);
        fd_ = mkstemp(&path_[0]);
        int error = errno;
        if (fd_ >= 0) {
            memcpy(gTemporary, path_.c_str(), path_.size() + 1);
            struct sigaction action = {};
            action.sa_handler = RemoveTemporaryAndDie;
            sigemptyset(&action.sa_mask);
            for (size_t i = 0; i < kSignalCount; ++i)
                sigaction(kCleanupSignals[i], &action, &previous_[i]);
        }
        sigprocmask(SIG_SETMASK, &old, nullptr);
        if (fd_ < 0)
            throw PackError(target + ": cannot create a file in " + folder + ": " + strerror(error), EXIT_FILE_ERROR);
    }

    ~Temporary()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!renamed_)
            unlink(path_.c_str());
        Forget();
    }

    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

    // Closes the file; returns 0 or the errno of a late write failure.
    int Close()
    {
        int result = close(fd_) == 0 ? 0 : errno;
        fd_ = -1;
        return result;
    }

    void MarkRenamed() { renamed_ = true; }

private:
    void Forget()
    {
        sigset_t all, old;
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &old);
        gTemporary[0] = '\0';
        for (size_t i = 0; i < kSignalCount; ++i)
            sigaction(kCleanupSignals[i], &previous_[i], nullptr);
        sigprocmask(SIG_SETMASK, &old, nullptr);
    }

    std::string path_;
    int fd_ = -1;
    bool renamed_ = false;
    struct sigaction previous_[kSignalCount] = {};
};

} // namespace

void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes)
{
    Temporary temporary(path);
    auto fail = [&](int error) {
        return PackError(path + ": cannot write: " + strerror(error), EXIT_FILE_ERROR);
    };

    size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = write(temporary.Fd(), bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw fail(errno);
        written += (size_t)n;
    }
    // mkstemp gives 0600; a finished installer gets the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(temporary.Fd(), 0666 & ~mask) != 0 || fsync(temporary.Fd()) != 0)
        throw fail(errno);
    if (int error = temporary.Close())
        throw fail(error);
    if (rename(temporary.Path().c_str(), path.c_str()) != 0)
        throw fail(errno);
    temporary.MarkRenamed();
}
