#include "kestrin/run_analysis.h"

#include "comment_scanner.h"
#include "counting_plan.h"
#include "file_io.h"
#include "input_file.h"
#include "ranking.h"
#include "real_savings.h"
#include "worker_pool.h"

#include "kestrin/number_list.h"
#include "kestrin/report.h"
#include "kestrin/table_file.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

namespace kestrin {
namespace {

// More counting threads than this only add memory: the work comes in few, large jobs.
constexpr unsigned maxThreads = 64;

constexpr std::string_view defaultRequest = "25";

// Keeps what the progress page shows and passes on only changes.
class ProgressDisplay
{
public:
    explicit ProgressDisplay(RunObserver& host) : observer(host) {}

    void Show(const Progress& next)
    {
        if (!shownOnce || next != shown) {
            shown = next;
            shownOnce = true;
            observer.ShowProgress(shown);
        }
    }
    [[nodiscard]] const Progress& Current() const { return shown; }

private:
    RunObserver& observer;
    Progress shown;
    bool shownOnce = false;
};

// The position and completion move only at positions that are multiples of 50 and 500.
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

// A run ends early: how, and with what.
struct EarlyEnd {
    RunStatus status;
    std::optional<Refusal> refusal;
    std::optional<FileError> error;
};

// One analysis run, phase by phase: sample lengths, inputs, counting, ranking and filters, outputs.
// Each phase either fills the run's state for the next one or ends the run early.
class AnalysisRun
{
public:
    AnalysisRun(const RunSettings& runSettings, RunObserver& host)
        : settings(runSettings), observer(host), display(host),
          threads(std::min(runSettings.threads != 0 ? runSettings.threads
                                                    : std::max(1u, std::thread::hardware_concurrency()),
                           maxThreads))
    {
    }

    RunOutcome Run()
    {
        RunOutcome outcome;
        std::optional<EarlyEnd> end = CheckFiles();
        if (!end) {
            end = LoadSampleLengths();
        }
        if (!end) {
            end = ReadInputs();
        }
        if (!end) {
            end = CountInputs();
        }
        if (!end) {
            end = RankResults();
        }
        outcome.counters = counters;
        if (end) {
            outcome.status = end->status;
            outcome.refusal = std::move(end->refusal);
            if (end->error) {
                outcome.errors.push_back(*end->error);
            }
            return outcome;
        }
        BuildOutputs(outcome);
        WriteOutputs(outcome);
        outcome.status = RunStatus::Completed;
        return outcome;
    }

private:
    static EarlyEnd Cancelled() { return {RunStatus::Cancelled, std::nullopt, std::nullopt}; }

    // A report file that is also another file of the run would destroy it: refuse before anything else.
    std::optional<EarlyEnd> CheckFiles() const
    {
        if (auto clash = FindFileClash(settings)) {
            return EarlyEnd{RunStatus::Refused, std::move(clash), std::nullopt};
        }
        return std::nullopt;
    }

    // Parse, refuse what no run can use, warn, sort, ask about long ones.
    std::optional<EarlyEnd> LoadSampleLengths()
    {
        lengths = ParseNumberList(settings.sampleLengths);
        const std::size_t asked = lengths.size();
        std::sort(lengths.begin(), lengths.end());
        if (auto refusal = CheckSampleLengths(lengths)) {
            return EarlyEnd{RunStatus::Refused, std::move(refusal), std::nullopt};
        }
        if (asked > 10) {
            observer.WarnManyLengths(asked);
        }
        if (lengths.back() > 200 && !observer.ConfirmLongLength(lengths.back())) {
            return EarlyEnd{RunStatus::Declined, std::nullopt, std::nullopt};
        }
        return std::nullopt;
    }

