// SPDX-License-Identifier: MIT
// What only the engine does in a run: output failures, cancel, progress, threads, memory, large files.
// What a run counts and shows is held to the shared case tables in tests/model.

#include "large_memory.h"
#include "run/analysis.h"
#include "suffix_sort.h"
#include "test_support.h"
#include "write_faults.h"

#include "kestrin/number_list.h"
#include "kestrin/run_analysis.h"

#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kestrin {
namespace {

using testing::MaskElapsed;
using testing::ReadFile;
using testing::RecordingObserver;
using testing::TempDir;

// Text with spaces, line ends, comment delimiters and repeats of one letter, as counting meets in scripts.
std::string ScriptLikeText(unsigned seed, std::size_t size)
{
    std::mt19937 random(seed);
    return testing::RandomText(random, "aab bc\r\ndeeef/*", size);
}

// A file of `size` NUL bytes that takes no room on the disk: nothing of it is written.
std::filesystem::path SparseFile(const TempDir& dir, const std::string& name, std::int64_t size)
{
    const auto path = dir.Write(name, "");
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
    return path;
}

// A host that cancels at a yield, or runs out of memory when the run reaches a phase.
class FailingObserver : public RecordingObserver
{
public:
    std::optional<RunPhase> exhaustedAt;
    void ShowProgress(const Progress& now) override
    {
        if (now.phase == exhaustedAt) {
            throw std::bad_alloc();
        }
    }
};

// The ways a run goes: in bytes, in UTF-8 and through a game table, each ranked, with real savings and
// judging a table.
struct RunMode {
    const char* name;
    TextEncoding encoding;
    bool gameTable;
    bool realSavings;
    bool evaluate = false;
    bool keepAndCurve = false; // kept entries, and the curve's picture
    // A script of many different characters, counted over their numbers, or with a length over 8 by the
    // suffix sort.
    const char* manyCharacters = nullptr;
};
constexpr RunMode runModes[] = {
    {"bytes", TextEncoding::Latin1, false, false},
    {"bytes, real savings", TextEncoding::Latin1, false, true},
    {"UTF-8", TextEncoding::Utf8, false, false},
    {"UTF-8, real savings", TextEncoding::Utf8, false, true},
    {"game table", TextEncoding::Utf8, true, false},
    {"game table, real savings", TextEncoding::Utf8, true, true},
    {"bytes, evaluated", TextEncoding::Latin1, false, false, true},
    {"game table, evaluated", TextEncoding::Utf8, true, false, true},
    {"bytes, kept entries and the curve", TextEncoding::Latin1, false, true, false, true},
    {"game table, kept entries and the curve", TextEncoding::Utf8, true, true, false, true},
    {"UTF-8, many characters", TextEncoding::Utf8, false, false, false, false, "1-4"},
    {"UTF-8, many characters, real savings", TextEncoding::Utf8, false, true, false, false, "1-4"},
    {"UTF-8, many characters, a length over 8", TextEncoding::Utf8, false, false, false, false, "1-4,9"},
};

// A run stopped wherever it looks at the cancel flag (every pass of the count, the sorts, the grouping,
// the choice and each encoding), or out of memory at a phase, ends with no report and changes no file.
TEST(RunAnalysis, CancelAtEveryLookOrNoMemoryEndsTheRunWithoutOutput)
{
    const TempDir dir;
    const std::string script = "la porta \xC3\xA8 la torta /* no */\r\nla porta \xC3\xA8 la porta\r\n";
    const std::vector<std::filesystem::path> inputs = {dir.Write("a", script), dir.Write("b", script)};
    RunSettings settings{.inputFiles = inputs};
    settings.useComments = true;
    settings.reportFile = dir.Write("report.txt", "old");
    settings.outputTable = dir.Write("out.tbl", "old");
    settings.writeTableRanges = "&H80-&H8F";
    settings.threads = 1; // one order of looks, so that each number stops the run at its own place
    settings.encodingPreview = dir.Write("preview.txt", "old");
    const auto gameTable = dir.Write("game.tbl", "61=a\n6C=l\n70=p\n6F=o\n72=r\n74=t\n20= \n"
                                                 "2F=/\n2A=*\n6E=n\nE8=\xC3\xA8\n*FE\n");
    // 1,200 different ideographs, each twice: most of them lie outside the 255 most frequent.
    std::string ideographs;
    for (int round = 0; round < 2; ++round) {
        for (char32_t c = 0x4E00; c < 0x4E00 + 1200; ++c) {
            ideographs += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (c & 0x3F))};
            ideographs += c % 40 == 39 ? "\r\n" : "";
        }
    }
    const auto manyScript = dir.Write("many", ideographs);
    const auto evaluated = dir.Write("dte.tbl", "8000=la \n8001=orta\n");
    for (const RunMode& mode : runModes) {
        SCOPED_TRACE(mode.name);
        settings.encoding = mode.encoding;
        settings.gameTable = mode.gameTable ? std::optional(gameTable) : std::nullopt;
        settings.realSavings = mode.realSavings;
        settings.evaluateTable = mode.evaluate ? std::optional(evaluated) : std::nullopt;
        const auto curveFile = dir.Path() / "curve.svg";
        settings.keepTable =
            mode.keepAndCurve ? std::optional(dir.Write("keep.tbl", "F0=la \n")) : std::nullopt;
        settings.curveFile = mode.keepAndCurve ? std::optional(curveFile) : std::nullopt;
        settings.inputFiles = mode.manyCharacters ? std::vector{manyScript} : inputs;
        settings.sampleLengths = mode.manyCharacters ? mode.manyCharacters : "1-4";
        std::int64_t look = 0;
        for (;; ++look) {
            SCOPED_TRACE(look);
            RecordingObserver observer;
            CancelFlag cancel;
            cancel.SetAtLook(look);
            const auto outcome = RunAnalysis(settings, observer, cancel);
            if (outcome.status == RunStatus::Completed) {
                EXPECT_EQ(std::filesystem::remove(curveFile), mode.keepAndCurve);
                dir.Write("report.txt", "old");
                dir.Write("out.tbl", "old");
                dir.Write("preview.txt", "old");
                break;
            }
            ASSERT_EQ(outcome.status, RunStatus::Cancelled);
            EXPECT_TRUE(outcome.report.empty());
            EXPECT_FALSE(std::filesystem::exists(curveFile));
            EXPECT_EQ(ReadFile(*settings.reportFile), "old");
            EXPECT_EQ(ReadFile(*settings.outputTable), "old");
            EXPECT_EQ(ReadFile(*settings.encodingPreview), "old");
        }
        EXPECT_GE(look, mode.realSavings ? 10 : 5); // the run looked in each of its passes
        for (const RunPhase phase :
             {RunPhase::Counting, RunPhase::Formatting, RunPhase::WritingTable, RunPhase::Reporting}) {
            if (mode.evaluate && (phase == RunPhase::Formatting || phase == RunPhase::WritingTable)) {
                continue; // a run that judges a table ranks nothing and writes no table
            }
            FailingObserver observer;
            observer.exhaustedAt = phase;
            const auto outcome = RunAnalysis(settings, observer);
            EXPECT_EQ(outcome.status, RunStatus::Failed);
            EXPECT_EQ(outcome.failure, Failure::OutOfMemory);
            EXPECT_TRUE(outcome.report.empty());
        }
        EXPECT_EQ(ReadFile(*settings.reportFile), "old");
        EXPECT_EQ(ReadFile(*settings.outputTable), "old");
        EXPECT_EQ(ReadFile(*settings.encodingPreview), "old");
    }
    // The host's cancel, at its first yields, and the next run starts from empty counts.
    settings = RunSettings{.inputFiles = {dir.Write("c", "abcdef"), dir.Write("d", "ghijkl")}};
    for (int yields = 0; yields < 3; ++yields) {
        RecordingObserver observer;
        observer.cancelAfterYields = yields;
        EXPECT_EQ(RunAnalysis(settings, observer).status, RunStatus::Cancelled);
    }
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    EXPECT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(outcome.counters.distinctStrings, 13);
}

