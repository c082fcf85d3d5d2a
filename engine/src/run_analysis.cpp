#include "kestrin/run_analysis.h"

#include "counting/comment_scanner.h"
#include "counting/counting_plan.h"
#include "io/file_io.h"
#include "io/input_file.h"
#include "ranking.h"
#include "savings/real_savings.h"
#include "worker_pool.h"

#include "kestrin/number_list.h"
#include "kestrin/report.h"
#include "kestrin/table_file.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <array>
#include <chrono>
#include <exception>
#include <limits>
#include <map>
#include <stdexcept>
#include <thread>

namespace kestrin {
namespace {

// More counting threads than this only add memory: the work comes in few, large jobs.
constexpr unsigned maxThreads = 64;

constexpr std::string_view defaultRequest = "25";

// The sorting unit's records hold positions below this; the plan gives larger files to other units.
constexpr std::int64_t recordLimit = std::int64_t{1} << 31;

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

// The stages of the work on one file, in the order they come; the finish only follows the last file.
enum class FileStage { Reading, Scanning, Counting, Finishing };
constexpr std::size_t fileStages = 4;

// Rough costs of the stages, in nanoseconds a byte, as measured on a release build with the file in the
// page cache. They only weigh the stages against each other, so that the position moves at about the
// same pace all through a file.
constexpr double readCost = 0.3;
constexpr double plainScanCost = 0.05; // without the comment filter: one run a file
constexpr double commentScanCost = 1.5;
constexpr double countCost = 3.0;       // a length counted directly, a unit of lengths 3 to 8 by hashing
constexpr double sortedFileCost = 0.3;  // a sorting unit only counts its shards' records while files come
constexpr double sortedFinishCost = 40; // ...and collects, sorts and scans them after the last file

// The position shown while one file is worked on: the work done, each stage weighed by its cost, taken
// over the positions the file is handled up to. It never moves backwards, and the last stage ends where
// the file is handled to.
class FileProgress
{
public:
    FileProgress(ProgressDisplay& shown, const std::array<double, fileStages>& stageCosts)
        : display(shown), costs(stageCosts)
    {
        for (const double cost : costs) {
            total += cost;
        }
    }

    // fraction: how much of the stage is done, 0..1; handledTo: the position (from 1) the file is handled
    // up to, as far as it is known yet; fileSize: the bytes of the file, as far as they are known yet.
    void Show(FileStage stage, double fraction, std::int64_t handledTo, std::int64_t fileSize)
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

private:
    ProgressDisplay& display;
    std::array<double, fileStages> costs;
    double total = 0;
    std::int64_t reached = 0;
};

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
            end = LookAtInputs();
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

    // The exclusion table first, so that a bad table costs no reading time; then a look at every input, so
    // that a missing or unreadable one fails before any counting. The inputs are read as they are counted.
    std::optional<EarlyEnd> LookAtInputs()
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
        looks.reserve(settings.inputFiles.size());
        for (const auto& path : settings.inputFiles) {
            auto look = LookAtFile(path);
            if (auto* error = std::get_if<FileError>(&look)) {
                return EarlyEnd{RunStatus::InputFailed, std::nullopt, *error};
            }
            looks.push_back(std::get<FileLook>(look));
        }
        files.reserve(settings.inputFiles.size());
        return std::nullopt;
    }