    // The exclusion table first, so that a bad table costs no reading time; then every input, whole.
    std::optional<EarlyEnd> ReadInputs()
    {
        if (settings.exclusionTable) {
            ExclusionLoad load = LoadExclusionTable(*settings.exclusionTable);
            if (load.error) {
                return EarlyEnd{RunStatus::InputFailed, std::nullopt, std::move(load.error)};
            }
            exclusionTable = std::move(load.entries);
        }
        if (settings.useComments && !scanner.UseComments()) {
            observer.ClearUseComments();
        }
        bufferLength = std::int64_t{lengths.back()} + scanner.LongestDelimiter();
        files.reserve(settings.inputFiles.size());
        for (const auto& path : settings.inputFiles) {
            // Reads may reach 16 bytes past a position whatever the lengths: short strings are read as words.
            auto opened = InputFile::Open(path, std::max<std::int64_t>(bufferLength, 16));
            if (auto* error = std::get_if<FileError>(&opened)) {
                return EarlyEnd{RunStatus::InputFailed, std::nullopt, *error};
            }
            files.push_back(std::move(std::get<std::unique_ptr<InputFile>>(opened)));
            counters.totalCharacters += files.back()->Size();
        }
        return std::nullopt;
    }

    // One counter per different length; a length listed twice is counted once and ranked twice.
    void PlanTheCount()
    {
        std::vector<std::int16_t> different = lengths;
        different.erase(std::unique(different.begin(), different.end()), different.end());
        InputShape shape;
        shape.files = files.size();
        for (const auto& file : files) {
            shape.largestFile = std::max(shape.largestFile, file->Size());
            // A sample of about a million bytes a file is plenty to balance the shards by.
            const auto* bytes = reinterpret_cast<const unsigned char*>(file->Data());
            const std::int64_t step = std::max<std::int64_t>(1, file->Size() >> 20) | 1;
            for (std::int64_t i = 0; i < file->Size(); i += step) {
                ++shape.histogram[bytes[i]];
            }
        }
        plan = PlanCounting(different, threads, shape);
        for (const auto& unit : plan.units) {
            for (unsigned j = 0; j < unit->FileJobs(); ++j) {
                fileJobs.push_back({unit.get(), j});
            }
            for (unsigned j = 0; j < unit->FinishJobs(); ++j) {
                finishJobs.push_back({unit.get(), j});
            }
        }
    }

    // The different strings over the list, where a length listed twice counts twice.
    [[nodiscard]] std::int64_t DistinctOverList() const
    {
        std::int64_t total = 0;
        for (const std::int16_t length : lengths) {
            total += plan.unitOf.at(length)->Distinct(length);
        }
        return total;
    }

    std::optional<EarlyEnd> CountInputs()
    {
        PlanTheCount();
        std::int64_t distinctBefore = 0; // at the start of the current file
        std::uint64_t fileBase = 0;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const InputFile& file = *files[i];
            Progress progress = display.Current();
            progress.phase = RunPhase::Counting;
            progress.file = static_cast<std::int64_t>(i + 1);
            progress.files = static_cast<std::int64_t>(files.size());
            progress.position = 1;
            progress.matchCount = distinctBefore;
            progress.completion = 0.0;
            display.Show(progress);
            if (observer.YieldAndCheckCancel()) {
                return Cancelled();
            }

            // The scan runs beside the host's events too: on a large file with many delimiters it takes a
            // while.
            FileScan scan;
            if (!RunOnWorkers(
                    1, 1, [&](std::size_t, unsigned) { scan = scanner.Scan(file, bufferLength, &cancel); },
                    cancel, observer)) {
                return Cancelled();
            }
            counters.countedCharacters += scan.countedPositions;

            std::vector<WorkProgress> work(fileJobs.size());
            for (WorkProgress& job : work) {
                job.position.store(scan.runs.empty() ? 0 : scan.runs.front().begin);
            }
            // The jobs' positions are averaged; their counts of different strings only grow.
            const auto tick = [&] {
                std::int64_t reached = 0;
                std::int64_t distinct = 0;
                for (const WorkProgress& job : work) {
                    reached += job.position.load(std::memory_order_relaxed);
                    distinct += job.distinct.load(std::memory_order_relaxed);
                }
                Progress now = display.Current();
                const std::int64_t position =
                    std::min(reached / static_cast<std::int64_t>(work.size()), scan.lastHandledPosition) + 1;
                ShowPosition(now, position, file.Size());
                now.matchCount = std::max(distinctBefore, distinct);
                display.Show(now);
            };
            const bool completed = RunOnWorkers(
                fileJobs.size(), threads,
                [&](std::size_t j, unsigned) {
                    (void)fileJobs[j].unit->CountFile(fileJobs[j].index, file, static_cast<std::uint32_t>(i),
                                                      scan, fileBase, work[j], cancel);
                },
                cancel, observer, tick);
            if (!completed) {
                return Cancelled();
            }
            if (i + 1 == files.size() && !FinishCount()) {
                return Cancelled();
            }
            distinctBefore = DistinctOverList();
            Progress finished = display.Current();
            ShowPosition(finished, scan.lastHandledPosition + 1, file.Size());
            finished.matchCount = distinctBefore;
            display.Show(finished);
            fileBase += static_cast<std::uint64_t>(file.Size() + 4 * bufferLength + 4);
        }
        counters.distinctStrings = DistinctOverList();
        return std::nullopt;
    }