// Work that cannot be stopped (the suffix sort) gives way to a cancel at once, finishes alone and then
// lets go of what it owns; when it finishes first, its failure reaches the caller.
TEST(RunUnstoppable, ACancelEndsTheWaitAndTheWorkFinishesAlone)
{
    CancelFlag cancel;
    cancel.Set();
    std::promise<void> release;
    auto owned = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = owned;
    EXPECT_FALSE(RunUnstoppable(
        [owned = std::move(owned), released = release.get_future().share()] {
            released.wait();
            *owned = 1;
        },
        cancel));
    EXPECT_FALSE(watch.expired());
    release.set_value();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!watch.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(watch.expired());

    EXPECT_THROW((void)RunUnstoppable([] { throw std::bad_alloc(); }, CancelFlag{}), std::bad_alloc);
    LargeVector<std::int32_t> suffixes;
    ASSERT_TRUE(SortSuffixes("banana", suffixes, CancelFlag{}));
    EXPECT_EQ(suffixes, (LargeVector<std::int32_t>{5, 3, 1, 0, 4, 2}));
}

// The peak of the process's resident memory since the last ResetMemoryPeak, in KiB.
std::int64_t MemoryPeak()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return -1;
}
bool ResetMemoryPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return MemoryPeak() >= 0;
}

