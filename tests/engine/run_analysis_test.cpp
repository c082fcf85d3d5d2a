#include "test_support.h"

#include "kestrin/run_analysis.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace kestrin {
namespace {

using testing::MaskElapsed;
using testing::ReadFile;
using testing::RecordingObserver;
using testing::TempDir;

// The result lines of a report: everything after the empty line.
std::string ResultLines(const std::string& report)
{
    const auto blank = report.find("\r\n\r\n");
    return blank == std::string::npos ? std::string() : report.substr(blank + 4);
}

TEST(RunAnalysis, CountsOverlappingWindowsWithFillerAtTheEnd)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("abcab", "abcab")};
    settings.sampleLengths = "2";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(outcome.counters.countedCharacters, 5);
    EXPECT_EQ(outcome.counters.distinctStrings, 4);
    EXPECT_EQ(ResultLines(outcome.report),
              "0: total space = 4; hits = 2; string = ab; hex = 6162; len = 2\r\n"
              "1: total space = 2; hits = 1; string = bc; hex = 6263; len = 2\r\n"
              "2: total space = 2; hits = 1; --string not displayable--; hex = 6200; len = 2\r\n"
              "3: total space = 2; hits = 1; string = ca; hex = 6361; len = 2\r\n");
}

TEST(RunAnalysis, CountersFollowTheLastHandledPosition)
{
    struct Case {
        std::string content;
        std::string lengths;
        std::int64_t counted;
        std::int64_t distinct;
    };
    const Case cases[] = {
        {"0123456789", "1-3", 9, 9 + 9 + 9}, // positions 1 to 9; the tenth byte is never a window of its own
        {"0123456789", "1", 11, 11},         // every byte plus one position of filler
        {"", "1,3", 1, 2},                   // an empty file is still handled once
        {"aaaab", "2", 5, 3},                // aa, ab, b+filler
        {"abab", "0,1", 5, 3 + 3},           // length 0 gives one empty string per first byte (a, b, filler)
        {"abab", "1,1", 5, 6},               // a length listed twice counts twice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content + " / " + c.lengths);
        TempDir dir;
        RunSettings settings;
        settings.inputFiles = {dir.Write("in", c.content)};
        settings.sampleLengths = c.lengths;
        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        EXPECT_EQ(outcome.counters.totalCharacters, static_cast<std::int64_t>(c.content.size()));
        EXPECT_EQ(outcome.counters.countedCharacters, c.counted);
        EXPECT_EQ(outcome.counters.distinctStrings, c.distinct);
    }
}

TEST(RunAnalysis, TiesGoToShorterLengthThenLowerByteThenFirstMet)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", "abababcdecde")};
    settings.sampleLengths = "3,2";
    settings.topResults = "10";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    std::vector<std::string> strings;
    const std::string lines = ResultLines(outcome.report);
    for (std::size_t at = lines.find("string = "); at != std::string::npos;
         at = lines.find("string = ", at + 1)) {
        strings.push_back(lines.substr(at + 9, lines.find(';', at) - at - 9));
    }
    // Totals of 6: ab (length 2) before aba, bab and cde (length 3, by first byte). Totals of 4: ba, cd, de.
    // Totals of 3: abc, bcd, then dec before de+filler (same first byte, met first), then ecd.
    EXPECT_EQ(strings,
              (std::vector<std::string>{"ab", "aba", "bab", "cde", "ba", "cd", "de", "abc", "bcd", "dec"}));
    EXPECT_NE(lines.find("10: total space = 3; hits = 1; --string not displayable--; hex = 646500"),
              std::string::npos)
        << lines;
}

TEST(RunAnalysis, WarnsAboutManyLengthsAndAsksAboutLongOnes)
{
    struct Case {
        std::string lengths;
        bool answer;
        std::vector<std::string> events;
        RunStatus status;
    };
    const Case cases[] = {
        {"1-10", true, {}, RunStatus::Completed},
        {"1-11", true, {"warn:11"}, RunStatus::Completed},
        {"2,2,2,2,2,2,2,2,2,2,2", true, {"warn:11"}, RunStatus::Completed}, // duplicates count
        {"200", true, {}, RunStatus::Completed},
        {"201", true, {"ask:201"}, RunStatus::Completed},
        {"201", false, {"ask:201"}, RunStatus::Declined},
        {"195-210", false, {"warn:16", "ask:210"}, RunStatus::Declined},
        {"0,300", false, {"ask:300"}, RunStatus::Declined},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lengths);
        TempDir dir;
        RunSettings settings;
        settings.inputFiles = {dir.Write("in", "some text")};
        settings.sampleLengths = c.lengths;
        const auto report = dir.Write("report.txt", "old report");
        const auto table = dir.Write("out.tbl", "old table");
        settings.reportFile = report;
        settings.outputTable = table;
        RecordingObserver observer;
        observer.answerYes = c.answer;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(observer.events, c.events);
        if (c.status != RunStatus::Completed) {
            EXPECT_EQ(ReadFile(report), "old report");
            EXPECT_EQ(ReadFile(table), "old table");
            EXPECT_TRUE(observer.progress.empty());
        }
    }
}

