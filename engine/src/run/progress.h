// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_observer.h"

#include <array>
#include <cstdint>
#include <span>

namespace kestrin {

// Keeps what the progress page shows and passes on only changes.
class ProgressDisplay
{
public:
    explicit ProgressDisplay(RunObserver& host) : observer(host) {}

    void Show(const Progress& next);
    [[nodiscard]] const Progress& Current() const { return shown; }

private:
    RunObserver& observer;
    Progress shown;
    bool shownOnce = false;
};

// Sets the position and completion shown for a position of a file: they move only at positions that are
// multiples of 50 and 500.
void ShowPosition(Progress& progress, std::int64_t position, std::int64_t fileSize);

// The stages of the work on one file, in the order they come; the finish only follows the last file.
enum class FileStage { Reading, Scanning, Counting, Finishing };
inline constexpr std::size_t fileStages = 4;
using StageCosts = std::array<double, fileStages>;

// What the weighing of a file's stages needs to know of the count: the units the plan chooses (or has
// chosen) for these lengths, threads and input, and whether the comment filter scans.
struct CountWeights {
    std::span<const std::int16_t> lengths; // sorted, each once
    unsigned threads = 1;
    std::size_t files = 0;
    std::int64_t largestFile = 0;
    bool comments = false;
};

// The estimated costs of the stages of one file of fileSize bytes. Only the last file has a finish,
// which covers the whole input (inputSize bytes). Allocates nothing.
[[nodiscard]] StageCosts WeighFileStages(const CountWeights& count, std::int64_t fileSize, bool lastFile,
                                         std::int64_t inputSize);

// The position shown while one file is worked on: the work done, each stage weighed by its cost, taken
// over the positions the file is handled up to. It never moves backwards (a stage may know the file to
// be handled up to fewer positions than an earlier one thought), and the last stage ends where the file
// is handled to.
class FileProgress
{
public:
    FileProgress(ProgressDisplay& shown, const StageCosts& stageCosts);

    // fraction: how much of the stage is done, 0..1; handledTo: the position (from 1) the file is handled
    // up to, as far as it is known yet; fileSize: the bytes of the file, as far as they are known yet.
    void Show(FileStage stage, double fraction, std::int64_t handledTo, std::int64_t fileSize);

private:
    ProgressDisplay& display;
    StageCosts costs;
    double total = 0;
    std::int64_t reached = 0;
};

} // namespace kestrin
