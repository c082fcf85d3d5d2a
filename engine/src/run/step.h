// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "run/failure.h"
#include "run/progress.h"

#include "kestrin/report.h"
#include "kestrin/run_analysis.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace kestrin {

// A run ends early: how, and with what. Every step of a run gives one, or nothing when the run goes on;
// a step that finds the cancel flag set ends the run with Cancelled(), and a worker job that finds it
// set just returns.
struct EarlyEnd {
    RunStatus status = RunStatus::Cancelled;
    std::optional<Refusal> refusal;
    std::optional<FileError> error;

    [[nodiscard]] static EarlyEnd Cancelled() { return {}; }
    [[nodiscard]] static EarlyEnd Refused(Refusal why) { return {RunStatus::Refused, std::move(why), {}}; }
    [[nodiscard]] static EarlyEnd InputFailed(FileError error)
    {
        return {RunStatus::InputFailed, std::nullopt, std::move(error)};
    }
};
using StepEnd = std::optional<EarlyEnd>;

// What every phase of a run shares: the host, what it is shown, and the flag that the host's cancel sets.
struct RunContext {
    RunObserver& observer;
    ProgressDisplay& display;
    CancelFlag& cancel;
};

// Runs the jobs of a step on the workers while the host keeps its events; a cancel ends the run. onTick,
// when given, shows the progress at every yield and once more after the last job, so that the host
// always sees where the step ended.
[[nodiscard]] StepEnd RunJobs(RunContext& run, std::size_t jobs, unsigned threads,
                              const std::function<void(std::size_t job, unsigned worker)>& job,
                              const std::function<void()>& onTick = {});

// What ranking (or the savings choice) gives the outputs: the result lines and, with real savings, the
// sizes the report ends with.
struct RankedResults {
    std::vector<ResultEntry> entries;
    std::optional<EncodedSizes> sizes;
    std::string encodingPreview;   // with real savings and an encoding preview asked for
    std::vector<CurvePoint> curve; // with real savings, when the curve is asked for
};

} // namespace kestrin