TEST(RunAnalysis, RefusesListsWithoutAUsableLength)
{
    using Reason = Refusal::Reason;
    const std::pair<std::string, Refusal> cases[] = {
        {"", {.reason = Reason::NoSampleLength}},
        {"abc", {.reason = Reason::NoSampleLength}},
        {",", {.reason = Reason::NoSampleLength}},
        {"3-1", {.reason = Reason::NoSampleLength}},
        {"0", {.reason = Reason::OnlyZeroLength}},
        {"0,0", {.reason = Reason::OnlyZeroLength}},
        {"&HFFFF", {.reason = Reason::NegativeSampleLength, .length = -1}},
        {"&HFFFF,300", {.reason = Reason::NegativeSampleLength, .length = -1}},
    };
    for (const auto& [lengths, refusal] : cases) {
        SCOPED_TRACE(lengths);
        TempDir dir;
        RunSettings settings;
        settings.inputFiles = {dir.Write("in", "text")};
        settings.sampleLengths = lengths;
        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::Refused);
        EXPECT_EQ(outcome.refusal, refusal);
        EXPECT_TRUE(observer.events.empty()); // neither the warning nor the question
    }
}

TEST(RunAnalysis, UnreadableFilesEndTheRunBeforeAnyOutput)
{
    TempDir dir;
    const auto good = dir.Write("good", "abcabc");
    const auto table = dir.Write("out.tbl", "old");
    const auto report = dir.Write("report.txt", "old");
    struct Case {
        std::vector<std::filesystem::path> inputs;
        std::optional<std::filesystem::path> exclusion;
        std::filesystem::path failing;
    };
    const Case cases[] = {
        {{good, dir.Path() / "missing"}, std::nullopt, dir.Path() / "missing"},
        {{good, dir.Path()}, std::nullopt, dir.Path()},
        {{"/dev/zero"}, std::nullopt, "/dev/zero"}, // endless
        {{good}, "/dev/zero", "/dev/zero"},
        {{dir.Path() / "missing"}, dir.Path() / "missing.tbl", dir.Path() / "missing.tbl"}, // the table first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing.string());
        RunSettings settings;
        settings.inputFiles = c.inputs;
        settings.exclusionTable = c.exclusion;
        settings.outputTable = table;
        settings.reportFile = report;
        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::InputFailed);
        ASSERT_EQ(outcome.errors.size(), 1u);
        EXPECT_EQ(outcome.errors[0].path, c.failing);
        EXPECT_FALSE(outcome.errors[0].reason.empty());
        EXPECT_EQ(ReadFile(table), "old");
        EXPECT_EQ(ReadFile(report), "old");
        EXPECT_TRUE(outcome.report.empty());
    }
}

TEST(RunAnalysis, OutputFailuresStillCompleteTheRun)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", "abab")};
    settings.outputTable = dir.Path() / "missing" / "out.tbl";
    settings.reportFile = dir.Path() / "missing" / "report.txt";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    ASSERT_EQ(outcome.errors.size(), 2u);
    EXPECT_EQ(outcome.errors[0].path, *settings.outputTable); // the table is written before the report file
    EXPECT_EQ(outcome.errors[1].path, *settings.reportFile);
    EXPECT_FALSE(outcome.report.empty());
}

