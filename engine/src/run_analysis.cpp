#include "kestrin/run_analysis.h"

#include "comment_scanner.h"
#include "count_table.h"
#include "file_io.h"
#include "input_file.h"
#include "ranking.h"

#include "kestrin/number_list.h"
#include "kestrin/report.h"
#include "kestrin/table_file.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace kestrin {
namespace {

// The host gets control at least this often while the workers count.
constexpr std::chrono::milliseconds yieldInterval{20};

// More counting threads than this only add memory: the work comes in few, large jobs.
constexpr unsigned maxThreads = 64;

constexpr std::string_view manyLengthsWarning =
    "Warning: This calculation will be very lengthy since there are over ten sample lengths to be analyzed.";
constexpr std::string_view longLengthQuestion =
    "You have a sample length that's way too long. Are you sure you want to use it?";
constexpr std::string_view defaultRequest = "25";

// Runs jobs 0 to jobCount - 1 on worker threads while the calling thread keeps the host responsive:
// it calls onTick and lets the host handle its events every yield interval. Returns false when the
// host asked to stop; the workers then stop at their next look at the cancel flag.
bool RunJobs(std::size_t jobCount, unsigned threads, const std::function<void(std::size_t)>& job,
             std::atomic<bool>& cancel, RunObserver& observer, const std::function<void()>& onTick)
{
    if (jobCount == 0) {
        return !cancel.load();
    }
    const auto workerCount = static_cast<unsigned>(std::min<std::size_t>(std::max(1u, threads), jobCount));
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::exception_ptr failure;
    std::condition_variable done;
    unsigned running = workerCount;
    std::vector<std::thread> workers;
    workers.reserve(workerCount);
    const auto work = [&] {
        try {
            for (std::size_t i = next++; i < jobCount && !cancel.load(std::memory_order_relaxed);
                 i = next++) {
                job(i);
            }
        } catch (...) {
            // Out of memory, say: stop the others and hand the failure to the calling thread.
            const std::lock_guard lock(mutex);
            if (!failure) {
                failure = std::current_exception();
            }
            cancel.store(true);
        }
        const std::lock_guard lock(mutex);
        --running;
        done.notify_one();
    };
    for (unsigned w = 0; w < workerCount; ++w) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            // The system gives no more threads: go on with those there are.
            const std::lock_guard lock(mutex);
            running -= workerCount - w;
            break;
        }
    }
    if (workers.empty()) {
        throw std::runtime_error("no thread could be started for the counting");
    }
    while (true) {
        {
            std::unique_lock lock(mutex);
            if (done.wait_for(lock, yieldInterval, [&] { return running == 0; })) {
                break;
            }
        }
        onTick();
        if (observer.YieldAndCheckCancel()) {
            cancel.store(true);
        }
    }
    for (auto& worker : workers) {
        worker.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return !cancel.load();
}

// Keeps what the progress page shows and passes on only changes.
class ProgressDisplay
{
public:
    explicit ProgressDisplay(RunObserver& host) : observer(host) {}

    void Show(const Progress& next)
    {
        if (next != shown) {
            shown = next;
            observer.ShowProgress(shown);
        }
    }
    [[nodiscard]] const Progress& Current() const { return shown; }

private:
    RunObserver& observer;
    Progress shown;
};

// The address and completion line move only at positions that are multiples of 50 and 500.
void ShowPosition(Progress& progress, std::int64_t position, std::int64_t fileSize)
{
    if (position >= 50) {
        progress.address = std::to_string(position - position % 50);
    }
    if (position >= 500 && fileSize > 0) {
        progress.completion =
            std::min(1.0, static_cast<double>(position - position % 500) / static_cast<double>(fileSize));
    }
}

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