// A host that cancels at its first yield while a file is read, and notes how much memory the run had
// filled by then.
class CancelWhileReading : public RecordingObserver
{
public:
    bool YieldAndCheckCancel() override
    {
        if (peakAtCancel < 0 && !progress.empty() && progress.back().phase == RunPhase::Counting &&
            ++readingYields == 2) {
            peakAtCancel = MemoryPeak(); // the first yield starts the file, the second comes while it is read
        }
        return peakAtCancel >= 0;
    }
    int readingYields = 0;
    std::int64_t peakAtCancel = -1;
};

// Reading runs beside the host's events: a cancel while a large file is read ends the run long before the
// file is in memory (the reader stops within a chunk of a MiB), and a cancel while a pipe's writer is
// silent ends it at all (the reader looks at the flag between waits). How many yields that takes depends
// on the machine, so only the memory and the end are held to.
TEST(RunAnalysis, CancelWhileReadingEndsTheRun)
{
    const TempDir dir;
    const std::int64_t size = std::int64_t{1} << 30;
    const auto sparse = SparseFile(dir, "sparse", size);
    const auto fifo = dir.Path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Held open for writing (O_RDWR does not wait for a reader) and silent after a few bytes.
    int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "abc", 3), 3);
    for (const auto& input : {sparse, fifo}) {
        SCOPED_TRACE(input);
        RunSettings settings{.inputFiles = {input}, .sampleLengths = "2-8"};
        settings.reportFile = dir.Path() / "report.txt";
        ASSERT_TRUE(ResetMemoryPeak());
        CancelWhileReading observer;
        auto run = std::async(std::launch::async, [&] { return RunAnalysis(settings, observer); });
        // A run that missed the cancel would wait for the silent writer for ever: end the pipe and fail.
        if (run.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            ADD_FAILURE() << "the run did not end after the cancel";
            ::close(writer);
            writer = -1;
        }
        EXPECT_EQ(run.get().status, RunStatus::Cancelled);
        // The reader reads a MiB at a time: far less than the rest of the file comes in after the cancel.
        ASSERT_GE(observer.peakAtCancel, 0);
        EXPECT_LT(MemoryPeak() - observer.peakAtCancel, size / 1024 / 4);
        EXPECT_FALSE(std::filesystem::exists(*settings.reportFile));
    }
    if (writer >= 0) {
        ::close(writer);
    }
}