    // The sorting units count now, over all files at once; each shard adds its strings when done.
    bool FinishCount()
    {
        if (finishJobs.empty()) {
            return true;
        }
        std::vector<WorkProgress> finishing(finishJobs.size());
        const std::int64_t beforeFinish = DistinctOverList();
        const auto tick = [&] {
            Progress now = display.Current();
            now.matchCount = beforeFinish;
            for (const WorkProgress& job : finishing) {
                now.matchCount += job.distinct.load(std::memory_order_relaxed);
            }
            display.Show(now);
        };
        return RunOnWorkers(
            finishJobs.size(), threads,
            [&](std::size_t j, unsigned) {
                (void)finishJobs[j].unit->Finish(finishJobs[j].index, finishing[j], cancel);
            },
            cancel, observer, tick);
    }

    // The best strings, then the skip filters; from the filters on, a request to stop is no longer honoured.
    std::optional<EarlyEnd> RankResults()
    {
        Progress ranking = display.Current();
        ranking.phase = RunPhase::Ranking;
        display.Show(ranking);
        std::string request = settings.topResults;
        std::optional<NumericText> requested = ParseNumeric(request);
        if (!requested) {
            request = defaultRequest;
            requested = ParseNumeric(request);
            observer.ResetTopResults(request);
        }
        const std::int64_t lastPosition = LastResultPosition(*requested, counters.distinctStrings);
        if (settings.realSavings) {
            return ChooseBySavings(request, lastPosition);
        }
        RankingInput input;
        for (const std::int16_t length : lengths) {
            input.columns.push_back({plan.unitOf.at(length), length});
        }
        ResultSelection selection(std::move(input), lastPosition + 1, threads);
        const std::size_t columns = lastPosition >= 0 ? selection.Columns() : 0;
        const bool ranked = RunOnWorkers(
            columns, threads,
            [&](std::size_t column, unsigned worker) { selection.VisitColumn(column, worker, cancel); },
            cancel, observer);
        if (!ranked || (lastPosition >= 0 && observer.YieldAndCheckCancel())) {
            return Cancelled();
        }
        results = selection.Results();
        if (lastPosition >= 0) {
            ranking.lastResult = lastPosition;
            ranking.request = request;
            display.Show(ranking);
        }
        plan = CountingPlan{};

        ranking.phase = RunPhase::Formatting;
        display.Show(ranking);
        (void)observer.YieldAndCheckCancel();
        ApplySkipFilters(results, settings.ignoreSpace, settings.ignoreReturn, settings.ignoreTab,
                         exclusionTable ? &*exclusionTable : nullptr);
        return std::nullopt;
    }