namespace {

RunOutcome Run(const RunSettings& settings, RunObserver& observer)
{
    const auto startTime = std::chrono::system_clock::now();
    RunOutcome outcome;

    // A report file that is also another file of the run would destroy it: refuse before anything else.
    if (auto clash = FindFileClash(settings)) {
        outcome.status = RunStatus::Refused;
        outcome.refusal = std::move(clash);
        return outcome;
    }

    // Sample lengths: parse, refuse what no run can use, warn, sort, ask about long ones.
    std::vector<std::int16_t> lengths = ParseNumberList(settings.sampleLengths);
    std::vector<std::int16_t> sorted = lengths;
    std::sort(sorted.begin(), sorted.end());
    if (auto refusal = CheckSampleLengths(sorted)) {
        outcome.status = RunStatus::Refused;
        outcome.refusal = std::move(refusal);
        return outcome;
    }
    if (lengths.size() > 10) {
        observer.Warn(manyLengthsWarning);
    }
    lengths = std::move(sorted);
    if (lengths.back() > 200 && !observer.AskYesNo(longLengthQuestion)) {
        outcome.status = RunStatus::Declined;
        return outcome;
    }

    // The exclusion table is read before any input, so a bad table costs no counting time.
    std::optional<std::vector<std::string>> exclusionTable;
    if (settings.exclusionTable) {
        ExclusionLoad load = LoadExclusionTable(*settings.exclusionTable);
        if (load.error) {
            outcome.status = RunStatus::InputFailed;
            outcome.errors.push_back(*load.error);
            return outcome;
        }
        exclusionTable = std::move(load.entries);
    }

    CommentScanner scanner(settings);
    if (settings.useComments && !scanner.UseComments()) {
        observer.ClearUseComments();
    }
    const std::int64_t bufferLength = std::int64_t{lengths.back()} + scanner.LongestDelimiter();

    std::vector<std::unique_ptr<InputFile>> files;
    files.reserve(settings.inputFiles.size());
    for (const auto& path : settings.inputFiles) {
        // Reads may reach 16 bytes past a position whatever the lengths: short strings are read as words.
        auto opened = InputFile::Open(path, std::max<std::int64_t>(bufferLength, 16));
        if (auto* error = std::get_if<FileError>(&opened)) {
            outcome.status = RunStatus::InputFailed;
            outcome.errors.push_back(*error);
            return outcome;
        }
        files.push_back(std::move(std::get<std::unique_ptr<InputFile>>(opened)));
        outcome.counters.totalCharacters += files.back()->Size();
    }

    // One counter per different length; a length listed twice is counted once and ranked twice.
    const unsigned threads =
        std::min(settings.threads != 0 ? settings.threads : std::max(1u, std::thread::hardware_concurrency()),
                 maxThreads);
    std::vector<std::int16_t> different = lengths;
    different.erase(std::unique(different.begin(), different.end()), different.end());
    InputShape shape;
    shape.files = files.size();
    for (const auto& file : files) {
        shape.largestFile = std::max(shape.largestFile, file->Size());
        // A sample of about a million bytes a file is plenty to balance the partitions by.
        const auto* bytes = reinterpret_cast<const unsigned char*>(file->Data());
        const std::int64_t step = std::max<std::int64_t>(1, file->Size() >> 20) | 1;
        for (std::int64_t i = 0; i < file->Size(); i += step) {
            ++shape.histogram[bytes[i]];
        }
    }
    CountingPlan plan = PlanCounting(different, threads, shape);
    // The different strings over the list, where a length listed twice counts twice.
    const auto distinctOverList = [&] {
        std::int64_t total = 0;
        for (const std::int16_t length : lengths) {
            total += plan.unitOf.at(length)->Distinct(length);
        }
        return total;
    };
    struct Job {
        CountingUnit* unit;
        unsigned index;
    };
    std::vector<Job> fileJobs;
    std::vector<Job> finishJobs;
    for (const auto& unit : plan.units) {
        for (unsigned j = 0; j < unit->FileJobs(); ++j) {
            fileJobs.push_back({unit.get(), j});
        }
        for (unsigned j = 0; j < unit->FinishJobs(); ++j) {
            finishJobs.push_back({unit.get(), j});
        }
    }

    ProgressDisplay display(observer);
    std::atomic<bool> cancel{false};
    std::int64_t distinctBefore = 0; // at the start of the current file
    std::uint64_t fileBase = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const InputFile& file = *files[i];
        Progress progress = display.Current();
        progress.caption = "Calcolo in corso... Indirizzo corrente: " + std::to_string(i + 1) + "/" +
                           std::to_string(files.size()) + ":";
        progress.address = "1";
        progress.matchCount = distinctBefore;
        progress.completion = 0.0;
        display.Show(progress);
        if (observer.YieldAndCheckCancel()) {
            outcome.status = RunStatus::Cancelled;
            return outcome;
        }

        // The scan runs beside the host's events too: on a large file with many delimiters it takes a while.
        FileScan scan;
        if (!RunJobs(
                1, 1, [&](std::size_t) { scan = scanner.Scan(file, bufferLength, &cancel); }, cancel,
                observer, [] {})) {
            outcome.status = RunStatus::Cancelled;
            return outcome;
        }
        outcome.counters.countedCharacters += scan.countedPositions;

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
        const bool completed = RunJobs(
            fileJobs.size(), threads,
            [&](std::size_t j) {
                (void)fileJobs[j].unit->CountFile(fileJobs[j].index, file, static_cast<std::uint32_t>(i),
                                                  scan, fileBase, work[j], cancel);
            },
            cancel, observer, tick);
        if (!completed) {
            outcome.status = RunStatus::Cancelled;
            return outcome;
        }
        if (i + 1 == files.size() && !finishJobs.empty()) {
            // The sorting units count now, over all files at once; each part adds its strings when done.
            std::vector<WorkProgress> finishing(finishJobs.size());
            const std::int64_t beforeFinish = distinctOverList();
            const auto finishTick = [&] {
                Progress now = display.Current();
                now.matchCount = beforeFinish;
                for (const WorkProgress& job : finishing) {
                    now.matchCount += job.distinct.load(std::memory_order_relaxed);
                }
                display.Show(now);
            };
            const bool finished = RunJobs(
                finishJobs.size(), threads,
                [&](std::size_t j) {
                    (void)finishJobs[j].unit->Finish(finishJobs[j].index, finishing[j], cancel);
                },
                cancel, observer, finishTick);
            if (!finished) {
                outcome.status = RunStatus::Cancelled;
                return outcome;
            }
        }
        distinctBefore = distinctOverList();
        Progress finished = display.Current();
        ShowPosition(finished, scan.lastHandledPosition + 1, file.Size());
        finished.matchCount = distinctBefore;
        display.Show(finished);
        fileBase += static_cast<std::uint64_t>(file.Size() + 4 * bufferLength + 4);
    }
    outcome.counters.distinctStrings = distinctOverList();