    // Reads one input on a worker, so that the host keeps its events and a cancel is seen between chunks.
    // The first file also brings the shape of the whole input, which the plan of the count needs.
    std::optional<EarlyEnd> ReadInput(std::size_t index, FileProgress& shown)
    {
        const std::filesystem::path& path = settings.inputFiles[index];
        std::atomic<std::int64_t> bytesRead{0};
        std::variant<std::unique_ptr<InputFile>, FileError> opened;
        InputShape shape;
        const auto tick = [&] {
            const std::int64_t read = bytesRead.load(std::memory_order_relaxed);
            // A pipe's end is not known before it comes: its position follows the bytes.
            const std::int64_t expected = looks[index].regular ? looks[index].size : read;
            const double fraction =
                expected > 0 ? static_cast<double>(read) / static_cast<double>(expected) : 0;
            shown.Show(FileStage::Reading, fraction, expected + 1, expected);
        };
        const bool completed = RunOnWorkers(
            1, 1,
            [&](std::size_t, unsigned) {
                // Reads may reach 16 bytes past a position whatever the lengths: short strings are read as
                // words.
                opened =
                    InputFile::Open(path, std::max<std::int64_t>(bufferLength, 16), {&cancel, &bytesRead});
                if (index == 0 && std::holds_alternative<std::unique_ptr<InputFile>>(opened)) {
                    shape = ShapeOfInput(*std::get<std::unique_ptr<InputFile>>(opened));
                }
            },
            cancel, observer, tick);
        if (!completed) {
            return Cancelled();
        }
        if (auto* error = std::get_if<FileError>(&opened)) {
            return EarlyEnd{RunStatus::InputFailed, std::nullopt, *error};
        }
        files.push_back(std::move(std::get<std::unique_ptr<InputFile>>(opened)));
        const std::int64_t size = files.back()->Size();
        counters.totalCharacters += size;
        if (index == 0) {
            PlanTheCount(shape);
        } else if (size > plannedLargest && size >= recordLimit && !finishJobs.empty()) {
            throw std::runtime_error(path.string() + " grew past 2 GiB after the run had planned its count");
        }
        return std::nullopt;
    }

    // The shape of the input from the first file, read, and a sample of each other file as it is now. A
    // file whose size cannot be known in advance (a pipe) counts as too large for the records of a sort.
    [[nodiscard]] InputShape ShapeOfInput(const InputFile& first) const
    {
        InputShape shape;
        shape.files = settings.inputFiles.size();
        shape.largestFile = first.Size();
        // A sample of about a million bytes a file is plenty to balance the shards by.
        const auto* bytes = reinterpret_cast<const unsigned char*>(first.Data());
        const std::int64_t step = std::max<std::int64_t>(1, first.Size() >> 20) | 1;
        for (std::int64_t i = 0; i < first.Size(); i += step) {
            ++shape.histogram[bytes[i]];
        }
        for (std::size_t index = 1; index < looks.size() && !cancel.load(); ++index) {
            shape.largestFile =
                std::max(shape.largestFile, looks[index].regular ? looks[index].size : recordLimit);
            for (const char byte : SampleFileBytes(settings.inputFiles[index])) {
                ++shape.histogram[static_cast<unsigned char>(byte)];
            }
        }
        return shape;
    }

    // The sample lengths, each once.
    [[nodiscard]] std::vector<std::int16_t> DifferentLengths() const
    {
        std::vector<std::int16_t> different = lengths;
        different.erase(std::unique(different.begin(), different.end()), different.end());
        return different;
    }