TEST(RunAnalysis, WritesTheReportFileAndAppendsTheTable)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", "the cat the dog")};
    settings.sampleLengths = "3";
    settings.topResults = "1";
    settings.ignoreSpace = true;
    settings.exclusionTable = dir.Write("ex.tbl", "80=he \r\n");
    settings.outputTable = dir.Path() / "out.tbl";
    settings.writeTableRanges = "&H80-&H81";
    settings.reportFile = dir.Path() / "report.txt";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(ReadFile(*settings.reportFile), outcome.report + "\r\n");
    // "he " and "the" both have 2 hits and "he " has the lower first byte; it holds a space and is
    // listed in the table, and the table's code wins. Its code 80 stays unused.
    EXPECT_EQ(ReadFile(*settings.outputTable), "\r\n81=the\r\n");
    EXPECT_NE(outcome.report.find("\r\n0:--skipped for containing a table value--\r\n1: total space = 6"),
              std::string::npos);

    // A second run appends a second block and replaces the report.
    settings.topResults = "0";
    const auto second = RunAnalysis(settings, observer);
    EXPECT_EQ(ReadFile(*settings.outputTable), "\r\n81=the\r\n\r\n");
    EXPECT_EQ(ReadFile(*settings.reportFile), second.report + "\r\n");
}

TEST(RunAnalysis, RequestThatIsNotNumericBecomes25)
{
    TempDir dir;
    std::string text;
    for (char c = 'A'; c <= 'Z'; ++c) {
        text += c;
    }
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", text + text)};
    settings.topResults = "abc";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(observer.events.front(), "reset-top:25");
    EXPECT_NE(outcome.report.find("\r\n25: "), std::string::npos);
    EXPECT_EQ(outcome.report.find("\r\n26: "), std::string::npos);
    EXPECT_EQ(observer.progress.back().lastResult, 25);
    EXPECT_EQ(observer.progress.back().request, "25");
}

TEST(RunAnalysis, NoResultLinesForNegativeRequestOrNothingCounted)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", "abc")};
    settings.topResults = "-1";
    settings.outputTable = dir.Path() / "out.tbl";
    settings.writeTableRanges = "1-5";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(ResultLines(outcome.report), "");
    EXPECT_EQ(ReadFile(*settings.outputTable), "\r\n");

    // Reading only inside comments of a file without any: nothing is counted.
    settings.topResults = "25";
    settings.useComments = true;
    settings.readInsideComments = true;
    const auto empty = RunAnalysis(settings, observer);
    EXPECT_EQ(empty.counters.countedCharacters, 0);
    EXPECT_EQ(empty.counters.distinctStrings, 0);
    EXPECT_EQ(ResultLines(empty.report), "");
}

TEST(RunAnalysis, EmptyCustomBeginTextSwitchesCommentsOff)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", "abc")};
    settings.useComments = true;
    settings.commentStyle = CommentStyle::Custom;
    settings.endComment = "x";
    for (const bool inside : {false, true}) {
        settings.readInsideComments = inside;
        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(observer.events.front(), "clear-use-comments");
        EXPECT_EQ(outcome.counters.countedCharacters, inside ? 0 : 4);
    }
}

TEST(RunAnalysis, CancelEndsTheRunWithoutOutput)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("a", "abcdef"), dir.Write("b", "ghijkl")};
    settings.reportFile = dir.Write("report.txt", "old");
    settings.outputTable = dir.Write("out.tbl", "old");
    for (const int cancelAfter : {0, 1, 2}) {
        SCOPED_TRACE(cancelAfter);
        RecordingObserver observer;
        observer.cancelAfterYields = cancelAfter;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::Cancelled);
        EXPECT_TRUE(outcome.report.empty());
        EXPECT_EQ(ReadFile(*settings.reportFile), "old");
        EXPECT_EQ(ReadFile(*settings.outputTable), "old");
    }
    // The next run starts from empty counts.
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    EXPECT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(outcome.counters.distinctStrings, 13);
}

TEST(RunAnalysis, ProgressShowsEachPhaseAndEachFile)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("a", "aa"), dir.Write("b", std::string(1200, 'b')), dir.Write("c", "c")};
    settings.outputTable = dir.Path() / "t.tbl";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    std::vector<std::pair<RunPhase, std::int64_t>> phases; // with the file while counting
    for (const auto& p : observer.progress) {
        const std::pair<RunPhase, std::int64_t> now{p.phase, p.phase == RunPhase::Counting ? p.file : 0};
        if (phases.empty() || phases.back() != now) {
            phases.push_back(now);
        }
        EXPECT_EQ(p.files, 3);
    }
    EXPECT_EQ(phases, (std::vector<std::pair<RunPhase, std::int64_t>>{{RunPhase::Counting, 1},
                                                                      {RunPhase::Counting, 2},
                                                                      {RunPhase::Counting, 3},
                                                                      {RunPhase::Ranking, 0},
                                                                      {RunPhase::Formatting, 0},
                                                                      {RunPhase::WritingTable, 0},
                                                                      {RunPhase::Reporting, 0}}));
    // The position starts at 1 for each file while the count of strings carries on: a, the filler, b, c.
    const Progress& last = observer.progress.back();
    EXPECT_EQ(last.position, 1);
    EXPECT_EQ(last.matchCount, 4);
}