    // Ranking.
    Progress ranking = display.Current();
    ranking.caption = "Calcolo in corso... Risultato corrente:";
    display.Show(ranking);
    std::string request = settings.topResults;
    std::optional<NumericText> requested = ParseNumeric(request);
    if (!requested) {
        request = defaultRequest;
        requested = ParseNumeric(request);
        observer.ResetTopResults(request);
    }
    const std::int64_t lastPosition = LastResultPosition(*requested, outcome.counters.distinctStrings);
    RankingInput input;
    for (const std::int16_t length : lengths) {
        input.columns.push_back({plan.unitOf.at(length), length});
    }
    std::vector<ResultEntry> results;
    bool rankingCancelled = false;
    const bool ranked = RunJobs(
        1, 1,
        [&](std::size_t) {
            results = SelectResults(input, lastPosition + 1, threads, cancel, rankingCancelled);
        },
        cancel, observer, [] {});
    if (!ranked || rankingCancelled || (lastPosition >= 0 && observer.YieldAndCheckCancel())) {
        outcome.status = RunStatus::Cancelled;
        return outcome;
    }
    if (lastPosition >= 0) {
        ranking.address = std::to_string(lastPosition) + " of " + request;
        display.Show(ranking);
    }
    plan = CountingPlan{};

    // Skip filters; from here on a request to stop is no longer honoured.
    ranking.caption = "Formattazione Risultati...";
    display.Show(ranking);
    (void)observer.YieldAndCheckCancel();
    ApplySkipFilters(results, settings.ignoreSpace, settings.ignoreReturn, settings.ignoreTab,
                     exclusionTable ? &*exclusionTable : nullptr);

    // Everything that can fail but the writes comes first: the table block and the whole report are
    // built before any file is touched, so a run that fails changes no file.
    std::string tableBlock;
    if (settings.outputTable) {
        ranking.caption = "Scrittura valori nella tabella...";
        display.Show(ranking);
        tableBlock = BuildTableBlock(results, ParseNumberList(settings.writeTableRanges, results.size()));
    }

    ranking.caption = "Generazione report...";
    display.Show(ranking);
    (void)observer.YieldAndCheckCancel();
    ReportHeader header;
    header.inputFiles = settings.inputFiles;
    header.totalCharacters = outcome.counters.totalCharacters;
    header.countedCharacters = outcome.counters.countedCharacters;
    header.distinctStrings = outcome.counters.distinctStrings;
    header.sampleLengths = lengths;
    // The clock is read after the result lines are built, as the elapsed time includes them.
    const std::string resultLines = BuildResultLines(results);
    header.elapsedSeconds = WholeSecondsBetween(startTime, std::chrono::system_clock::now());
    outcome.report = BuildReportHeader(header);
    outcome.report += resultLines;
    std::string reportFileContent;
    if (settings.reportFile) {
        reportFileContent = ReportFileContent(outcome.report);
    }
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
    observer.ShowReport(outcome.report);
    if (settings.beepOnFinish) {
        observer.Beep();
    }
    outcome.status = RunStatus::Completed;
    return outcome;
}

} // namespace

RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer)
{
    // Nothing is written before the report and the table block are complete, so a run that fails here
    // leaves every file as it was; the table and the report file are each written whole or not at all.
    RunOutcome failed;
    failed.status = RunStatus::Failed;
    try {
        return Run(settings, observer);
    } catch (const std::bad_alloc&) {
        failed.message = "Not enough memory for this run: ask for fewer or shorter sample lengths, fewer "
                         "results, or less input.";
    } catch (const std::exception& error) {
        failed.message = std::string("The run stopped: ") + error.what();
    } catch (...) {
        failed.message = "The run stopped on an unexpected error.";
    }
    return failed;
}

} // namespace kestrin
