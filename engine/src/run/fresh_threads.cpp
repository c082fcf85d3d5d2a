// SPDX-License-Identifier: MIT
// Runs the jobs of one step of a run on threads started for that step alone, while the calling thread
// keeps the host responsive: it shows progress, lets the host handle its events and passes a cancel on.
// Threads are started afresh at each call; a step's jobs are long enough that this costs nothing.

#include "run/fresh_threads.h"

#include "cancel_flag.h"
#include "run/failure.h"

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

// What the threads of one call share.
struct JobQueue {
    std::size_t jobCount = 0;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable done;
    unsigned running = 0;       // threads that have not finished yet
    std::exception_ptr failure; // the first job that threw
};

// One thread's loop: takes the next job until none is left or the cancel flag is set.
void TakeJobs(JobQueue& queue, unsigned worker, const JobFunction& job, CancelFlag& cancel)
{
    try {
        for (std::size_t i = queue.next++; i < queue.jobCount && !cancel.IsSet(); i = queue.next++) {
            job(i, worker);
        }
    } catch (...) {
        // Out of memory, say: stop the others and hand the failure to the calling thread.
        const std::lock_guard lock(queue.mutex);
        if (!queue.failure) {
            queue.failure = std::current_exception();
        }
        cancel.Set();
    }
    const std::lock_guard lock(queue.mutex);
    --queue.running;
    queue.done.notify_one();
}

// Until every thread has finished: the host's turn at every yield interval, and its cancel passed on.
void WaitForThreads(JobQueue& queue, CancelFlag& cancel, RunObserver& observer,
                    const std::function<void()>& onTick)
{
    while (true) {
        {
            std::unique_lock lock(queue.mutex);
            if (queue.done.wait_for(lock, yieldInterval, [&] { return queue.running == 0; })) {
                return;
            }
        }
        if (onTick) {
            onTick();
        }
        if (observer.YieldAndCheckCancel()) {
            cancel.Set();
        }
    }
}

} // namespace

bool RunOnFreshThreads(std::size_t jobCount, unsigned threads, const JobFunction& job, CancelFlag& cancel,
                       RunObserver& observer, const std::function<void()>& onTick)
{
    if (jobCount == 0) {
        return !cancel.IsSet();
    }
    const auto threadCount = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, threads), jobCount));
    JobQueue queue;
    queue.jobCount = jobCount;
    queue.running = threadCount;
    std::vector<std::thread> started;
    started.reserve(threadCount);
    for (unsigned w = 0; w < threadCount; ++w) {
        try {
            started.emplace_back([&queue, &job, &cancel, w] { TakeJobs(queue, w, job, cancel); });
        } catch (const std::system_error&) {
            // The system gives no more threads: go on with those there are.
            const std::lock_guard lock(queue.mutex);
            queue.running -= threadCount - w;
            break;
        }
    }
    if (started.empty()) {
        throw RunFailure{Failure::NoThread, {}};
    }
    WaitForThreads(queue, cancel, observer, onTick);
    for (auto& thread : started) {
        thread.join();
    }
    if (queue.failure) {
        std::rethrow_exception(queue.failure);
    }
    return !cancel.IsSet();
}

} // namespace kestrin
