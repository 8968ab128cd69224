#include "packer/parallel_pack.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "packer/installer_verifier.h"
#include "packer/platform.h"

namespace {

PackedFile PackFile(const MemberSource& member, size_t number, PackMethod method,
                    const std::function<void(size_t memberDone)>& progress)
{
    FileContents contents;
    if (member.contents)
        contents.bytes = *member.contents;
    else
        contents = ReadInputFile(member.path, kLh5MaxInput, (int64_t)member.size);
    PackedFile file;
    file.size = contents.bytes.size();
    file.packed = PackMember(contents.bytes.data(), contents.bytes.size(), method, progress);
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

} // namespace

void PackInOrder(const std::vector<MemberSource>& members, PackMethod method, const PackedFileWriter& write,
                 const std::function<void(uint64_t done)>& progress, unsigned jobs)
{
    const size_t count = members.size();
    const size_t threads = std::max<size_t>(1, std::min<size_t>(count, jobs != 0 ? jobs : UsableProcessors()));
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
            })));
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
            changed.wait(lock, [&] { return stopping || failure || (i = pick()) != count; });
            if (stopping || failure)
                return;
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
