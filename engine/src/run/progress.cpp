// SPDX-License-Identifier: MIT
// The progress a run shows: only changes are passed to the host, and the position within a file moves
// with the work done on it, each stage (reading, scan, count, the sorting units' finish) weighed by its
// estimated cost, so that it moves at about the same pace all through a file.

#include "run/progress.h"

#include "counting/counting_plan.h"

#include <algorithm>

namespace kestrin {
namespace {

// Rough costs of the stages, in nanoseconds a byte, as measured on a release build with the file in the
// page cache. They only weigh the stages against each other.
constexpr double readCost = 0.3;
constexpr double plainScanCost = 0.05; // without the comment filter: one stretch a file
constexpr double commentScanCost = 1.5;
constexpr double countCost = 3.0;       // a length counted directly, a unit of lengths 3 to 8 by hashing
constexpr double sortedFileCost = 0.3;  // a sorting unit only counts its shards' records while files come
constexpr double sortedFinishCost = 40; // ...and collects, sorts and scans them after the last file

} // namespace

void ProgressDisplay::Show(const Progress& next)
{
    if (!shownOnce || next != shown) {
        shown = next;
        shownOnce = true;
        observer.ShowProgress(shown);
    }
}

void ShowPosition(Progress& progress, std::int64_t position, std::int64_t fileSize)
{
    if (position >= 50) {
        progress.position = position - position % 50;
    }
    if (position >= 500 && fileSize > 0) {
        progress.completion =
            std::min(1.0, static_cast<double>(position - position % 500) / static_cast<double>(fileSize));
    }
}

StageCosts WeighFileStages(const CountWeights& count, std::int64_t fileSize, bool lastFile,
                           std::int64_t inputSize)
{
    double perByte = 0;
    double finish = 0;
    unsigned jobs = 0;
    ChooseUnits(count.lengths, count.threads, count.files, count.largestFile, [&](const UnitChoice& unit) {
        jobs += unit.FileJobs();
        if (unit.FinishJobs() > 0) {
            perByte += sortedFileCost;
            finish += sortedFinishCost;
        } else {
            perByte += countCost * static_cast<double>(std::count_if(unit.lengths.begin(), unit.lengths.end(),
                                                                     [](auto l) { return l > 0; }));
        }
    });
    // The jobs of a stage share the workers.
    const double parallel = std::max(1u, std::min(count.threads, jobs));
    const auto size = static_cast<double>(fileSize);
    const double scan = count.comments ? commentScanCost : plainScanCost;
    return {readCost * size, scan * size, perByte / parallel * size,
            lastFile ? finish / parallel * static_cast<double>(inputSize) : 0.0};
}

FileProgress::FileProgress(ProgressDisplay& shown, const StageCosts& stageCosts)
    : display(shown), costs(stageCosts)
{
    for (const double cost : costs) {
        total += cost;
    }
}

void FileProgress::Show(FileStage stage, double fraction, std::int64_t handledTo, std::int64_t fileSize)
{
    double done = 0;
    for (std::size_t s = 0; s < static_cast<std::size_t>(stage); ++s) {
        done += costs[s];
    }
    done += costs[static_cast<std::size_t>(stage)] * std::clamp(fraction, 0.0, 1.0);
    const auto position =
        total > 0 ? static_cast<std::int64_t>(done / total * static_cast<double>(handledTo)) : 0;
    if (position <= reached) {
        return;
    }
    reached = position;
    Progress now = display.Current();
    ShowPosition(now, position, fileSize);
    display.Show(now);
}

} // namespace kestrin
