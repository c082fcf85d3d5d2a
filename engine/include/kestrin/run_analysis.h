#pragma once

#include "kestrin/file_error.h"
#include "kestrin/run_observer.h"
#include "kestrin/run_settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin {

enum class RunStatus {
    Completed,   // the report was built and shown; output files may still have failed (errors)
    Declined,    // No to the question about a long sample length
    Refused,     // no usable sample length; message says why
    Cancelled,   // the host asked to stop while counting or ranking
    InputFailed, // an exclusion table or input file could not be read; errors holds it
    Failed,      // the run could not finish, for want of memory say; message says why
};

struct RunCounters {
    std::int64_t totalCharacters = 0;   // bytes of all input files
    std::int64_t countedCharacters = 0; // positions at which counting ran
    std::int64_t distinctStrings = 0;   // different strings over all sample lengths
};

struct RunOutcome {
    RunStatus status = RunStatus::Completed;
    std::string message;           // Refused, Failed: the reason
    std::string report;            // Completed: the whole report text
    std::vector<FileError> errors; // InputFailed: what failed; Completed: output files that failed
    RunCounters counters;
};

// One analysis run: sample lengths, counting, ranking, skip filters, output table, report, report
// file. Declined, refused, cancelled and failed runs change no file and show no report.
[[nodiscard]] RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer);

// The refusal message for a sample-length list that no run can use, or empty when it is usable: the
// list is empty, holds a negative length, or its largest length is 0.
[[nodiscard]] std::string CheckSampleLengths(const std::vector<std::int16_t>& sortedLengths);

} // namespace kestrin
