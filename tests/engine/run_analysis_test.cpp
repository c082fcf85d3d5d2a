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
    EXPECT_EQ(observer.shownReport, outcome.report);
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
    const std::string warning = "warn:Warning: This calculation will be very lengthy since there are over "
                                "ten sample lengths to be analyzed.";
    const std::string question =
        "ask:You have a sample length that's way too long. Are you sure you want to use it?";
    const Case cases[] = {
        {"1-10", true, {"report"}, RunStatus::Completed},
        {"1-11", true, {warning, "report"}, RunStatus::Completed},
        {"200", true, {"report"}, RunStatus::Completed},
        {"201", true, {question, "report"}, RunStatus::Completed},
        {"201", false, {question}, RunStatus::Declined},
        {"195-210", false, {warning, question}, RunStatus::Declined},
        {"0,300", false, {question}, RunStatus::Declined},
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
        EXPECT_TRUE(observer.shownReport.empty());
    }
}

TEST(RunAnalysis, OutputFailuresStillCompleteTheRun)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("in", "abab")};
    settings.outputTable = dir.Path() / "missing" / "out.tbl";
    settings.reportFile = dir.Path() / "missing" / "report.txt";
    settings.beepOnFinish = true;
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    ASSERT_EQ(outcome.errors.size(), 2u);
    EXPECT_EQ(outcome.errors[0].path, *settings.outputTable); // the table is written before the report file
    EXPECT_EQ(outcome.errors[1].path, *settings.reportFile);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"report", "beep"}));
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
    EXPECT_EQ(observer.progress.back().address, "25 of 25");
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
        EXPECT_TRUE(observer.shownReport.empty());
        EXPECT_EQ(ReadFile(*settings.reportFile), "old");
        EXPECT_EQ(ReadFile(*settings.outputTable), "old");
    }
    // The next run starts from empty counts.
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    EXPECT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(outcome.counters.distinctStrings, 13);
}

TEST(RunAnalysis, ProgressShowsEachFileAndMovesInSteps)
{
    TempDir dir;
    RunSettings settings;
    settings.inputFiles = {dir.Write("a", std::string(40, 'a')), dir.Write("b", std::string(1200, 'b')),
                           dir.Write("c", "c")};
    RecordingObserver observer;
    const auto outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    std::vector<std::string> captions;
    for (const auto& p : observer.progress) {
        if (captions.empty() || captions.back() != p.caption) {
            captions.push_back(p.caption);
        }
        EXPECT_GE(p.completion, 0.0);
        EXPECT_LE(p.completion, 1.0);
    }
    EXPECT_EQ(
        captions,
        (std::vector<std::string>{
            "Calcolo in corso... Indirizzo corrente: 1/3:", "Calcolo in corso... Indirizzo corrente: 2/3:",
            "Calcolo in corso... Indirizzo corrente: 3/3:", "Calcolo in corso... Risultato corrente:",
            "Formattazione Risultati...", "Generazione report..."}));
    const auto lastOf = [&](const std::string& caption) {
        Progress last;
        for (const auto& p : observer.progress) {
            if (p.caption == caption) {
                last = p;
            }
        }
        return last;
    };
    // 41 handled positions stay below 50; 1201 reach 1200 and the line 1000 / 1200.
    EXPECT_EQ(lastOf("Calcolo in corso... Indirizzo corrente: 1/3:").address, "1");
    const Progress second = lastOf("Calcolo in corso... Indirizzo corrente: 2/3:");
    EXPECT_EQ(second.address, "1200");
    EXPECT_DOUBLE_EQ(second.completion, 1000.0 / 1200.0);
    EXPECT_EQ(second.matchCount, 3); // a, the filler and b
    const Progress third = lastOf("Calcolo in corso... Indirizzo corrente: 3/3:");
    EXPECT_EQ(third.address, "1");
    EXPECT_EQ(third.completion, 0.0);
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
    explicit ExhaustedObserver(std::string failingPhase) : phase(std::move(failingPhase)) {}
    void ShowProgress(const Progress& now) override
    {
        if (now.caption == phase) {
            throw std::bad_alloc();
        }
    }

private:
    std::string phase;
};

TEST(RunAnalysis, RunThatRunsOutOfMemoryFailsWithAMessageAndWritesNothing)
{
    for (const char* phase : {"Calcolo in corso... Indirizzo corrente: 1/1:", "Formattazione Risultati...",
                              "Scrittura valori nella tabella...", "Generazione report..."}) {
        SCOPED_TRACE(phase);
        TempDir dir;
        RunSettings settings;
        settings.inputFiles = {dir.Write("in", "abcabc")};
        settings.reportFile = dir.Write("report.txt", "old");
        settings.outputTable = dir.Write("out.tbl", "old");
        ExhaustedObserver observer(phase);
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::Failed);
        EXPECT_NE(outcome.message.find("Not enough memory"), std::string::npos);
        EXPECT_EQ(ReadFile(*settings.reportFile), "old");
        EXPECT_EQ(ReadFile(*settings.outputTable), "old");
    }
}

} // namespace
} // namespace kestrin