    // The text that counting reads, as stretches that no entry may cross: each file apart, and within a
    // file the text the comment filter lets through. A scanner of its own steps a byte at a time, so that
    // every delimiter that lies wholly in a file is seen, up to its last byte.
    [[nodiscard]] std::vector<std::string_view> CountedText() const
    {
        CommentScanner textScanner(settings);
        std::vector<std::string_view> stretches;
        for (const auto& file : files) {
            for (const CountedRun& run : textScanner.Scan(*file, 1, &cancel).runs) {
                const std::int64_t end = std::min(run.end, file->Size()); // the filler is not text
                if (run.begin < end) {
                    stretches.emplace_back(file->Data() + run.begin,
                                           static_cast<std::size_t>(end - run.begin));
                }
            }
        }
        return stretches;
    }

    // Entries one after another by what each really saves once the earlier ones have taken their
    // occurrences. The filters forbid candidates instead of marking results, and entry i costs the bytes
    // of the i-th code of the ranges (one byte each without ranges); the choice stops when they run out.
    std::optional<EarlyEnd> ChooseBySavings(const std::string& request, std::int64_t lastPosition)
    {
        SavingsRequest savings;
        for (const std::int16_t length : lengths) {
            if (length > 0 && (savings.lengths.empty() || savings.lengths.back() != length)) {
                savings.lengths.push_back(length);
            }
        }
        const auto most = static_cast<std::size_t>(std::max<std::int64_t>(lastPosition + 1, 0));
        const std::vector<std::int16_t> codes = ParseNumberList(settings.writeTableRanges, most);
        if (codes.empty()) {
            savings.codeBytes.assign(most, 1);
        }
        for (const std::int16_t code : codes) {
            savings.codeBytes.push_back(static_cast<std::uint16_t>(code) > 0xFF ? 2 : 1);
        }
        absl::flat_hash_set<std::string_view> listed;
        if (exclusionTable) {
            listed.insert(exclusionTable->begin(), exclusionTable->end());
        }
        savings.forbidden = [&](std::string_view text) {
            return (settings.ignoreSpace && text.find(' ') != std::string_view::npos) ||
                   (settings.ignoreTab && text.find('\t') != std::string_view::npos) || listed.contains(text);
        };
        std::atomic<std::int64_t> chosen{0};
        SavingsResult choice;
        Progress ranking = display.Current();
        ranking.request = request;
        const auto tick = [&] {
            if (const std::int64_t so = chosen.load(std::memory_order_relaxed); so > 0) {
                ranking.lastResult = so - 1;
                display.Show(ranking);
            }
        };
        const bool chose = RunOnWorkers(
            1, 1,
            [&](std::size_t, unsigned) {
                savings.stretches = CountedText();
                if (!cancel.load()) {
                    choice = kestrin::ChooseBySavings(savings, cancel, &chosen);
                }
            },
            cancel, observer, tick);
        if (!chose || observer.YieldAndCheckCancel()) {
            return Cancelled();
        }
        tick();
        for (SavingsEntry& entry : choice.entries) {
            results.push_back({std::move(entry.text), entry.occurrences, entry.saved});
        }
        sizes = EncodedSizes{choice.longestMatchBytes, choice.bestParseBytes, choice.textBytes,
                             choice.tableBytes, static_cast<std::int64_t>(results.size())};
        plan = CountingPlan{};
        ranking.phase = RunPhase::Formatting;
        display.Show(ranking);
        (void)observer.YieldAndCheckCancel();
        return std::nullopt;
    }

    // Everything that can fail but the writes comes first: the table block and the whole report are
    // built before any file is touched, so a run that fails changes no file.
    void BuildOutputs(RunOutcome& outcome)
    {
        Progress now = display.Current();
        if (settings.outputTable) {
            now.phase = RunPhase::WritingTable;
            display.Show(now);
            tableBlock = BuildTableBlock(results, ParseNumberList(settings.writeTableRanges, results.size()));
        }
        now.phase = RunPhase::Reporting;
        display.Show(now);
        (void)observer.YieldAndCheckCancel();
        ReportHeader header;
        header.inputFiles = settings.inputFiles;
        header.totalCharacters = counters.totalCharacters;
        header.countedCharacters = counters.countedCharacters;
        header.distinctStrings = counters.distinctStrings;
        header.sampleLengths = lengths;
        // The clock is read after the result lines are built, as the elapsed time includes them.
        const std::string resultLines = BuildResultLines(results);
        header.elapsedSeconds = WholeSecondsBetween(startTime, std::chrono::system_clock::now());
        outcome.report = BuildReportHeader(header);
        outcome.report += resultLines;
        if (sizes) {
            outcome.report += BuildSizeLines(*sizes);
        }
        if (settings.reportFile) {
            reportFileContent = ReportFileContent(outcome.report);
        }
    }

