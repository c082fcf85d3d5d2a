// SPDX-License-Identifier: MIT
// One analysis run, phase by phase: the settings resolved once (resolved_settings), the inputs counted
// (byte_count, character_count), the results ranked or, in the savings mode, chosen (savings_branch), then
// the outputs built whole and only then written. RunAnalysis turns every failure into an outcome.

#include "run/analysis.h"

#include "cancel_flag.h"
#include "io/file_io.h"
#include "ranking.h"
#include "run/byte_count.h"
#include "run/character_count.h"
#include "run/failure.h"
#include "run/resolved_settings.h"
#include "run/savings_branch.h"
#include "run/step.h"
#include "run/table_evaluation.h"

#include "kestrin/report.h"
#include "kestrin/run_analysis.h"
#include "kestrin/table_file.h"

#include <chrono>
#include <exception>
#include <optional>

namespace kestrin {
namespace {

// What the outputs are built into before any file is touched.
struct BuiltOutputs {
    std::string tableBlock;
    std::string reportFileContent;
    std::string encodingPreview;
    std::string curvePicture;
};

// The line after the size lines of a run through a game table that gives no newline code, whose line ends
// the sizes leave out; nothing for any other run.
std::string LineEndLine(const ResolvedSettings& resolved)
{
    return resolved.mode == RunMode::GameTable && !resolved.gameTable->NewlineCode()
               ? BuildUnstoredLineEndsLine()
               : std::string();
}

class AnalysisRun
{
public:
    AnalysisRun(RunObserver& host, CancelFlag& cancelFlag)
        : display(host), cancel(cancelFlag), context{host, display, cancel}
    {
    }

    RunOutcome Run(const RunSettings& settings)
    {
        RunOutcome outcome;
        auto resolving = ResolveSettings(settings, context.observer);
        if (auto* end = std::get_if<EarlyEnd>(&resolving)) {
            return Ended(std::move(*end), outcome);
        }
        const ResolvedSettings& resolved = std::get<ResolvedSettings>(resolving);
        // Also for a run the script then stops: a byte-order mark may explain why.
        outcome.gameTableNotes = resolved.gameTableNotes;
        if (resolved.evaluatedTable) {
            return Evaluate(resolved, outcome);
        }
        RankedResults ranked;
        StepEnd end = resolved.InCharacters() ? CountInCharacters(resolved, ranked, outcome)
                                              : CountBytes(resolved, ranked, outcome);
        if (end) {
            return Ended(std::move(*end), outcome);
        }
        const BuiltOutputs built = BuildOutputs(resolved, ranked, outcome);
        WriteOutputs(resolved, built, outcome, true);
        outcome.status = RunStatus::Completed;
        return outcome;
    }

private:
    static RunOutcome Ended(EarlyEnd end, RunOutcome& outcome)
    {
        outcome.status = end.status;
        outcome.refusal = std::move(end.refusal);
        if (end.error) {
            outcome.errors.push_back(std::move(*end.error));
        }
        return std::move(outcome);
    }

    // Judging a table: the inputs read into the counted text as the count in characters reads them, and
    // encoded through the table; nothing is counted, and no table is written.
    RunOutcome Evaluate(const ResolvedSettings& resolved, RunOutcome& outcome)
    {
        CharacterCount count(context, resolved);
        if (auto end = count.ReadAll()) {
            return Ended(std::move(*end), outcome);
        }
        outcome.counters = count.Counters();
        Progress encoding = display.Current();
        encoding.phase = RunPhase::Ranking;
        display.Show(encoding);
        TableEvaluation evaluation(resolved, count.Script());
        if (auto end = evaluation.Encode(context)) {
            return Ended(std::move(*end), outcome);
        }
        Progress reporting = display.Current();
        reporting.phase = RunPhase::Reporting;
        display.Show(reporting);
        (void)context.observer.YieldAndCheckCancel();
        BuiltOutputs built;
        ReportHeader header;
        header.inputFiles = resolved.inputFiles;
        header.totalCharacters = outcome.counters.totalCharacters;
        header.countedCharacters = outcome.counters.countedCharacters;
        header.sampleLengths = resolved.listedLengths;
        const std::string entryLines = BuildEvaluationLines(evaluation.Entries());
        header.elapsedSeconds = WholeSecondsBetween(startTime, std::chrono::system_clock::now());
        outcome.report = BuildReportHeader(header) + entryLines + BuildSizeLines(evaluation.Sizes()) +
                         LineEndLine(resolved);
        if (resolved.reportFile) {
            built.reportFileContent = ReportFileContent(outcome.report);
        }
        built.encodingPreview = evaluation.Preview();
        outcome.evaluated = evaluation.Entries();
        outcome.sizes = evaluation.Sizes();
        WriteOutputs(resolved, built, outcome, false);
        outcome.status = RunStatus::Completed;
        return std::move(outcome);
    }

