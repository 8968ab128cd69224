#include "packer/pack/parallel_pack.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "packer/pack/input_file.h"
#include "packer/pack/installer_verifier.h"
#include "packer/system/platform.h"

namespace {

PackedFile PackFile(const MemberSource& member, size_t number, PackMethod method,
                    const std::function<void(size_t memberDone)>& progress, const Lh5Runner& runner)
{
    FileContents contents;
    if (member.contents)
        contents.bytes = *member.contents;
    else
        contents = ReadInputFile(member.path, kLh5MaxInput, (int64_t)member.size);
    PackedFile file;
    file.size = contents.bytes.size();
    file.packed = PackMember(contents.bytes.data(), contents.bytes.size(), method, progress, runner);
    file.header = MemberHeader(member.name, contents.bytes.size(), member.modified, file.packed);
    if (file.packed.compressed) {
        ExpectedMember expected{member.name, contents.bytes.data(), contents.bytes.size(),
                                DosDateTime(member.modified)};
        VerifyPackedMember(number, expected, file.header, file.packed.stream);
    } else {
        file.stored = std::move(contents.bytes);
    }
    return file;
}

// The segments of one member that the thread packing it offers to the others.
struct SegmentBatch {
    const std::function<void(size_t)>* pack;
    size_t count;
    size_t taken = 0;
    size_t finished = 0;
    std::exception_ptr error;
};

// The members, packed by a pool of threads, handed to the writer on the
// calling thread in member order; everything below is shared under mutex_.
class ParallelPacking {
public:
    ParallelPacking(const std::vector<MemberSource>& members, PackMethod method, unsigned jobs)
        : members_(members), method_(method), count_(members.size()), ready_(members.size()),
          started_(members.size(), false)
    {
        size_t segments = 0;
        for (const MemberSource& member : members)
            segments += method == PackMethod::Lh0 ? 1 : std::max<size_t>(1, Lh5SegmentCount(member.PackedSize()));
        threads_ = std::max<size_t>(1, std::min<size_t>(segments, jobs != 0 ? jobs : UsableProcessors()));
        // Members packed ahead of the one to write next: enough to keep every
        // core busy, few enough to bound memory.
        ahead_ = 2 * threads_;
        runSegments_ = [this](size_t n, const std::function<void(size_t)>& task) { RunSegments(n, task); };
    }

    void Run(const PackedFileWriter& write, const std::function<void(uint64_t done)>& progress)
    {
        std::vector<std::thread> pool;
        for (size_t t = 0; t < threads_; ++t) {
            try {
                pool.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break; // as many as the system gives; with none, this thread packs too
            }
        }

        std::unique_lock<std::mutex> lock(mutex_);
        while (nextToWrite_ < count_ && !failure_) {
            if (!ready_[nextToWrite_]) {
                if (pool.empty())
                    Pack(lock, nextToWrite_);
                else
                    changed_.wait_for(lock, std::chrono::milliseconds(100));
                lock.unlock();
                progress(done_);
                lock.lock();
                continue;
            }
            std::unique_ptr<PackedFile> file = std::move(ready_[nextToWrite_]);
            lock.unlock();
            try {
                write(nextToWrite_, *file);
            } catch (...) {
                lock.lock();
                failure_ = std::current_exception();
                break;
            }
            file.reset();
            lock.lock();
            ++nextToWrite_;
            changed_.notify_all();
        }
        stopping_ = true;
        changed_.notify_all();
        lock.unlock();
        for (std::thread& thread : pool)
            thread.join();
        progress(done_);
        if (failure_)
            std::rethrow_exception(failure_);
    }

private:
    // Within the window, the largest member not yet started: no big member
    // should start last and run alone.
    size_t Pick() const
    {
        size_t best = count_;
        for (size_t i = nextToWrite_; i < std::min(count_, nextToWrite_ + ahead_); ++i) {
            if (!started_[i] && (best == count_ || members_[i].PackedSize() > members_[best].PackedSize()))
                best = i;
        }
        return best;
    }

    // Takes the next segment of the oldest batch offered and packs it without
    // the lock.
    void PackSegment(std::unique_lock<std::mutex>& lock)
    {
        SegmentBatch& batch = *offered_.front();
        size_t k = batch.taken++;
        if (batch.taken == batch.count)
            offered_.pop_front();
        lock.unlock();
        std::exception_ptr error;
        try {
            (*batch.pack)(k);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !batch.error)
            batch.error = error;
        ++batch.finished;
        changed_.notify_all();
    }

    // The encoder's runner: offers a member's segments and packs the oldest
    // ones offered, its own or another member's, until its own are done.
    // After a failure elsewhere the member is not wanted: its segments not
    // yet taken are dropped, and the failure is thrown once those taken are
    // done.
    void RunSegments(size_t n, const std::function<void(size_t)>& task)
    {
        SegmentBatch batch{&task, n, 0, 0, nullptr};
        std::unique_lock<std::mutex> lock(mutex_);
        offered_.push_back(&batch);
        changed_.notify_all();
        while (batch.finished < n && !failure_) {
            if (!offered_.empty())
                PackSegment(lock);
            else
                changed_.wait(lock);
        }
        if (batch.finished < n) {
            if (batch.taken < n)
                offered_.erase(std::find(offered_.begin(), offered_.end(), &batch));
            changed_.wait(lock, [&] { return batch.finished == batch.taken; });
            std::rethrow_exception(failure_);
        }
        if (batch.error)
            std::rethrow_exception(batch.error);
    }

    // Packs member i without the lock and files the result under it.
    void Pack(std::unique_lock<std::mutex>& lock, size_t i)
    {
        started_[i] = true;
        lock.unlock();
        size_t reported = 0;
        std::unique_ptr<PackedFile> file;
        std::exception_ptr error;
        try {
            file.reset(new PackedFile(PackFile(members_[i], i + 1, method_, [&](size_t memberDone) {
                done_ += memberDone - reported;
                reported = memberDone;
            }, runSegments_)));
        } catch (...) {
            error = std::current_exception();
        }
        done_ += members_[i].PackedSize() - reported;
        lock.lock();
        if (error && !failure_)
            failure_ = error;
        ready_[i] = std::move(file);
        changed_.notify_all();
    }

    // A pool thread: segments offered come first, so that a large member is
    // packed on every core and no more members are held than without
    // segments; else the next member to start.
    void Work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            size_t i = count_;
            changed_.wait(lock, [&] { return stopping_ || failure_ || !offered_.empty() || (i = Pick()) != count_; });
            if (stopping_ || failure_)
                return;
            if (!offered_.empty())
                PackSegment(lock);
            else
                Pack(lock, i);
        }
    }

    const std::vector<MemberSource>& members_;
    const PackMethod method_;
    const size_t count_;
    size_t threads_;
    size_t ahead_;
    Lh5Runner runSegments_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<PackedFile>> ready_;
    std::vector<bool> started_;
    size_t nextToWrite_ = 0;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::atomic<uint64_t> done_{0};
    // Segments offered and not yet taken.
    std::deque<SegmentBatch*> offered_;
};

} // namespace

void PackInOrder(const std::vector<MemberSource>& members, PackMethod method, const PackedFileWriter& write,
                 const std::function<void(uint64_t done)>& progress, unsigned jobs)
{
    ParallelPacking packing(members, method, jobs);
    packing.Run(write, progress);
}