// Progress goes through every phase and every file, the position from 1 for each file and the count of
// strings carrying on. Within a file the position and the completion only move forwards, through reading,
// counting and the sort after the last file, in steps of 50 positions and 500 bytes at handled positions
// only, to where the file is handled (at length 1, a file of L bytes up to position L + 1), also where a
// long sample length leaves most of a file unhandled; in bytes and in characters, ranked or chosen. Once
// the ranking starts, the page shows its step, never a position. The count of different strings never
// shows more than the run finds: each job of a unit reports its own strings, at two threads too.
TEST(RunAnalysis, ProgressMovesForwardsThroughEachPhaseAndFile)
{
    const TempDir dir;
    const std::string text = ScriptLikeText(11, 1500000);
    const struct {
        std::vector<std::size_t> sizes; // of the files, cut from the text
        const char* lengths;
        unsigned threads;
        bool comments;
        std::int64_t position; // the last shown for the second file; 0: it ends where the file is handled
        double completion;
        TextEncoding encoding = TextEncoding::Latin1;
        bool realSavings = false;
    } cases[] = {
        {{2, 0, 1}, "1", 1, false, 1, 0.0},
        {{2, 48, 1}, "1", 1, false, 1, 0.0},
        {{2, 49, 1}, "1", 1, false, 50, 0.0},
        {{2, 99, 1}, "1", 1, false, 100, 0.0},
        {{2, 498, 1}, "1", 1, false, 450, 0.0},
        {{2, 499, 1}, "1", 1, false, 500, 1.0},
        {{2, 1200, 1}, "1", 1, false, 1200, 1000.0 / 1200.0},
        {{1000000, 500000}, "2-8", 1, false},
        {{1000000, 500000}, "2-8", 2, true},
        {{1000000, 500000}, "3,12", 2, false},
        {{1000000, 500000}, "1,4", 2, false},
        {{1000000, 500000}, "10", 2, false},
        {{3000, 2800}, "2500", 2, false},
        {{1000000, 500000}, "2-8", 2, false, 0, 0.0, TextEncoding::Utf8},
        {{300000, 200000}, "2-4", 1, true, 0, 0.0, TextEncoding::Utf8, true},
        {{300000, 200000}, "2-4", 2, false, 0, 0.0, TextEncoding::Latin1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lengths) + " " + std::to_string(c.sizes[1]));
        RunSettings settings{
            .sampleLengths = c.lengths, .topResults = "abc", .outputTable = dir.Path() / "t.tbl"};
        for (std::size_t f = 0, start = 0; f < c.sizes.size(); start += c.sizes[f++]) {
            settings.inputFiles.push_back(dir.Write(std::to_string(f), text.substr(start, c.sizes[f])));
        }
        settings.useComments = c.comments;
        settings.threads = c.threads;
        settings.encoding = c.encoding;
        settings.realSavings = c.realSavings;
        settings.writeTableRanges = "&H8000-&H8FFF"; // codes for the savings mode's entries
        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        std::vector<std::pair<RunPhase, std::int64_t>> phases; // with the file while counting
        std::vector<Progress> last(c.sizes.size());            // the last shown for each file
        for (const Progress& p : observer.progress) {
            const std::pair<RunPhase, std::int64_t> now{p.phase, p.phase == RunPhase::Counting ? p.file : 0};
            if (phases.empty() || phases.back() != now) {
                phases.push_back(now);
            }
            EXPECT_EQ(p.files, static_cast<std::int64_t>(c.sizes.size()));
            EXPECT_LE(p.matchCount, outcome.counters.distinctStrings);
            EXPECT_EQ(p.lastResult.has_value(), p.phase != RunPhase::Counting);
            if (p.phase == RunPhase::Counting) {
                Progress& before = last[static_cast<std::size_t>(p.file - 1)];
                EXPECT_GE(p.position, before.position) << p.file;
                EXPECT_GE(p.completion, before.completion);
                EXPECT_TRUE(p.position == 1 || p.position % 50 == 0) << p.position;
                before = p;
            }
        }
        std::vector<std::pair<RunPhase, std::int64_t>> expected;
        for (std::int64_t f = 1; f <= static_cast<std::int64_t>(c.sizes.size()); ++f) {
            expected.push_back({RunPhase::Counting, f});
        }
        for (const RunPhase phase :
             {RunPhase::Ranking, RunPhase::Formatting, RunPhase::WritingTable, RunPhase::Reporting}) {
            expected.push_back({phase, 0});
        }
        EXPECT_EQ(phases, expected);
        const Progress& end = observer.progress.back();
        EXPECT_EQ(end.matchCount, outcome.counters.distinctStrings);
        EXPECT_EQ(end.lastResult, static_cast<std::int64_t>(outcome.results.size()) - 1);
        EXPECT_EQ(end.request, "25"); // the request that was used
        if (c.position != 0) {
            EXPECT_EQ(end.position, 1); // of the last file, of one byte
            EXPECT_EQ(last[1].position, c.position);
            EXPECT_DOUBLE_EQ(last[1].completion, c.completion);
            continue;
        }
        const std::int64_t longest = ParseNumberList(c.lengths).back();
        for (std::size_t f = 0; f < c.sizes.size(); ++f) {
            const auto handled =
                static_cast<std::int64_t>(c.sizes[f]) - longest; // give or take the delimiters
            EXPECT_GE(last[f].position, handled - 50);
            EXPECT_GE(last[f].completion,
                      static_cast<double>(handled - 1000) / static_cast<double>(c.sizes[f]));
        }
    }
}

