// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin {

// The phases of a run, in the order they come.
enum class RunPhase {
    Counting,     // reading and counting the input files
    Ranking,      // choosing the best strings
    Formatting,   // the skip filters
    WritingTable, // building the block of the output table (only when there is one)
    Reporting,    // building and writing the report
};

// Where a run stands: data, which each host phrases in its own words.
struct Progress {
    RunPhase phase = RunPhase::Counting;
    std::int64_t file = 1;       // the input file being counted, from 1
    std::int64_t files = 1;      // the number of input files
    std::int64_t position = 1;   // the position reached in that file, from 1, in steps of 50
    std::int64_t matchCount = 0; // different strings counted so far
    double completion = 0.0;     // fraction of the current file counted, 0..1, in steps of 500 positions
    // Once ranking has chosen its results: the number of the last one and the request as typed, which
    // the window shows as "N of request".
    std::optional<std::int64_t> lastResult;
    std::string request;

    bool operator==(const Progress&) const = default;
};

// Everything a run tells or asks its host while it works. The window and the batch command each
// implement it; all calls come from the thread that called RunAnalysis.
class RunObserver
{
public:
    virtual ~RunObserver() = default;

    // Called when the progress changes, at most about every yield interval while counting.
    virtual void ShowProgress(const Progress& now) = 0;

    // Lets the host handle its events; true asks the run to stop. Called at least every 50 ms.
    virtual bool YieldAndCheckCancel() = 0;

    // More than ten sample lengths were asked for (`count` of them, duplicates included); the run goes on.
    virtual void WarnManyLengths(std::size_t count) = 0;

    // A sample length over 200 was asked for; the host asks whether to go on (Yes is the default).
    // false ends the run.
    [[nodiscard]] virtual bool ConfirmLongLength(std::int64_t longest) = 0;

    // The request text was not numeric and has been replaced by this text ("25").
    virtual void ResetTopResults(std::string_view text) = 0;

    // The comment filter switched itself off for the rest of the session (empty custom begin text).
    virtual void ClearUseComments() = 0;
};

} // namespace kestrin
