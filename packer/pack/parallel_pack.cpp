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

} // namespace

void PackInOrder(const std::vector<MemberSource>& members, PackMethod method, const PackedFileWriter& write,
                 const std::function<void(uint64_t done)>& progress, unsigned jobs)
{
    const size_t count = members.size();
    size_t segments = 0;
    for (const MemberSource& member : members)
        segments += method == PackMethod::Lh0 ? 1 : std::max<size_t>(1, Lh5SegmentCount(member.PackedSize()));
    const size_t threads = std::max<size_t>(1, std::min<size_t>(segments, jobs != 0 ? jobs : UsableProcessors()));
    // Members packed ahead of the one to write next: enough to keep every
    // core busy, few enough to bound memory.
    const size_t ahead = 2 * threads;

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<PackedFile>> ready(count);
    std::vector<bool> started(count, false);
    size_t nextToWrite = 0;
    bool stopping = false;
    std::exception_ptr failure;
    std::atomic<uint64_t> done{0};
    // Segments offered and not yet taken. A thread takes them before it
    // starts another member, so that a large member is packed on every core
    // and no more members are held than without segments.
    std::deque<SegmentBatch*> offered;

    // Within the window, the largest member not yet started: no big member
    // should start last and run alone.
    auto pick = [&]() {
        size_t best = count;
        for (size_t i = nextToWrite; i < std::min(count, nextToWrite + ahead); ++i) {
            if (!started[i] && (best == count || members[i].PackedSize() > members[best].PackedSize()))
                best = i;
        }
        return best;
    };
    // Takes the next segment of the oldest batch offered and packs it without
    // the lock.
    auto packSegment = [&](std::unique_lock<std::mutex>& lock) {
        SegmentBatch& batch = *offered.front();
        size_t k = batch.taken++;
        if (batch.taken == batch.count)
            offered.pop_front();
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
        changed.notify_all();
    };
    // Offers a member's segments and packs the oldest ones offered, its own
    // or another member's, until its own are done. After a failure elsewhere
    // the member is not wanted: its segments not yet taken are dropped, and
    // the failure is thrown once those taken are done.
    const Lh5Runner runSegments = [&](size_t n, const std::function<void(size_t)>& task) {
        SegmentBatch batch{&task, n, 0, 0, nullptr};
        std::unique_lock<std::mutex> lock(mutex);
        offered.push_back(&batch);
        changed.notify_all();
        while (batch.finished < n && !failure) {
            if (!offered.empty())
                packSegment(lock);
            else
                changed.wait(lock);
        }
        if (batch.finished < n) {
            if (batch.taken < n)
                offered.erase(std::find(offered.begin(), offered.end(), &batch));
            changed.wait(lock, [&] { return batch.finished == batch.taken; });
            std::rethrow_exception(failure);
        }
        if (batch.error)
            std::rethrow_exception(batch.error);
    };
    // Packs member i without the lock and files the result under it.
    auto pack = [&](std::unique_lock<std::mutex>& lock, size_t i) {
        started[i] = true;
        lock.unlock();
        size_t reported = 0;
        std::unique_ptr<PackedFile> file;
        std::exception_ptr error;
        try {
            file.reset(new PackedFile(PackFile(members[i], i + 1, method, [&](size_t memberDone) {
                done += memberDone - reported;
                reported = memberDone;
            }, runSegments)));
        } catch (...) {
            error = std::current_exception();
        }
        done += members[i].PackedSize() - reported;
        lock.lock();
        if (error && !failure)
            failure = error;
        ready[i] = std::move(file);
        changed.notify_all();
    };
    auto work = [&]() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            size_t i = count;
            changed.wait(lock, [&] { return stopping || failure || !offered.empty() || (i = pick()) != count; });
            if (stopping || failure)
                return;
            if (!offered.empty())
                packSegment(lock);
            else
                pack(lock, i);
        }
    };

    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break; // as many as the system gives; with none, this thread packs too
        }
    }

    std::unique_lock<std::mutex> lock(mutex);
    while (nextToWrite < count && !failure) {
        if (!ready[nextToWrite]) {
            if (pool.empty())
                pack(lock, nextToWrite);
            else
                changed.wait_for(lock, std::chrono::milliseconds(100));
            lock.unlock();
            progress(done);
            lock.lock();
            continue;
        }
        std::unique_ptr<PackedFile> file = std::move(ready[nextToWrite]);
        lock.unlock();
        try {
            write(nextToWrite, *file);
        } catch (...) {
            lock.lock();
            failure = std::current_exception();
            break;
        }
        file.reset();
        lock.lock();
        ++nextToWrite;
        changed.notify_all();
    }
    stopping = true;
    changed.notify_all();
    lock.unlock();
    for (std::thread& thread : pool)
        thread.join();
    progress(done);
    if (failure)
        std::rethrow_exception(failure);
}