// Runs that would go wrong are refused before anything is read (no progress is shown, nothing asked) and
// change no file: a report file that is an input or a table of the run, compared as files (through links,
// or not there yet), would destroy it; an output table that is an input or the game table would get table
// lines appended; with real savings, an output table whose ranges give no code would get an empty block,
// and an input of 2 GiB or more is too long for the choice or the count in UTF-8 characters, which the
// files' sizes tell (a sparse file here: nothing of it is read).
TEST(RunAnalysis, RefusesBeforeReadingWhatCannotGoWell)
{
    const TempDir dir;
    const auto at = [&](const char* name) { return dir.Path() / name; };
    dir.Write("ex.tbl", "80=ab\r\n");
    dir.Write("t.tbl", "81=cd\r\n");
    std::filesystem::create_symlink("in.txt", at("link.txt"));
    std::filesystem::create_hard_link(dir.Write("in.txt", "abcabc"), at("hard.txt"));
    std::filesystem::create_directory(at("sub"));
    SparseFile(dir, "huge", std::int64_t{1} << 31);
    using enum FileRole;
    using Reason = Refusal::Reason;
    // The files by name ("" none); a clash names the report file, else the output table, and `other`.
    const struct {
        std::vector<const char*> inputs;
        const char *report, *exclusion, *outputTable, *ranges;
        bool savings;
        std::optional<Reason> reason;
        FileRole otherRole = InputFile;
        const char* other = "in.txt";
        const char* gameTable = "";
        bool utf8 = false;
        const char* keep = "";  // the table of kept entries
        const char* curve = ""; // the curve's picture
    } cases[] = {
        // The curve's picture may be no file of the run, nor a folder.
        {{"in.txt"}, "", "", "", "", true, Reason::SameFile, InputFile, "in.txt", "", false, "", "hard.txt"},
        {{"in.txt"},
         "",
         "ex.tbl",
         "t.tbl",
         "&H80",
         true,
         Reason::SameFile,
         OutputTable,
         "t.tbl",
         "",
         false,
         "",
         "t.tbl"},
        {{"in.txt"}, "", "", "", "", true, Reason::OutputIsFolder, InputFile, "in.txt", "", false, "", "sub"},
        // The report file may not be the table of kept entries, but the output table may; kept entries
        // need real savings.
        {{"in.txt"}, "ex.tbl", "", "", "", true, Reason::SameFile, KeptTable, "ex.tbl", "", false, "ex.tbl"},
        {{"in.txt"}, "", "", "ex.tbl", "&H80", true, std::nullopt, InputFile, "in.txt", "", false, "ex.tbl"},
        {{"in.txt"},
         "",
         "",
         "",
         "",
         false,
         Reason::KeepWithoutSavings,
         KeptTable,
         "ex.tbl",
         "",
         false,
         "ex.tbl"},
        {{"in.txt"}, "in.txt", "", "", "", false, Reason::SameFile},
        {{"in.txt"}, "link.txt", "", "", "", false, Reason::SameFile},
        {{"in.txt"}, "hard.txt", "", "", "", false, Reason::SameFile},
        {{"in.txt"}, "ex.tbl", "ex.tbl", "", "", false, Reason::SameFile, ExclusionTable, "ex.tbl"},
        {{"in.txt"}, "t.tbl", "", "t.tbl", "", false, Reason::SameFile, OutputTable, "t.tbl"},
        // Neither is there yet; the output table may be the exclusion table.
        {{"in.txt"}, "new.tbl", "", "new.tbl", "", false, Reason::SameFile, OutputTable, "new.tbl"},
        {{"in.txt"}, "sub/../new.tbl", "", "new.tbl", "", false, Reason::SameFile, OutputTable, "new.tbl"},
        {{"in.txt"}, "other.txt", "t.tbl", "t.tbl", "", false, std::nullopt},
        {{"in.txt"}, "new.txt", "ex.tbl", "t.tbl", "", false, std::nullopt},
        {{"in.txt"}, "", "", "in.txt", "&H80-&HFF", false, Reason::SameFile},
        {{"t.tbl", "hard.txt"}, "", "", "in.txt", "&H80-&HFF", true, Reason::SameFile, InputFile, "hard.txt"},
        {{"in.txt"}, "", "", "t.tbl", "&H100-&HFFFF", true, Reason::NoTableCode}, // &HFFFF is -1: no range
        {{"in.txt"}, "", "", "t.tbl", "", true, Reason::NoTableCode},
        {{"in.txt", "huge"}, "", "", "t.tbl", "&H80-&HFF", true, Reason::InputTooLong},
        {{"in.txt", "huge"},
         "",
         "",
         "",
         "",
         false,
         Reason::InputTooLongInCharacters,
         InputFile,
         "",
         "",
         true},
        // Codes appended to the game table would break its lines.
        {{"in.txt"}, "", "", "t.tbl", "&H80-&HFF", false, Reason::SameFile, GameTable, "t.tbl", "t.tbl"},
    };
    std::map<std::string, std::string> files;
    for (const auto& name : testing::Names(dir.Path())) {
        files[name] = name == "huge" ? "" : ReadFile(at(name.c_str()));
    }
    const auto path = [&](const char* name) { return *name ? std::optional(at(name)) : std::nullopt; };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.report) + " " + c.outputTable + " " + c.ranges);
        RunSettings settings{.exclusionTable = path(c.exclusion),
                             .reportFile = path(c.report),
                             .outputTable = path(c.outputTable),
                             .writeTableRanges = c.ranges,
                             .realSavings = c.savings,
                             .encoding = c.utf8 ? TextEncoding::Utf8 : TextEncoding::Latin1,
                             .gameTable = path(c.gameTable),
                             .keepTable = path(c.keep),
                             .curveFile = path(c.curve)};
        for (const char* name : c.inputs) {
            settings.inputFiles.push_back(at(name));
        }
        std::optional<Refusal> expected;
        if (c.reason == Reason::SameFile && *c.curve) {
            expected = Refusal{Reason::SameFile, 0, CurveFile, c.otherRole, at(c.curve), at(c.other)};
        } else if (c.reason == Reason::SameFile) {
            expected = Refusal{Reason::SameFile,
                               0,
                               *c.report ? ReportFile : OutputTable,
                               c.otherRole,
                               at(*c.report ? c.report : c.outputTable),
                               at(c.other)};
        } else if (c.reason == Reason::OutputIsFolder) {
            expected = Refusal{.reason = *c.reason, .role = CurveFile, .path = at(c.curve)};
        } else if (c.reason == Reason::KeepWithoutSavings) {
            expected = Refusal{.reason = *c.reason, .role = KeptTable, .path = at(c.keep)};
        } else if (c.reason == Reason::NoTableCode) {
            expected =
                Refusal{.reason = *c.reason, .role = OutputTable, .path = at("t.tbl"), .text = c.ranges};
        } else if (c.reason) {
            expected =
                Refusal{.reason = *c.reason, .length = (std::int64_t{1} << 31) + 6, .limit = INT32_MAX};
        }
        EXPECT_EQ(FindFileClash(settings), c.reason == Reason::SameFile ? expected : std::nullopt);
        if (!expected) {
            continue;
        }
        RecordingObserver observer;
        EXPECT_EQ(RunAnalysis(settings, observer).refusal, expected);
        EXPECT_TRUE(observer.progress.empty() && observer.events.empty());
        for (const auto& [name, content] : files) {
            EXPECT_EQ(name == "huge" ? "" : ReadFile(at(name.c_str())), content) << name;
        }
        EXPECT_EQ(testing::Names(dir.Path()).size(), files.size());
    }
}

