// Members are independent: each thread takes the next member by reading its
// header, under a lock so that headers are read in order, and writes it with
// an engine state of its own; whichever thread finds the oldest member
// finished closes it, and those after it that are finished too, so that
// members are kept in archive order. The first failure ends the run as it
// would one member at a time: no member is taken after it, the members before
// it are finished and kept, those after it are discarded, and the serial
// walker extracts it again alone and reports it (or goes on, should it
// succeed this time, as with a file error that a member ahead of it caused).
#include "extract/parallel_extract.h"

#include <string.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "extract/archive_walker.h"
#include "extract/extract_state.h"
#include "extract/member_output.h"

namespace {

enum MemberState { MEMBER_RUNNING, MEMBER_DONE, MEMBER_FAILED };

struct TakenMember {
    const unsigned char* header; // where its header starts in the archive
    MemberState state;
    MemberFile file; // MEMBER_DONE: stamped, to be kept
};

// Small members cost more in the kernel's file calls, which threads writing
// into the same folder make wait for each other, and in handing them between
// threads, than decoding them does: a second thread starts with the first
// member of this size.
const uint32_t kLargeMember = 256 * 1024;

// Finished members wait for their turn with their files open: this many at
// most from the oldest one not yet kept.
const size_t kMembersInFlight = 64;

class ParallelExtraction {
public:
    ParallelExtraction()
    {
        const ExtractState& s = extractState;
        sink_ = s.sink;
        prefixLength_ = s.prefixLength;
        memcpy(path_, s.path, sizeof path_);
        archiveEnd_ = s.archiveEnd;
        next_ = s.archivePos;
    }

    // The calling thread works alone until it takes a large member; then up
    // to threads - 1 others join it. Fewer, even none, give the same result.
    int Run(unsigned threads)
    {
        helpersWanted_ = threads - 1;
        Work();
        // No thread starts another once the run has ended.
        for (std::thread& helper : helpers_)
            helper.join();
        if (!helpers_.empty() && sink_->createsOutOfOrder != nullptr)
            sink_->createsOutOfOrder(false);

        for (size_t member = kept_ + 1; member < taken_; ++member)
            if (Slot(member).state == MEMBER_DONE)
                sink_->close(Slot(member).file, false);
        if (kept_ == taken_ && !headerFailed_)
            return (int)kept_;
        // The oldest member that is not kept failed, or its header did.
        ExtractState& s = extractState;
        const unsigned char* header = kept_ < taken_ ? Slot(kept_).header : next_;
        s.archivePos = header;
        s.archiveRemaining = (uint32_t)(archiveEnd_ - header);
        s.headersRead = (uint32_t)kept_;
        s.membersBegun = (uint32_t)kept_;
        s.outFile = kNoMemberFile;
        s.nameTerminated = false;
        s.failure = FAILURE_NONE;
        return ExtractMembers();
    }

private:
    TakenMember& Slot(size_t member) { return slots_[member % kMembersInFlight]; }

    void SetUpThread()
    {
        ExtractState& s = extractState;
        BuildCrc16Table(s.crcTable);
        s.sink = sink_;
        s.prefixLength = prefixLength_;
        memcpy(s.path, path_, sizeof path_);
        s.archiveEnd = archiveEnd_;
        s.outFile = kNoMemberFile;
    }

    void Work()
    {
        ExtractState& s = extractState;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            room_.wait(lock, [&] { return ended_ || taken_ - kept_ < kMembersInFlight; });
            if (ended_)
                return;
            // The next header, read with this thread's state at the archive position.
            s.archivePos = next_;
            s.archiveRemaining = (uint32_t)(archiveEnd_ - next_);
            s.headersRead = (uint32_t)taken_;
            bool end = false;
            MemberMethod method = METHOD_REFUSED;
            uint32_t dataLength = 0;
            int code = ReadMemberHeader(&end, &method, &dataLength);
            if (code != 0 || end) {
                headerFailed_ = code != 0;
                End();
                return;
            }
            size_t member = taken_++;
            TakenMember& taken = Slot(member);
            taken.header = next_;
            taken.state = MEMBER_RUNNING;
            next_ = s.archivePos + (dataLength < s.archiveRemaining ? dataLength : s.archiveRemaining);
            if (helpers_.size() < helpersWanted_ && LoadLe32(s.header + kHeaderOriginalSize) >= kLargeMember)
                StartHelper();
            lock.unlock();

            s.membersBegun = (uint32_t)member;
            s.failure = FAILURE_NONE;
            bool done = ExtractMember(method, dataLength) == 0;
            MemberFile file = s.outFile;
            s.outFile = kNoMemberFile;

            lock.lock();
            taken.file = file;
            taken.state = done ? MEMBER_DONE : MEMBER_FAILED;
            if (!done)
                End();
            KeepFinishedMembers(lock);
        }
    }

    void StartHelper()
    {
        // Until now one thread created the members, in archive order; from
        // now on a member may be created before one ahead of it.
        if (helpers_.empty() && sink_->createsOutOfOrder != nullptr)
            sink_->createsOutOfOrder(true);
        try {
            helpers_.emplace_back([this] {
                SetUpThread();
                Work();
            });
        } catch (const std::system_error&) {
            helpersWanted_ = 0;
        }
    }

    // Closes the oldest members as kept while they are finished, one thread
    // at a time, the lock let go during each close.
    void KeepFinishedMembers(std::unique_lock<std::mutex>& lock)
    {
        if (keeping_)
            return;
        keeping_ = true;
        while (kept_ < taken_ && Slot(kept_).state == MEMBER_DONE) {
            MemberFile file = Slot(kept_).file;
            lock.unlock();
            bool kept = sink_->close(file, true);
            lock.lock();
            if (!kept) {
                Slot(kept_).state = MEMBER_FAILED;
                End();
                break;
            }
            ++kept_;
            room_.notify_all();
        }
        keeping_ = false;
    }

    // No member is taken from now on; those taken are finished.
    void End()
    {
        ended_ = true;
        room_.notify_all();
    }

    const MemberSink* sink_;
    uint32_t prefixLength_;
    char path_[kPathCapacity];
    const unsigned char* archiveEnd_;

    size_t helpersWanted_ = 0;
    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable room_; // a member kept, or the end
    TakenMember slots_[kMembersInFlight];
    const unsigned char* next_; // the next header
    size_t taken_ = 0;          // members whose header was read
    size_t kept_ = 0;           // members closed as kept
    bool keeping_ = false;      // a thread is closing members as kept
    bool ended_ = false;        // the end mark, or a failure
    bool headerFailed_ = false; // the header at next_ failed
};

} // namespace

int ExtractArchiveInParallel(const char* destFolder, const unsigned char* archive, uint32_t archiveSize,
                             const MemberSink* sink, unsigned threads)
{
    BeginExtraction(destFolder, archive, archiveSize, sink);
    if (threads < 2)
        return ExtractMembers();
    ParallelExtraction extraction;
    return extraction.Run(threads);
}
