// SPDX-License-Identifier: MIT
// The counting phase in the game's characters: read, comment filter, check and encode file by file on a
// worker (the host keeps its events and can cancel); then the whole script counted in the steps of
// CharacterCounter: the sort, or the text made one byte a character (one job), then the measure, finish
// and count jobs on all the workers. With real savings whose windows all fit the index, nothing is
// counted here: the index counts the different strings instead. The position shown follows the files,
// then the count's steps over the last one.

#include "run/character_count.h"

#include "run/count_steps.h"
#include "savings/savings_index.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kestrin {
namespace {

// Rough costs, in nanoseconds a byte, of reading and encoding a file and of counting the strings of the
// whole input in characters: they only weigh the one against the other in the position shown.
constexpr double readAndEncodeCost = 10;
constexpr double countCost = 80;

} // namespace

CharacterCount::CharacterCount(RunContext& context, const ResolvedSettings& resolvedSettings)
    : run(context), resolved(resolvedSettings), looks(resolvedSettings.inputLooks)
{
}

StepEnd CharacterCount::CountAll()
{
    if (auto end = ReadAll()) {
        return end;
    }
    return CountStrings();
}

StepEnd CharacterCount::ReadAll()
{
    ScriptBuilder builder(resolved, &run.cancel);
    CommentScanner scanner(resolved.comments);
    for (std::size_t i = 0; i < looks.size(); ++i) {
        if (auto end = ReadAndEncode(i, scanner, builder)) {
            return end;
        }
    }
    loneLineFeeds = scanner.SawLoneLineFeed();
    script = builder.Finish();
    counters.countedCharacters = script.countedCharacters;
    counters.totalCharacters = script.totalCharacters;
    return std::nullopt;
}

// One input: read whole, its counted stretches found by a scanner that steps a byte at a time (so that
// every delimiter wholly in the file is seen), then checked and encoded.
StepEnd CharacterCount::ReadAndEncode(std::size_t index, CommentScanner& scanner, ScriptBuilder& builder)
{
    Progress progress;
    if (auto end = StartInput(run, index, looks.size(), std::nullopt, &progress)) {
        return end;
    }
    const std::filesystem::path& path = resolved.inputFiles[index];
    StepEnd refused;
    if (auto end = ReadInput(run, path, 16, files, nullptr, [&](const InputFile& file) {
            if (run.cancel.IsSet()) {
                return;
            }
            const FileScan scan = scanner.Scan(file, 1, &run.cancel);
            if (run.cancel.IsSet()) {
                return;
            }
            const std::string_view text(file.Data(), static_cast<std::size_t>(file.Size()));
            refused = builder.Add(path, text, scan.stretches);
        })) {
        return end;
    }
    if (refused) {
        return refused;
    }
    const std::int64_t size = files.back()->Size();
    if (index + 1 < looks.size()) {
        ShowPosition(progress, std::max<std::int64_t>(1, size), size);
        run.display.Show(progress);
        return std::nullopt;
    }
    // The last file's position goes on moving, forwards only, while the strings of the whole input are
    // counted, and reaches the file's end when they are.
    std::int64_t inputSize = 0;
    for (const auto& file : files) {
        inputSize += file->Size();
    }
    lastFile.emplace(run.display, StageCosts{readAndEncodeCost * static_cast<double>(size), 0, 0,
                                             countCost * static_cast<double>(inputSize)});
    lastFile->Show(FileStage::Reading, 1.0, size, size);
    return std::nullopt;
}

bool CharacterCount::LeavesStringsToIndex() const
{
    const auto longest = std::max_element(resolved.lengths.begin(), resolved.lengths.end());
    return resolved.realSavings &&
           (longest == resolved.lengths.end() ||
            std::int64_t{*longest} * static_cast<std::int64_t>(script.longestCharacter) <=
                savings::longestWindow);
}

// The last file's position while the whole script is counted or indexed: the share of that work done.
void CharacterCount::ShowFinishing(double fraction)
{
    if (lastFile) {
        const std::int64_t size = files.back()->Size();
        lastFile->Show(FileStage::Finishing, fraction, size, size);
    }
}

void CharacterCount::ShowIndexing(double seconds)
{
    // The index takes about this long a game byte, on the machines it was measured on; the shown share
    // approaches the end as the time goes past the estimate.
    constexpr double indexSecondsPerByte = 100e-9;
    const double estimate =
        std::max(indexSecondsPerByte * static_cast<double>(script.game.bytes.size()), 0.05);
    ShowFinishing(1.0 - std::exp(-seconds / estimate));
}

void CharacterCount::TakeDistinct(const std::function<std::int64_t(std::int64_t)>& distinctOf)
{
    ShowFinishing(1.0);
    counters.distinctStrings = DistinctOverList(resolved.listedLengths, distinctOf);
    Progress counted = run.display.Current();
    counted.matchCount = counters.distinctStrings;
    run.display.Show(counted);
}

// With real savings the count gives only the number of different strings, and ranks none.
StepEnd CharacterCount::CountStrings()
{
    if (LeavesStringsToIndex()) {
        return std::nullopt;
    }
    counter.emplace(script.game.bytes, script.game.characterMap, script.stretchEnds, resolved.lengths,
                    resolved.listedLengths, script.longestCharacter, resolved.mode == RunMode::Utf8,
                    resolved.realSavings ? 0 : resolved.request.Most(), resolved.threads);
    std::atomic<std::int64_t> done{0};
    const auto tick = [&] {
        ShowFinishing(static_cast<double>(done.load()) / static_cast<double>(WorkProgress::whole));
    };
    try {
        if (auto end = RunJobs(
                run, 1, 1, [&](std::size_t, unsigned) { counter->Sort(run.cancel); }, tick)) {
            return end;
        }
    } catch (const std::length_error&) {
        throw RunFailure{Failure::TextTooLong, {}};
    }
    done.store(WorkProgress::whole / 2);
    const std::size_t measureJobs = counter->MeasureJobs();
    if (auto end = RunJobs(
            run, measureJobs, resolved.threads,
            [&](std::size_t job, unsigned) { counter->MeasureJob(job, measureJobs, run.cancel); }, tick)) {
        return end;
    }
    if (auto end = RunJobs(
            run, counter->FinishJobs(), resolved.threads,
            [&](std::size_t job, unsigned) { counter->FinishJob(job, run.cancel); }, tick)) {
        return end;
    }
    done.store(WorkProgress::whole * 8 / 10);
    const std::size_t countJobs = counter->CountJobs(resolved.threads);
    if (auto end = RunJobs(
            run, countJobs, resolved.threads,
            [&](std::size_t job, unsigned) { counter->CountJob(job, countJobs, run.cancel); }, tick)) {
        return end;
    }
    TakeDistinct([&](std::int64_t length) { return counter->Distinct(length); });
    return std::nullopt;
}

std::vector<ResultEntry> CharacterCount::Best(std::int64_t lastPosition) const
{
    std::vector<ResultEntry> results;
    if (lastPosition < 0 || !counter) {
        return results;
    }
    const auto count = static_cast<std::size_t>(lastPosition + 1);
    for (const CharacterString& best : counter->Best(count)) {
        ResultEntry entry{script.TextOf(best.bytes), best.hits, std::nullopt, std::nullopt};
        if (resolved.mode == RunMode::GameTable) {
            entry.gameBytes = std::string(best.bytes);
        }
        results.push_back(std::move(entry));
    }
    results.resize(count, ResultEntry{"", -1, std::nullopt, std::nullopt});
    return results;
}

} // namespace kestrin
