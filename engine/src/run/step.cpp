// SPDX-License-Identifier: MIT
// The one way a step of a run runs its work on the workers and ends the run when the host cancels.

#include "run/step.h"

#include "run/fresh_threads.h"

namespace kestrin {

StepEnd RunJobs(RunContext& run, std::size_t jobs, unsigned threads,
                const std::function<void(std::size_t job, unsigned worker)>& job,
                const std::function<void()>& onTick)
{
    if (!RunOnFreshThreads(jobs, threads, job, run.cancel, run.observer, onTick)) {
        return EarlyEnd::Cancelled();
    }
    if (onTick) {
        onTick();
    }
    return std::nullopt;
}

} // namespace kestrin