    // The count in bytes, with the savings index built beside its finish; then the ranking or the choice.
    StepEnd CountBytes(const ResolvedSettings& resolved, RankedResults& ranked, RunOutcome& outcome)
    {
        ByteCount count(context, resolved);
        std::optional<SavingsBranch> savings;
        std::function<void()> besideFinish;
        if (resolved.realSavings) {
            savings.emplace(resolved, cancel);
            besideFinish = [&] { savings->BuildIndex(count.TakeCountedText()); };
        }
        StepEnd end = count.CountAll(besideFinish);
        outcome.counters = count.Counters();
        if (end) {
            return end;
        }
        return RankResults(
            resolved, count.Counters().distinctStrings, count.LoneLineFeeds(), savings ? &*savings : nullptr,
            ranked,
            [&](std::int64_t lastPosition) {
                return RankByCount(resolved, count.Plan(), lastPosition, ranked.entries);
            },
            [&] { count.ReleasePlan(); });
    }

    // The count in the game's characters: every input checked and encoded first, then the strings of
    // whole characters counted; the savings index is built over the game's bytes after the count, and
    // with its windows whole it counts the different strings in the count's place.
    StepEnd CountInCharacters(const ResolvedSettings& resolved, RankedResults& ranked, RunOutcome& outcome)
    {
        CharacterCount count(context, resolved);
        StepEnd end = count.CountAll();
        outcome.counters = count.Counters();
        if (end) {
            return end;
        }
        std::optional<SavingsBranch> savings;
        if (resolved.realSavings) {
            savings.emplace(resolved, cancel);
            count.ReleaseCounter(); // before the index, which takes the most memory
            const auto started = std::chrono::steady_clock::now();
            const auto indexing = [&] {
                if (count.LeavesStringsToIndex()) {
                    count.ShowIndexing(
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
                }
            };
            if (auto built = RunJobs(
                    context, 1, 1, [&](std::size_t, unsigned) { savings->BuildIndex(count.Script()); },
                    indexing)) {
                return built;
            }
            if (count.LeavesStringsToIndex()) {
                count.TakeDistinct([&](std::int64_t length) { return savings->Distinct(length); });
                outcome.counters = count.Counters();
            }
        }
        return RankResults(
            resolved, count.Counters().distinctStrings, count.LoneLineFeeds(), savings ? &*savings : nullptr,
            ranked,
            [&](std::int64_t lastPosition) -> StepEnd {
                ranked.entries = count.Best(lastPosition);
                if (lastPosition >= 0 && context.observer.YieldAndCheckCancel()) {
                    return EarlyEnd::Cancelled();
                }
                ShowRanked(resolved, lastPosition);
                return std::nullopt;
            },
            [] {});
    }

    // The best strings by the count, or the savings choice; then the skip filters. From the filters on, a
    // request to stop is no longer honoured.
    StepEnd RankResults(const ResolvedSettings& resolved, std::int64_t distinctStrings, bool loneLineFeeds,
                        SavingsBranch* savings, RankedResults& ranked,
                        const std::function<StepEnd(std::int64_t)>& rankByCount,
                        const std::function<void()>& releaseCount)
    {
        const std::int64_t lastPosition = LastResultPosition(resolved.request.value, distinctStrings);
        // From here on the page shows the ranking's step, "0 of" the request at first, no longer the
        // position in the last file.
        Progress ranking = display.Current();
        ranking.phase = RunPhase::Ranking;
        if (lastPosition >= 0) {
            ranking.lastResult = 0;
            ranking.request = resolved.request.text;
        }
        display.Show(ranking);
        if (resolved.request.replaced) {
            context.observer.ResetTopResults(resolved.request.text);
        }
        StepEnd end =
            savings != nullptr ? savings->Choose(context, lastPosition, ranked) : rankByCount(lastPosition);
        if (end) {
            return end;
        }
        releaseCount();
        Progress formatting = display.Current();
        formatting.phase = RunPhase::Formatting;
        display.Show(formatting);
        (void)context.observer.YieldAndCheckCancel();
        if (savings == nullptr) {
            ApplySkipFilters(ranked.entries, resolved.skips, loneLineFeeds);
        }
        return std::nullopt;
    }

    // The strings of every listed length, best first by length times hits; a length listed twice is
    // ranked twice.
    StepEnd RankByCount(const ResolvedSettings& resolved, const CountingPlan& plan, std::int64_t lastPosition,
                        std::vector<ResultEntry>& results)
    {
        RankingInput input;
        for (const std::int16_t length : resolved.listedLengths) {
            input.columns.push_back({plan.unitOf.at(length), length});
        }
        ResultSelection selection(std::move(input), lastPosition + 1, resolved.threads);
        const std::size_t jobs = lastPosition >= 0 ? selection.Jobs() : 0;
        if (auto end = RunJobs(context, jobs, resolved.threads, [&](std::size_t job, unsigned worker) {
                selection.VisitJob(job, worker, cancel);
            })) {
            return end;
        }
        if (lastPosition >= 0 && context.observer.YieldAndCheckCancel()) {
            return EarlyEnd::Cancelled();
        }
        results = selection.Results();
        ShowRanked(resolved, lastPosition);
        return std::nullopt;
    }

    // The progress page says how many results the ranking chose, of how many asked for.
    void ShowRanked(const ResolvedSettings& resolved, std::int64_t lastPosition)
    {
        if (lastPosition >= 0) {
            Progress ranking = display.Current();
            ranking.lastResult = lastPosition;
            ranking.request = resolved.request.text;
            display.Show(ranking);
        }
    }

    // Everything that can fail but the writes comes first: the table block and the whole report are built
    // before any file is touched, so a run that fails changes no file.
    BuiltOutputs BuildOutputs(const ResolvedSettings& resolved, const RankedResults& ranked,
                              RunOutcome& outcome)
    {
        BuiltOutputs built;
        Progress now = display.Current();
        // The kept entries come first and have their codes: the table receives only the entries after them.
        const std::size_t kept = std::min(resolved.kept.size(), ranked.entries.size());
        for (const KeptEntry& entry : resolved.kept) {
            outcome.keptCodes.push_back(entry.code);
        }
        if (resolved.outputTable) {
            now.phase = RunPhase::WritingTable;
            display.Show(now);
            const std::vector<ResultEntry> chosen(ranked.entries.begin() + static_cast<std::ptrdiff_t>(kept),
                                                  ranked.entries.end());
            const std::vector<std::int16_t> codes = resolved.codes.For(chosen.size());
            TableAppend table = PlanTableAppendToFile(chosen, codes, *resolved.outputTable);
            built.tableBlock = std::move(table.block);
            outcome.noTableCode = !chosen.empty() && codes.empty();
            outcome.codes.assign(kept, std::nullopt);
            outcome.codes.insert(outcome.codes.end(), table.codes.begin(), table.codes.end());
            for (const std::size_t splitting : table.splitting) {
                outcome.splittingResults.push_back(kept + splitting);
            }
            outcome.repeatedCode = table.repeatedCode;
            if (resolved.mode == RunMode::GameTable) {
                for (const auto& code : outcome.codes) {
                    if (code && CodeClashes(*resolved.gameTable, TableCodeBytes(*code))) {
                        outcome.gameTableCode = *code;
                        break;
                    }
                }
            }
        }
        now.phase = RunPhase::Reporting;
        display.Show(now);
        (void)context.observer.YieldAndCheckCancel();
        ReportHeader header;
        header.inputFiles = resolved.inputFiles;
        header.totalCharacters = outcome.counters.totalCharacters;
        header.countedCharacters = outcome.counters.countedCharacters;
        header.distinctStrings = outcome.counters.distinctStrings;
        header.sampleLengths = resolved.listedLengths;
        // The clock is read after the result lines are built, as the elapsed time includes them.
        const std::string resultLines = BuildResultLines(ranked.entries);
        header.elapsedSeconds = WholeSecondsBetween(startTime, std::chrono::system_clock::now());
        outcome.report = BuildReportHeader(header);
        outcome.report += resultLines;
        if (ranked.sizes) {
            outcome.report += BuildSizeLines(*ranked.sizes) + LineEndLine(resolved);
        }
        if (resolved.reportFile) {
            built.reportFileContent = ReportFileContent(outcome.report);
        }
        built.encodingPreview = ranked.encodingPreview;
        outcome.sizes = ranked.sizes;
        outcome.results = ranked.entries;
        outcome.curve = ranked.curve;
        if (resolved.curveFile) {
            std::string title = "Savings curve:";
            for (const auto& file : resolved.inputFiles) {
                title += " " + file.filename().string();
            }
            built.curvePicture = CurveSvg(outcome.curve, title);
        }
        return built;
    }

    static void WriteOutputs(const ResolvedSettings& resolved, const BuiltOutputs& built, RunOutcome& outcome,
                             bool writeTable)
    {
        // A signal that asks the program to end waits until every file is whole.
        const SignalDeferral signals;
        if (resolved.outputTable && writeTable) {
            if (auto error = AppendToFile(*resolved.outputTable, built.tableBlock)) {
                outcome.errors.push_back(*error);
                // Nothing was appended: no code of it repeats one or clashes with the game's.
                outcome.repeatedCode.reset();
                outcome.gameTableCode.reset();
            }
        }
        if (resolved.reportFile) {
            if (auto error = ReplaceFile(*resolved.reportFile, built.reportFileContent)) {
                outcome.errors.push_back(*error);
            }
        }
        if (resolved.encodingPreview) {
            if (auto error = ReplaceFile(*resolved.encodingPreview, built.encodingPreview)) {
                outcome.errors.push_back(*error);
            }
        }
        if (resolved.curveFile) {
            if (auto error = ReplaceFile(*resolved.curveFile, built.curvePicture)) {
                outcome.errors.push_back(*error);
            }
        }
    }

    const std::chrono::system_clock::time_point startTime = std::chrono::system_clock::now();
    ProgressDisplay display;
    CancelFlag& cancel;
    RunContext context;
};

} // namespace

RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer)
{
    CancelFlag cancel;
    return RunAnalysis(settings, observer, cancel);
}

RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer, CancelFlag& cancel)
{
    // Nothing is written before the report and the table block are complete, so a run that fails here
    // leaves every file as it was; the table and the report file are each written whole or not at all.
    RunOutcome failed;
    failed.status = RunStatus::Failed;
    try {
        return AnalysisRun(observer, cancel).Run(settings);
    } catch (const RunFailure& failure) {
        failed.failure = failure.failure;
        failed.failurePath = failure.path;
    } catch (const std::bad_alloc&) {
        failed.failure = Failure::OutOfMemory;
    } catch (const std::exception& error) {
        failed.failureDetail = error.what();
    } catch (...) {
        failed.failureDetail = "an unexpected error";
    }
    return failed;
}

} // namespace kestrin
