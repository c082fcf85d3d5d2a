// SPDX-License-Identifier: MIT
// The counting phase of a run, file by file: read on a worker (so that the host keeps its events and a
// cancel is seen between chunks), scanned for comments, counted by the plan's units; then the sorting
// units' finish over all files. The position shown for a file moves with the weighed work done on it.

#include "run/byte_count.h"

#include "run/count_steps.h"

#include <algorithm>

namespace kestrin {

ByteCount::ByteCount(RunContext& context, const ResolvedSettings& resolvedSettings)
    : run(context), resolved(resolvedSettings), looks(resolvedSettings.inputLooks),
      scanner(resolvedSettings.comments),
      bufferLength(std::int64_t{resolvedSettings.lengths.back()} + scanner.LongestDelimiter())
{
    files.reserve(looks.size());
}

StepEnd ByteCount::CountAll(const std::function<void()>& besideFinish)
{
    if (looks.empty()) {
        // The first file plans the count; without one, the ranking still needs the plan.
        PlanTheCount(InputShape{});
        return FinishCount(nullptr, 0, 0, besideFinish);
    }
    std::int64_t distinctBefore = 0; // at the start of the current file
    std::uint64_t fileBase = 0;
    for (std::size_t i = 0; i < looks.size(); ++i) {
        if (auto end = CountFile(i, distinctBefore, fileBase, besideFinish)) {
            return end;
        }
    }
    counters.distinctStrings = DistinctOverList();
    return std::nullopt;
}

StepEnd ByteCount::CountFile(std::size_t index, std::int64_t& distinctBefore, std::uint64_t& fileBase,
                             const std::function<void()>& besideFinish)
{
    if (auto end = StartInput(run, index, looks.size(), distinctBefore)) {
        return end;
    }
    FileProgress shown(run.display, WeighStages(index));
    if (auto end = ReadAndPlan(index, shown)) {
        return end;
    }
    const InputFile& file = *files[index];
    // The scan runs beside the host's events too: on a large file with many delimiters it takes a while.
    FileScan scan;
    if (auto end = RunJobs(run, 1, 1, [&](std::size_t, unsigned) {
            scan =
                scanner.Scan(file, bufferLength, &run.cancel, resolved.realSavings ? &countedText : nullptr);
        })) {
        return end;
    }
    counters.countedCharacters += scan.countedPositions;
    const std::int64_t handledTo = scan.lastHandledPosition + 1;
    shown.Show(FileStage::Scanning, 1.0, handledTo, file.Size());
    if (auto end = CountScanned(index, scan, fileBase, distinctBefore, shown)) {
        return end;
    }
    if (index + 1 == looks.size()) {
        if (auto end = FinishCount(&shown, handledTo, file.Size(), besideFinish)) {
            return end;
        }
    }
    distinctBefore = DistinctOverList();
    Progress finished = run.display.Current();
    ShowPosition(finished, handledTo, file.Size());
    finished.matchCount = distinctBefore;
    run.display.Show(finished);
    fileBase += static_cast<std::uint64_t>(file.Size() + 4 * bufferLength + 4);
    return std::nullopt;
}

// Reads one input on a worker. The first file also brings the shape of the whole input, which the plan of
// the count needs.
StepEnd ByteCount::ReadAndPlan(std::size_t index, FileProgress& shown)
{
    const std::filesystem::path& path = resolved.inputFiles[index];
    std::atomic<std::int64_t> bytesRead{0};
    InputShape shape;
    const auto tick = [&] {
        const std::int64_t read = bytesRead.load(std::memory_order_relaxed);
        // A pipe's end is not known before it comes: its position follows the bytes.
        const std::int64_t expected = looks[index].regular ? looks[index].size : read;
        const double fraction = expected > 0 ? static_cast<double>(read) / static_cast<double>(expected) : 0;
        // The file is handled up to the first position whose read reaches past its end (or further, past a
        // delimiter), never less: the position shown while reading stays below where the file ends.
        shown.Show(FileStage::Reading, fraction, std::max<std::int64_t>(1, expected - bufferLength + 2),
                   expected);
    };
    // Reads may reach 16 bytes past a position whatever the lengths: short strings are read as words.
    if (auto end = ReadInput(
            run, path, std::max<std::int64_t>(bufferLength, 16), files, &bytesRead,
            [&](const InputFile& file) {
                if (index == 0) {
                    shape = ShapeOfInput(file);
                }
            },
            tick)) {
        return end;
    }
    const std::int64_t size = files.back()->Size();
    counters.totalCharacters += size;
    if (index == 0) {
        PlanTheCount(shape);
    } else if (size > plannedLargest && size >= recordPositionLimit && !finishJobs.empty()) {
        throw RunFailure{Failure::FileGrew, path};
    }
    return std::nullopt;
}

// The shape of the input from the first file, read, and a sample of each other file as it is now. A
// file whose size cannot be known in advance (a pipe) counts as too large for the records of a sort.
InputShape ByteCount::ShapeOfInput(const InputFile& first) const
{
    InputShape shape;
    shape.files = resolved.inputFiles.size();
    shape.largestFile = first.Size();
    // A sample of about a million bytes a file is plenty to balance the shards by.
    const auto* bytes = reinterpret_cast<const unsigned char*>(first.Data());
    const std::int64_t step = std::max<std::int64_t>(1, first.Size() >> 20) | 1;
    for (std::int64_t i = 0; i < first.Size(); i += step) {
        ++shape.histogram[bytes[i]];
    }
    for (std::size_t index = 1; index < looks.size() && !run.cancel.IsSet(); ++index) {
        shape.largestFile =
            std::max(shape.largestFile, looks[index].regular ? looks[index].size : recordPositionLimit);
        for (const char byte : SampleFileBytes(resolved.inputFiles[index])) {
            ++shape.histogram[static_cast<unsigned char>(byte)];
        }
    }
    return shape;
}

// One unit per different length; a length listed twice is counted once and ranked twice.
void ByteCount::PlanTheCount(const InputShape& shape)
{
    plan = PlanCounting(resolved.lengths, resolved.threads, shape);
    plannedFiles = shape.files;
    plannedLargest = shape.largestFile;
    for (const auto& unit : plan.units) {
        for (unsigned j = 0; j < unit->FileJobs(); ++j) {
            fileJobs.push_back({unit.get(), j});
        }
        for (unsigned j = 0; j < unit->FinishJobs(); ++j) {
            finishJobs.push_back({unit.get(), j});
        }
    }
}

// The costs of the stages of one file, from the units the plan has chosen; before the first file is read,
// from those it would choose by the files' sizes. The finish covers every file.
StageCosts ByteCount::WeighStages(std::size_t index) const
{
    CountWeights weights{resolved.lengths, resolved.threads, plannedFiles, plannedLargest,
                         scanner.UseComments()};
    if (files.empty()) {
        weights.files = looks.size();
        weights.largestFile = 0;
        for (const FileLook& look : looks) {
            weights.largestFile =
                std::max(weights.largestFile, look.regular ? look.size : recordPositionLimit);
        }
    }
    std::int64_t input = looks[index].size;
    for (const auto& file : files) {
        input += file->Size();
    }
    return WeighFileStages(weights, looks[index].size, index + 1 == looks.size(), input);
}

// The jobs of every unit count the file; their positions are averaged, and their counts of different
// strings (each job its own) only grow.
StepEnd ByteCount::CountScanned(std::size_t index, const FileScan& scan, std::uint64_t fileBase,
                                std::int64_t distinctBefore, FileProgress& shown)
{
    const InputFile& file = *files[index];
    const std::int64_t handledTo = scan.lastHandledPosition + 1;
    std::vector<WorkProgress> work(fileJobs.size());
    for (WorkProgress& job : work) {
        job.position.store(scan.stretches.empty() ? 0 : scan.stretches.front().begin);
    }
    const auto tick = [&] {
        std::int64_t reached = 0;
        std::int64_t distinct = 0;
        for (const WorkProgress& job : work) {
            reached += job.position.load(std::memory_order_relaxed);
            distinct += job.distinct.load(std::memory_order_relaxed);
        }
        const std::int64_t position =
            std::min(reached / static_cast<std::int64_t>(std::max<std::size_t>(work.size(), 1)),
                     scan.lastHandledPosition) +
            1;
        Progress now = run.display.Current();
        now.matchCount = std::max(distinctBefore, distinct);
        run.display.Show(now);
        shown.Show(FileStage::Counting, static_cast<double>(position) / static_cast<double>(handledTo),
                   handledTo, file.Size());
    };
    return RunJobs(
        run, fileJobs.size(), resolved.threads,
        [&](std::size_t j, unsigned) {
            (void)fileJobs[j].unit->CountFile(fileJobs[j].index, file, static_cast<std::uint32_t>(index),
                                              scan, fileBase, work[j], run.cancel);
        },
        tick);
}

// The sorting units count now, over all files at once; each shard adds its strings when done. The last
// file's position moves on with the finish jobs. The caller's job goes first, so that it starts at once on
// one worker while the others finish the count.
StepEnd ByteCount::FinishCount(FileProgress* shown, std::int64_t handledTo, std::int64_t fileSize,
                               const std::function<void()>& besideFinish)
{
    const std::size_t besideJobs = besideFinish ? 1 : 0;
    if (finishJobs.empty() && besideJobs == 0) {
        return std::nullopt;
    }
    std::vector<WorkProgress> finishing(finishJobs.size());
    const std::int64_t beforeFinish = DistinctOverList();
    const auto tick = [&] {
        Progress now = run.display.Current();
        now.matchCount = beforeFinish;
        std::int64_t done = 0;
        for (const WorkProgress& job : finishing) {
            now.matchCount += job.distinct.load(std::memory_order_relaxed);
            done += job.finished.load(std::memory_order_relaxed);
        }
        run.display.Show(now);
        if (shown != nullptr && !finishing.empty()) {
            shown->Show(FileStage::Finishing,
                        static_cast<double>(done) /
                            static_cast<double>(WorkProgress::whole * finishing.size()),
                        handledTo, fileSize);
        }
    };
    return RunJobs(
        run, besideJobs + finishJobs.size(), resolved.threads,
        [&](std::size_t j, unsigned) {
            if (j < besideJobs) {
                besideFinish();
                return;
            }
            const Job& job = finishJobs[j - besideJobs];
            (void)job.unit->Finish(job.index, finishing[j - besideJobs], run.cancel);
        },
        tick);
}

// The different strings over the list, where a length listed twice counts twice.
std::int64_t ByteCount::DistinctOverList() const
{
    return kestrin::DistinctOverList(resolved.listedLengths, [&](std::int16_t length) {
        return plan.unitOf.at(length)->Distinct(length);
    });
}

} // namespace kestrin
