// SPDX-License-Identifier: MIT
#pragma once

#include "counting/comment_scanner.h"
#include "counting/counting_plan.h"
#include "io/file_io.h"
#include "io/input_file.h"
#include "run/resolved_settings.h"
#include "run/step.h"

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrin {

// The counting phase of a run: each input read whole on a worker, scanned for comments and counted by
// the units of the plan, which the first file makes; after the last file the sorting units' finish, with
// a job of the caller's beside it (the savings index, which needs only the text, all read by then).
class ByteCount
{
public:
    // The settings must outlive the count.
    ByteCount(RunContext& context, const ResolvedSettings& resolved);

    // Counts every input; besideFinish, when given, runs on a worker of its own beside the finish, also
    // when there is no input file.
    [[nodiscard]] StepEnd CountAll(const std::function<void()>& besideFinish);

    [[nodiscard]] const std::vector<std::unique_ptr<InputFile>>& Files() const { return files; }
    [[nodiscard]] const CountingPlan& Plan() const { return plan; }
    [[nodiscard]] const RunCounters& Counters() const { return counters; }
    // With real savings, the text the count read, as the savings index takes it (CommentScanner::Scan):
    // each file apart, within a file the text the comment filter lets through. Views into Files().
    [[nodiscard]] std::vector<std::string_view> TakeCountedText() { return std::move(countedText); }
    // Whether an input holds a lone LF, when the comment rules watch for one.
    [[nodiscard]] bool LoneLineFeeds() const { return scanner.SawLoneLineFeed(); }
    // The units' memory goes once the results are taken.
    void ReleasePlan() { plan = CountingPlan{}; }

private:
    struct Job {
        CountingUnit* unit;
        unsigned index;
    };

    [[nodiscard]] StepEnd CountFile(std::size_t index, std::int64_t& distinctBefore, std::uint64_t& fileBase,
                                    const std::function<void()>& besideFinish);
    [[nodiscard]] StepEnd ReadAndPlan(std::size_t index, FileProgress& shown);
    [[nodiscard]] StepEnd CountScanned(std::size_t index, const FileScan& scan, std::uint64_t fileBase,
                                       std::int64_t distinctBefore, FileProgress& shown);
    [[nodiscard]] StepEnd FinishCount(FileProgress* shown, std::int64_t handledTo, std::int64_t fileSize,
                                      const std::function<void()>& besideFinish);
    [[nodiscard]] InputShape ShapeOfInput(const InputFile& first) const;
    void PlanTheCount(const InputShape& shape);
    [[nodiscard]] StageCosts WeighStages(std::size_t index) const;
    [[nodiscard]] std::int64_t DistinctOverList() const;

    // Set when the phase starts.
    RunContext& run;
    const ResolvedSettings& resolved;
    const std::vector<FileLook>& looks; // of every input, before any is read
    CommentScanner scanner;
    std::int64_t bufferLength = 0;

    // Filled as the files come: the files, and from the first one the plan and its jobs.
    std::vector<std::unique_ptr<InputFile>> files;
    CountingPlan plan;
    std::size_t plannedFiles = 0; // what the plan knew of the input
    std::int64_t plannedLargest = 0;
    std::vector<Job> fileJobs;
    std::vector<Job> finishJobs;
    RunCounters counters;
    std::vector<std::string_view> countedText; // with real savings
};

} // namespace kestrin
