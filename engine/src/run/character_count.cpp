// SPDX-License-Identifier: MIT
// The counting phase in the game's characters: read, comment filter, check and encode file by file on a
// worker (the host keeps its events and can cancel), then one counting job per sample length. The
// position shown follows the files, then the windows counted over the last one.

#include "run/character_count.h"

#include <algorithm>
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
    Progress progress = run.display.Current();
    progress.phase = RunPhase::Counting;
    progress.file = static_cast<std::int64_t>(index + 1);
    progress.files = static_cast<std::int64_t>(looks.size());
    progress.position = 1;
    progress.completion = 0.0;
    run.display.Show(progress);
    if (run.observer.YieldAndCheckCancel()) {
        return EarlyEnd::Cancelled();
    }
    const std::filesystem::path& path = resolved.inputFiles[index];
    std::variant<std::unique_ptr<InputFile>, FileError> opened;
    StepEnd refused;
    if (auto end = RunJobs(run, 1, 1, [&](std::size_t, unsigned) {
            opened = InputFile::Open(path, 16, {&run.cancel, nullptr});
            auto* file = std::get_if<std::unique_ptr<InputFile>>(&opened);
            if (file == nullptr || run.cancel.IsSet()) {
                return;
            }
            const FileScan scan = scanner.Scan(**file, 1, &run.cancel);
            if (run.cancel.IsSet()) {
                return;
            }
            const std::string_view text((*file)->Data(), static_cast<std::size_t>((*file)->Size()));
            refused = builder.Add(path, text, scan.stretches);
        })) {
        return end;
    }
    if (auto* error = std::get_if<FileError>(&opened)) {
        return EarlyEnd::InputFailed(std::move(*error));
    }
    if (refused) {
        return refused;
    }
    files.push_back(std::move(std::get<std::unique_ptr<InputFile>>(opened)));
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

// With real savings the count gives only the number of different strings, and ranks none.
StepEnd CharacterCount::CountStrings()
{
    counter.emplace(script.game.bytes, script.game.units, script.stretchEnds, resolved.lengths,
                    resolved.listedLengths, script.longestCharacter, resolved.mode == RunMode::Utf8,
                    resolved.realSavings ? 0 : resolved.request.Most(), resolved.threads);
    std::atomic<std::int64_t> done{0};
    const std::int64_t shownSize = files.empty() ? 0 : files.back()->Size();
    const auto tick = [&] {
        if (lastFile) {
            const double fraction =
                static_cast<double>(done.load()) / static_cast<double>(WorkProgress::whole);
            lastFile->Show(FileStage::Finishing, fraction, shownSize, shownSize);
        }
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
    done.store(WorkProgress::whole);
    tick();
    for (const std::int16_t length : resolved.listedLengths) {
        counters.distinctStrings += counter->Distinct(length);
    }
    Progress counted = run.display.Current();
    counted.matchCount = counters.distinctStrings;
    run.display.Show(counted);
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
