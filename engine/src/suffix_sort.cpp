// SPDX-License-Identifier: MIT
// Work that cannot be stopped midway (the suffix sort) on a thread of its own, so that a cancel ends the
// run at once and the work's result is thrown away when it finishes.

#include "suffix_sort.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace kestrin {
namespace {

// How often the waiting thread looks at the cancel flag.
constexpr std::chrono::milliseconds lookInterval{5};

// What the waiting thread and the task's thread share; the last of them to let go frees it.
struct Unstoppable {
    std::function<void()> task;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;

    void Run()
    {
        std::exception_ptr thrown;
        try {
            task();
        } catch (...) {
            thrown = std::current_exception();
        }
        task = nullptr; // what the task owns goes now, even when nobody waits for it any more
        const std::lock_guard lock(mutex);
        failure = thrown;
        done = true;
        finished.notify_one();
    }
};

} // namespace

bool RunUnstoppable(std::function<void()> task, const CancelFlag& cancel)
{
    auto shared = std::make_shared<Unstoppable>();
    shared->task = std::move(task);
    try {
        std::thread([shared] { shared->Run(); }).detach();
    } catch (const std::system_error&) {
        shared->Run(); // no thread to be had: the cancel waits for the task
    }
    std::unique_lock lock(shared->mutex);
    while (!shared->finished.wait_for(lock, lookInterval, [&] { return shared->done; })) {
        if (cancel.IsSet()) {
            return false;
        }
    }
    if (shared->failure) {
        std::rethrow_exception(shared->failure);
    }
    return true;
}

} // namespace kestrin