    // One counter per different length; a length listed twice is counted once and ranked twice.
    void PlanTheCount(const InputShape& shape)
    {
        plan = PlanCounting(DifferentLengths(), threads, shape);
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

    // The different strings over the list, where a length listed twice counts twice.
    [[nodiscard]] std::int64_t DistinctOverList() const
    {
        std::int64_t total = 0;
        for (const std::int16_t length : lengths) {
            total += plan.unitOf.at(length)->Distinct(length);
        }
        return total;
    }

    // The estimated costs of the stages of one file; the finish, after the last file, covers the whole
    // input. The plan says which units count; before it is made, a plan from the files' sizes stands in.
    [[nodiscard]] std::array<double, fileStages> StageCosts(std::size_t index) const
    {
        CountingPlan standIn;
        if (plan.units.empty()) {
            InputShape shape;
            shape.files = looks.size();
            for (const FileLook& look : looks) {
                shape.largestFile = std::max(shape.largestFile, look.regular ? look.size : recordLimit);
            }
            standIn = PlanCounting(DifferentLengths(), threads, shape);
        }
        const CountingPlan& counting = plan.units.empty() ? standIn : plan;
        std::map<const CountingUnit*, int> lengthsOf;
        for (const auto& [length, unit] : counting.unitOf) {
            lengthsOf[unit] += length > 0 ? 1 : 0;
        }
        double count = 0;
        double finish = 0;
        unsigned jobs = 0;
        for (const auto& [unit, counted] : lengthsOf) {
            jobs += unit->FileJobs();
            if (unit->FinishJobs() > 0) {
                count += sortedFileCost;
                finish += sortedFinishCost;
            } else {
                count += countCost * counted;
            }
        }
        // The jobs of a stage share the workers.
        const double parallel = std::max(1u, std::min(threads, jobs));
        const auto size =
            static_cast<double>(files.size() > index ? files[index]->Size() : looks[index].size);
        double input = size;
        if (index + 1 == looks.size()) {
            for (std::size_t earlier = 0; earlier < index && earlier < files.size(); ++earlier) {
                input += static_cast<double>(files[earlier]->Size());
            }
        } else {
            finish = 0;
        }
        const double scan = scanner.UseComments() ? commentScanCost : plainScanCost;
        return {readCost * size, scan * size, count / parallel * size, finish / parallel * input};
    }

    std::optional<EarlyEnd> CountInputs()
    {
        if (looks.empty()) {
            PlanTheCount(
                InputShape{}); // the first file plans the count; without one, the ranking still needs it
        }
        std::int64_t distinctBefore = 0; // at the start of the current file
        std::uint64_t fileBase = 0;
        for (std::size_t i = 0; i < looks.size(); ++i) {
            Progress progress = display.Current();
            progress.phase = RunPhase::Counting;
            progress.file = static_cast<std::int64_t>(i + 1);
            progress.files = static_cast<std::int64_t>(looks.size());
            progress.position = 1;
            progress.matchCount = distinctBefore;
            progress.completion = 0.0;
            display.Show(progress);
            if (observer.YieldAndCheckCancel()) {
                return Cancelled();
            }
            FileProgress shown(display, StageCosts(i));
            if (auto end = ReadInput(i, shown)) {
                return end;
            }
            const InputFile& file = *files[i];

            // The scan runs beside the host's events too: on a large file with many delimiters it takes a
            // while.
            FileScan scan;
            if (!RunOnWorkers(
                    1, 1, [&](std::size_t, unsigned) { scan = scanner.Scan(file, bufferLength, &cancel); },
                    cancel, observer)) {
                return Cancelled();
            }
            counters.countedCharacters += scan.countedPositions;
            const std::int64_t handledTo = scan.lastHandledPosition + 1;
            shown.Show(FileStage::Scanning, 1.0, handledTo, file.Size());

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
                const std::int64_t position =
                    std::min(reached / static_cast<std::int64_t>(work.size()), scan.lastHandledPosition) + 1;
                Progress now = display.Current();
                now.matchCount = std::max(distinctBefore, distinct);
                display.Show(now);
                shown.Show(FileStage::Counting,
                           static_cast<double>(position) / static_cast<double>(handledTo), handledTo,
                           file.Size());
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
            if (i + 1 == looks.size() && !FinishCount(shown, handledTo, file.Size())) {
                return Cancelled();
            }
            distinctBefore = DistinctOverList();
            Progress finished = display.Current();
            ShowPosition(finished, handledTo, file.Size());
            finished.matchCount = distinctBefore;
            display.Show(finished);
            fileBase += static_cast<std::uint64_t>(file.Size() + 4 * bufferLength + 4);
        }
        counters.distinctStrings = DistinctOverList();
        return std::nullopt;
    }

    // The sorting units count now, over all files at once; each shard adds its strings when done. The
    // last file's position moves on with the finish jobs.
    // With real savings, the index of the savings choice is built beside the finish: it needs only the
    // text, which is all read by now, and it would otherwise wait for the count.
    bool FinishCount(FileProgress& shown, std::int64_t handledTo, std::int64_t fileSize)
    {
        const std::size_t indexJobs = settings.realSavings ? 1 : 0;
        if (finishJobs.empty() && indexJobs == 0) {
            return true;
        }
        if (indexJobs != 0) {
            PrepareSavings();
        }
        std::vector<WorkProgress> finishing(finishJobs.size());
        const std::int64_t beforeFinish = DistinctOverList();
        const auto tick = [&] {
            Progress now = display.Current();
            now.matchCount = beforeFinish;
            std::int64_t done = 0;
            for (const WorkProgress& job : finishing) {
                now.matchCount += job.distinct.load(std::memory_order_relaxed);
                done += job.finished.load(std::memory_order_relaxed);
            }
            display.Show(now);
            if (!finishing.empty()) {
                shown.Show(FileStage::Finishing,
                           static_cast<double>(done) /
                               static_cast<double>(WorkProgress::whole * finishing.size()),
                           handledTo, fileSize);
            }
        };
        // The index first, so that it starts at once on one worker while the others finish the count.
        return RunOnWorkers(
            indexJobs + finishJobs.size(), threads,
            [&](std::size_t j, unsigned) {
                if (j < indexJobs) {
                    BuildSavingsIndex();
                    return;
                }
                const Job& job = finishJobs[j - indexJobs];
                (void)job.unit->Finish(job.index, finishing[j - indexJobs], cancel);
            },
            cancel, observer, tick);
    }

    // What the savings choice needs before the count is ranked: the sample lengths and what forbids a
    // candidate.
    void PrepareSavings()
    {
        savings.lengths.assign(lengths.begin(), lengths.end()); // the choice leaves out 0 and repeats
        if (exclusionTable) {
            listed.insert(exclusionTable->begin(), exclusionTable->end());
        }
        if (!settings.ignoreSpace && !settings.ignoreTab && listed.empty()) {
            return; // nothing forbids a candidate: the index asks nobody
        }
        savings.forbidden = [this](std::string_view text) {
            return (settings.ignoreSpace && text.find(' ') != std::string_view::npos) ||
                   (settings.ignoreTab && text.find('\t') != std::string_view::npos) || listed.contains(text);
        };
    }

    // The bytes of the codes of the entries 0 to most - 1: the codes of the ranges, one byte each without
    // ranges; the list ends where the ranges run out.
    [[nodiscard]] std::vector<int> CodeBytes(std::size_t most) const
    {
        const std::vector<std::int16_t> codes = ParseNumberList(settings.writeTableRanges, most);
        if (codes.empty()) {
            return std::vector<int>(most, 1);
        }
        std::vector<int> bytes;
        bytes.reserve(codes.size());
        for (const std::int16_t code : codes) {
            bytes.push_back(static_cast<std::uint16_t>(code) > 0xFF ? 2 : 1);
        }
        return bytes;
    }

    // The index is built before the number of results is known, which depends on the count; the codes of
    // as many entries as the request allows at most give the cheapest code any entry can have.
    void BuildSavingsIndex()
    {
        savings.stretches = CountedText();
        if (cancel.load()) {
            return;
        }
        std::optional<NumericText> requested = ParseNumeric(settings.topResults);
        if (!requested) {
            requested = ParseNumeric(defaultRequest);
        }
        const std::int64_t lastAtMost =
            LastResultPosition(*requested, std::numeric_limits<std::int64_t>::max());
        const std::vector<int> codes =
            CodeBytes(static_cast<std::size_t>(std::max<std::int64_t>(lastAtMost + 1, 0)));
        const auto cheapest = std::min_element(codes.begin(), codes.end());
        savingsIndex =
            std::make_unique<SavingsChoice>(savings, cheapest == codes.end() ? 0 : *cheapest, cancel);
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
        const std::size_t jobs = lastPosition >= 0 ? selection.Jobs() : 0;
        const bool ranked = RunOnWorkers(
            jobs, threads, [&](std::size_t job, unsigned worker) { selection.VisitJob(job, worker, cancel); },
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
        const std::vector<int> codeBytes =
            CodeBytes(static_cast<std::size_t>(std::max<std::int64_t>(lastPosition + 1, 0)));
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
                if (!savingsIndex) { // no input file: the count had no finish to build it beside
                    PrepareSavings();
                    BuildSavingsIndex();
                }
                if (savingsIndex) {
                    choice = savingsIndex->Choose(codeBytes, &chosen);
                }
            },
            cancel, observer, tick);
        // The two encodings of the text with the entries, side by side when there are threads for them.
        const bool encoded =
            chose && RunOnWorkers(
                         savingsIndex ? SavingsChoice::encodingJobs : 0, threads,
                         [&](std::size_t job, unsigned) { savingsIndex->Encode(job, choice); }, cancel,
                         observer, tick);
        if (!encoded || observer.YieldAndCheckCancel()) {
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
    std::vector<FileLook> looks; // of every input, before any is read
    std::vector<std::unique_ptr<InputFile>> files;
    std::int64_t plannedLargest = 0; // the largest file the plan of the count knew of
    CountingPlan plan;
    std::vector<Job> fileJobs;
    std::vector<Job> finishJobs;
    std::vector<ResultEntry> results;
    SavingsRequest savings; // real savings: the request, whose stretches the index points into
    absl::flat_hash_set<std::string_view> listed; // the exclusion table's entries, which forbid candidates
    std::unique_ptr<SavingsChoice> savingsIndex;
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
