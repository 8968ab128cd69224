#include "packer/parallel_pack.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

std::vector<PackedMember> PackMembers(const std::vector<const std::vector<uint8_t>*>& inputs, PackMethod method,
                                      const std::function<void(uint64_t done)>& progress)
{
    const size_t count = inputs.size();
    std::vector<PackedMember> packed(count);
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;
    size_t running = 0;
    std::exception_ptr failure;
    // Largest first, so that no big member starts last and runs alone.
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&inputs](size_t a, size_t b) { return inputs[a]->size() > inputs[b]->size(); });

    auto work = [&]() {
        for (size_t k; (k = next.fetch_add(1)) < count;) {
            const size_t i = order[k];
            const std::vector<uint8_t>& input = *inputs[i];
            size_t reported = 0;
            try {
                packed[i] = PackMember(input.data(), input.size(), method, [&](size_t memberDone) {
                    done += memberDone - reported;
                    reported = memberDone;
                });
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!failure)
                    failure = std::current_exception();
                next = count;
            }
            done += input.size() - reported;
        }
        std::lock_guard<std::mutex> lock(mutex);
        --running;
        finished.notify_one();
    };

    std::vector<std::thread> threads;
    const size_t wanted = std::min<size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
    for (size_t t = 0; t < wanted; ++t) {
        std::lock_guard<std::mutex> lock(mutex);
        try {
            threads.emplace_back(work);
            ++running;
        } catch (const std::system_error&) {
            break; // as many as the system gives; none at all: this thread does the work
        }
    }
    if (threads.empty()) {
        running = 1;
        work();
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (running > 0) {
            finished.wait_for(lock, std::chrono::milliseconds(100));
            progress(done);
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
    return packed;
}