// The position moves in steps of 50 and the completion in steps of 500, at handled positions only: a
// file of L bytes at length 1 is handled up to position L + 1.
TEST(RunAnalysis, ProgressMovesInStepsOf50And500)
{
    struct Case {
        std::int64_t size;
        std::int64_t position;
        double completion;
    };
    const Case cases[] = {
        {0, 1, 0.0},
        {48, 1, 0.0},
        {49, 50, 0.0},
        {99, 100, 0.0},
        {498, 450, 0.0},
        {499, 500, 1.0},
        {1200, 1200, 1000.0 / 1200.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        TempDir dir;
        RunSettings settings;
        settings.inputFiles = {dir.Write("in", std::string(static_cast<std::size_t>(c.size), 'x'))};
        RecordingObserver observer;
        ASSERT_EQ(RunAnalysis(settings, observer).status, RunStatus::Completed);
        Progress counted;
        for (const auto& p : observer.progress) {
            if (p.phase == RunPhase::Counting) {
                counted = p;
            }
        }
        EXPECT_EQ(counted.position, c.position);
        EXPECT_DOUBLE_EQ(counted.completion, c.completion);
    }
}

TEST(RunAnalysis, ResultsDoNotDependOnTheNumberOfThreads)
{
    TempDir dir;
    std::mt19937 random(7);
    std::string text;
    const std::string alphabet = "aab bc\r\ndeeef/*";
    for (int i = 0; i < 300000; ++i) {
        text += alphabet[random() % alphabet.size()];
    }
    RunSettings settings;
    settings.inputFiles = {dir.Write("a", text), dir.Write("b", text.substr(1000, 5000))};
    settings.sampleLengths = "1-5,9,16,16";
    settings.topResults = "300";
    for (const bool comments : {false, true}) {
        settings.useComments = comments;
        std::string expected;
        for (const unsigned threads : {1u, 2u, 3u, 8u}) {
            SCOPED_TRACE(threads);
            settings.threads = threads;
            RecordingObserver observer;
            const auto outcome = RunAnalysis(settings, observer);
            ASSERT_EQ(outcome.status, RunStatus::Completed);
            if (expected.empty()) {
                expected = MaskElapsed(outcome.report);
            } else {
                EXPECT_EQ(MaskElapsed(outcome.report), expected);
            }
        }
    }
}

// Positions and counters past 2^31: a sparse file of 2 GiB and a little more, all NUL bytes.
TEST(RunAnalysis, CountsFilesOver2GiB)
{
    TempDir dir;
    const auto path = dir.Path() / "sparse";
    const std::int64_t size = (std::int64_t{1} << 31) + 10;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    RunSettings settings;
    settings.inputFiles = {path};
    settings.topResults = "0";
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
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

namespace kestrin {
namespace {

// A host that runs out of memory when the run reaches a phase.
class ExhaustedObserver : public testing::RecordingObserver
{
public:
    explicit ExhaustedObserver(RunPhase failingPhase) : phase(failingPhase) {}
    void ShowProgress(const Progress& now) override
    {
        if (now.phase == phase) {
            throw std::bad_alloc();
        }
    }

private:
    RunPhase phase;
};

TEST(RunAnalysis, RunThatRunsOutOfMemoryFailsWithAMessageAndWritesNothing)
{
    for (const RunPhase phase :
         {RunPhase::Counting, RunPhase::Formatting, RunPhase::WritingTable, RunPhase::Reporting}) {
        SCOPED_TRACE(static_cast<int>(phase));
        TempDir dir;
        RunSettings settings;
        settings.inputFiles = {dir.Write("in", "abcabc")};
        settings.reportFile = dir.Write("report.txt", "old");
        settings.outputTable = dir.Write("out.tbl", "old");
        ExhaustedObserver observer(phase);
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::Failed);
        EXPECT_EQ(outcome.failure, Failure::OutOfMemory);
        EXPECT_EQ(ReadFile(*settings.reportFile), "old");
        EXPECT_EQ(ReadFile(*settings.outputTable), "old");
    }
}

} // namespace
} // namespace kestrin
