#include "worker_pool.h"

#include "run_failure.h"

#include "kestrin/run_observer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kestrin {
namespace {

// The host gets control at least this often while the workers count.
constexpr std::chrono::milliseconds yieldInterval{20};

} // namespace

bool RunOnWorkers(std::size_t jobCount, unsigned threads,
                  const std::function<void(std::size_t job, unsigned worker)>& job, std::atomic<bool>& cancel,
                  RunObserver& observer, const std::function<void()>& onTick)
{
    if (jobCount == 0) {
        return !cancel.load();
    }
    const auto workerCount = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, threads), jobCount));
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::exception_ptr failure;
    std::condition_variable done;
    unsigned running = workerCount;
    std::vector<std::thread> workers;
    workers.reserve(workerCount);
    const auto work = [&](unsigned worker) {
        try {
            for (std::size_t i = next++; i < jobCount && !cancel.load(std::memory_order_relaxed);
                 i = next++) {
                job(i, worker);
            }
        } catch (...) {
            // Out of memory, say: stop the others and hand the failure to the calling thread.
            const std::lock_guard lock(mutex);
            if (!failure) {
                failure = std::current_exception();
            }
            cancel.store(true);
        }
        const std::lock_guard lock(mutex);
        --running;
        done.notify_one();
    };
    for (unsigned w = 0; w < workerCount; ++w) {
        try {
            workers.emplace_back(work, w);
        } catch (const std::system_error&) {
            // The system gives no more threads: go on with those there are.
            const std::lock_guard lock(mutex);
            running -= workerCount - w;
            break;
        }
    }
    if (workers.empty()) {
        throw RunFailure{Failure::NoThread, {}};
    }
    while (true) {
        {
            std::unique_lock lock(mutex);
            if (done.wait_for(lock, yieldInterval, [&] { return running == 0; })) {
                break;
            }
        }
        if (onTick) {
            onTick();
        }
        if (observer.YieldAndCheckCancel()) {
            cancel.store(true);
        }
    }
    for (auto& worker : workers) {
        worker.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !cancel.load();
}

} // namespace kestrin