    void WriteOutputs(RunOutcome& outcome)
    {
        // A signal that asks the program to end waits until both files are whole.
        const SignalDeferral signals;
        if (settings.outputTable) {
            if (auto error = AppendToFile(*settings.outputTable, tableBlock)) {
                outcome.errors.push_back(*error);
            }
        }
        if (settings.reportFile) {
            if (auto error = ReplaceFile(*settings.reportFile, reportFileContent)) {
                outcome.errors.push_back(*error);
            }
        }
    }

    struct Job {
        CountingUnit* unit;
        unsigned index;
    };

    const RunSettings& settings;
    RunObserver& observer;
    ProgressDisplay display;
    const unsigned threads;
    const std::chrono::system_clock::time_point startTime = std::chrono::system_clock::now();
    std::atomic<bool> cancel{false};
    RunCounters counters;

    std::vector<std::int16_t> lengths; // sorted
    std::optional<std::vector<std::string>> exclusionTable;
    CommentScanner scanner{settings};
    std::int64_t bufferLength = 0;
    std::vector<std::unique_ptr<InputFile>> files;
    CountingPlan plan;
    std::vector<Job> fileJobs;
    std::vector<Job> finishJobs;
    std::vector<ResultEntry> results;
    std::optional<EncodedSizes> sizes; // real savings: what the report ends with
    std::string tableBlock;
    std::string reportFileContent;
};

} // namespace

std::optional<Refusal> CheckSampleLengths(const std::vector<std::int16_t>& sortedLengths)
{
    Refusal refusal;
    if (sortedLengths.empty()) {
        refusal.reason = Refusal::Reason::NoSampleLength;
    } else if (sortedLengths.front() < 0) {
        refusal.reason = Refusal::Reason::NegativeSampleLength;
        refusal.length = sortedLengths.front();
    } else if (sortedLengths.back() == 0) {
        refusal.reason = Refusal::Reason::OnlyZeroLength;
    } else {
        return std::nullopt;
    }
    return refusal;
}

std::optional<Refusal> FindFileClash(const RunSettings& settings)
{
    if (!settings.reportFile) {
        return std::nullopt;
    }
    const std::optional<FileIdentity> report = IdentifyFile(*settings.reportFile);
    if (!report) {
        return std::nullopt; // a file that cannot be looked at fails when it is written
    }
    std::vector<std::pair<FileRole, const std::filesystem::path*>> others;
    for (const auto& input : settings.inputFiles) {
        others.emplace_back(FileRole::InputFile, &input);
    }
    if (settings.exclusionTable) {
        others.emplace_back(FileRole::ExclusionTable, &*settings.exclusionTable);
    }
    if (settings.outputTable) {
        others.emplace_back(FileRole::OutputTable, &*settings.outputTable);
    }
    for (const auto& [role, path] : others) {
        if (IdentifyFile(*path) == report) {
            Refusal refusal;
            refusal.reason = Refusal::Reason::SameFile;
            refusal.role = FileRole::ReportFile;
            refusal.path = *settings.reportFile;
            refusal.otherRole = role;
            refusal.otherPath = *path;
            return refusal;
        }
    }
    return std::nullopt;
}

RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer)
{
    // Nothing is written before the report and the table block are complete, so a run that fails here
    // leaves every file as it was; the table and the report file are each written whole or not at all.
    RunOutcome failed;
    failed.status = RunStatus::Failed;
    try {
        return AnalysisRun(settings, observer).Run();
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