// Large enough that files are split into shards across threads; in the savings mode the index is built
// beside the count's finish, on as many threads.
TEST(RunAnalysis, ResultsDoNotDependOnTheNumberOfThreads)
{
    const TempDir dir;
    const std::string text = ScriptLikeText(7, 300000);
    RunSettings settings{.inputFiles = {dir.Write("a", text), dir.Write("b", text.substr(1000, 5000))},
                         .sampleLengths = "1-5,9,16,16",
                         .topResults = "300"};
    for (const auto& [comments, savings] :
         {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        settings.useComments = comments;
        settings.realSavings = savings;
        std::string expected;
        for (const unsigned threads : {1u, 2u, 3u, 8u}) {
            SCOPED_TRACE(threads);
            settings.threads = threads;
            RecordingObserver observer;
            const auto outcome = RunAnalysis(settings, observer);
            ASSERT_EQ(outcome.status, RunStatus::Completed);
            expected = expected.empty() ? MaskElapsed(outcome.report) : expected;
            EXPECT_EQ(MaskElapsed(outcome.report), expected);
        }
    }
}

// Positions and counters past 2^31: a sparse file of 2 GiB and a little more, all NUL bytes. It takes
// half a minute, so scripts/test runs it in the optimised build only.
TEST(RunAnalysis, CountsFilesOver2GiB)
{
    const TempDir dir;
    const std::int64_t size = (std::int64_t{1} << 31) + 10;
    const auto path = SparseFile(dir, "sparse", size);
    RecordingObserver observer;
    const auto outcome = RunAnalysis({.inputFiles = {path}, .topResults = "0"}, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(outcome.counters.totalCharacters, size);
    EXPECT_EQ(outcome.counters.countedCharacters, size + 1);
    EXPECT_NE(
        outcome.report.find("0: total space = 2147483659; hits = 2147483659; --string not displayable--"),
        std::string::npos)
        << outcome.report;
}

} // namespace
} // namespace kestrin
