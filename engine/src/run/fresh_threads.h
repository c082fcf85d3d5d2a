// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"

#include <atomic>
#include <cstddef>
#include <functional>

namespace kestrin {

class RunObserver;

using JobFunction = std::function<void(std::size_t job, unsigned worker)>;

// Runs jobs 0 to jobCount - 1 on up to `threads` threads, started for this call and joined before it
// returns, while the calling thread keeps the host responsive: every yield interval it calls onTick (when
// given) and lets the host handle its events, and a host that asks to stop sets `cancel`, which the jobs
// watch. job(index, worker) gets the number of the thread that runs it (0 to threads - 1), so that jobs
// may keep per-worker results. A job that throws (out
// of memory, say) stops the others, and the exception is thrown again on the calling thread. When the
// system gives fewer threads than asked for, the jobs share those there are. Returns false when cancelled.
[[nodiscard]] bool RunOnFreshThreads(std::size_t jobCount, unsigned threads, const JobFunction& job,
                                     CancelFlag& cancel, RunObserver& observer,
                                     const std::function<void()>& onTick = {});

} // namespace kestrin
