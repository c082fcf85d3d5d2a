// Every shared case table against both implementations: the engine and the literal model.

#include "case_tables.h"
#include "literal_model.h"
#include "test_support.h"

#include "kestrin/number_list.h"
#include "kestrin/run_analysis.h"
#include "kestrin/table_file.h"

#include <gtest/gtest.h>
#include <span>

namespace kestrin::testing {
namespace {

TEST(EngineAndModel, ParseNumberLists)
{
    for (const auto& [text, values] : numberListCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseNumberList(text), values);
        EXPECT_EQ(literal::ParseNumberList(text), values);
    }
    EXPECT_EQ(ParseNumberList("&H8000-&H7FFF").size(), 65536u);
    EXPECT_EQ(literal::ParseNumberList("&H8000-&H7FFF").size(), 65536u);
    EXPECT_EQ(ParseNumberList("5,&H8000-&H7FFF,7", 3), (std::vector<std::int16_t>{5, -32768, -32767}));
}

TEST(EngineAndModel, RequestGivesTheLastPosition)
{
    for (const auto& [request, distinct, last] : lastPositionCases) {
        SCOPED_TRACE(request + " of " + std::to_string(distinct));
        const auto numeric = ParseNumeric(request);
        const auto number = literal::ReadNumber(request);
        ASSERT_TRUE(numeric && number);
        EXPECT_EQ(LastResultPosition(*numeric, distinct), last);
        EXPECT_EQ(literal::LastPosition(*number, distinct), last);
    }
    for (const std::string& text : notNumeric) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseNumeric(text).has_value());
        EXPECT_FALSE(literal::ReadNumber(text).has_value());
    }
}

TEST(EngineAndModel, ReadTableEntriesAndFormatCodes)
{
    for (const auto& [content, entries] : tableReadCases) {
        SCOPED_TRACE(content);
        EXPECT_EQ(ReadTableEntries(content), entries);
        EXPECT_EQ(literal::ReadTableEntries(content), entries);
    }
    for (const auto& [value, code] : codeCases) {
        EXPECT_EQ(FormatTableCode(value), code);
        EXPECT_EQ(literal::TableCode(value), code);
    }
}

// Runs one case on the engine and on the model and holds both to it, and to each other.
void CheckRun(const RunCase& c)
{
    const Given& in = c.given;
    const Expected& out = c.expect;
    SCOPED_TRACE(::testing::PrintToString(in.files) + ", lengths \"" + in.lengths + "\", request \"" +
                 in.request + "\"");
    const TempDir dir;
    RunSettings settings{.sampleLengths = in.lengths,
                         .topResults = in.request,
                         .useComments = in.comments.has_value(),
                         .commentStyle = in.comments.value_or(C),
                         .beginComment = in.begin,
                         .endComment = in.end,
                         .readInsideComments = in.inside,
                         .ignoreSpace = in.space,
                         .ignoreReturn = in.crlf,
                         .ignoreTab = in.tab,
                         .reportFile = dir.Write("report.txt", "old"),
                         .writeTableRanges = in.ranges};
    for (std::size_t i = 0; i < in.files.size(); ++i) {
        settings.inputFiles.push_back(dir.Write("in" + std::to_string(i), in.files[i]));
    }
    if (in.exclusion) {
        settings.exclusionTable = dir.Write("ex.tbl", *in.exclusion);
    }
    if (out.block) {
        settings.outputTable = dir.Write("out.tbl", "old");
    }
    const bool completed = out.status == RunStatus::Completed;
    const std::string lines = BuildResultLines(out.results);

    RecordingObserver observer;
    observer.answerYes = in.yes;
    const RunOutcome engine = RunAnalysis(settings, observer);
    EXPECT_EQ(engine.status, out.status);
    EXPECT_EQ(engine.refusal, out.refusal);
    EXPECT_EQ(ResultLines(engine.report), lines);
    std::string events;
    for (const std::string& event : observer.events) {
        events += (events.empty() ? "" : " ") + event;
    }
    EXPECT_EQ(events, out.events);
    EXPECT_EQ(observer.progress.empty(), !completed); // a run that does not start shows nothing
    EXPECT_EQ(ReadFile(*settings.reportFile), completed ? engine.report + "\r\n" : "old");
    if (out.block) {
        EXPECT_EQ(ReadFile(*settings.outputTable), completed ? "old" + *out.block : "old");
    }

    const literal::ModelOutcome model = literal::RunLiteralModel(settings, in.yes);
    EXPECT_EQ(model.status, out.status);
    EXPECT_EQ(ResultLines(model.report), lines);
    EXPECT_EQ(MaskElapsed(model.report), MaskElapsed(engine.report));
    EXPECT_EQ(model.reportFile, completed ? std::optional(model.report + "\r\n") : std::nullopt);
    EXPECT_EQ(model.tableBlock, completed ? out.block : std::nullopt);
    const auto told = [&](const char* event) { return out.events.find(event) != std::string::npos; };
    EXPECT_EQ(model.warned, told("warn:"));
    EXPECT_EQ(model.asked, told("ask:"));
    EXPECT_EQ(model.resetTopResults, told("reset-top:"));
    EXPECT_EQ(model.clearedUseComments, told("clear-use-comments"));
    for (const RunCounters& counters : {engine.counters, model.counters}) {
        EXPECT_EQ(counters.countedCharacters, out.counted.value_or(counters.countedCharacters));
        EXPECT_EQ(counters.distinctStrings, out.distinct.value_or(counters.distinctStrings));
    }
}

TEST(EngineAndModel, CountingSkipFiltersAndTableBlocks)
{
    const std::span<const RunCase> tables[] = {countingCases, skipCases, tableBlockCases};
    for (const auto table : tables) {
        for (const RunCase& c : table) {
            CheckRun(c);
        }
    }
}

TEST(EngineAndModel, WarnAboutSampleLengthsAndRefuseUnusableOnes)
{
    for (const LengthCase& c : sampleLengthCases) {
        CheckRun({{.files = {"some text"}, .lengths = c.lengths, .request = "-1", .yes = c.yes},
                  {.status = c.status, .refusal = c.refusal, .events = c.events}});
    }
}

TEST(EngineAndModel, RequestSetsTheNumberOfResultLines)
{
    std::string letters;
    std::vector<ResultEntry> ranked;
    for (char c = 'A'; c <= 'Z'; ++c) {
        letters += c;
        ranked.push_back({std::string(1, c), 2});
    }
    ranked.push_back({"\0"s, 1});
    ranked.push_back({"", -1});
    for (const auto& [request, lines, reset] : topCases) {
        CheckRun({{.files = {letters + letters}, .request = request},
                  {.distinct = 27,
                   .results = {ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(lines)},
                   .events = reset ? "reset-top:25" : ""}});
    }
}

TEST(EngineAndModel, ReportHeader)
{
    const TempDir dir;
    RunSettings settings{.inputFiles = {dir.Write("one.txt", "ab"), dir.Write("two.txt", "")},
                         .sampleLengths = "4,1,2",
                         .topResults = "0"};
    const std::string expected = "Filename:" + settings.inputFiles[0].string() +
                                 "\r\nFilename:" + settings.inputFiles[1].string() +
                                 "\r\n"
                                 "Total characters: 2     Characters actually counted: 2\r\n"
                                 "Number of different strings: 6    Sample lengths requested:1 2 4 \r\n"
                                 "Elapsed time: --:--:--\r\n"
                                 "\r\n"
                                 "0: total space = 4; hits = 1; --string not displayable--; hex = 00000000; "
                                 "len = 4\r\n";
    RecordingObserver observer;
    EXPECT_EQ(MaskElapsed(RunAnalysis(settings, observer).report), expected);
    EXPECT_EQ(MaskElapsed(literal::RunLiteralModel(settings, true).report), expected);
}

TEST(EngineAndModel, UnreadableFilesEndTheRunBeforeAnyOutput)
{
    const TempDir dir;
    const auto good = dir.Write("good", "abcabc");
    const auto missing = dir.Path() / "missing";
    const struct {
        std::vector<std::filesystem::path> inputs;
        std::optional<std::filesystem::path> exclusion;
        std::filesystem::path failing;
        std::string reason;
    } cases[] = {
        {{good, missing}, std::nullopt, missing, "No such file"},
        {{good, dir.Path()}, std::nullopt, dir.Path(), "directory"},
        {{"/dev/zero"}, std::nullopt, "/dev/zero", ""}, // endless
        {{good}, "/dev/zero", "/dev/zero", ""},
        {{missing},
         dir.Path() / "missing.tbl",
         dir.Path() / "missing.tbl",
         "No such file"}, // the table first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing.string());
        RunSettings settings{.inputFiles = c.inputs, .exclusionTable = c.exclusion};
        settings.outputTable = dir.Write("out.tbl", "old");
        settings.reportFile = dir.Write("report.txt", "old");
        RecordingObserver observer;
        const auto outcome = RunAnalysis(settings, observer);
        EXPECT_EQ(outcome.status, RunStatus::InputFailed);
        ASSERT_EQ(outcome.errors.size(), 1u);
        EXPECT_EQ(outcome.errors[0].path, c.failing);
        EXPECT_FALSE(outcome.errors[0].reason.empty());
        EXPECT_NE(outcome.errors[0].reason.find(c.reason), std::string::npos) << outcome.errors[0].reason;
        EXPECT_TRUE(outcome.report.empty());
        EXPECT_EQ(ReadFile(*settings.outputTable), "old");
        EXPECT_EQ(ReadFile(*settings.reportFile), "old");
        EXPECT_EQ(literal::RunLiteralModel(settings, true).status, RunStatus::InputFailed);
    }
}

} // namespace
} // namespace kestrin::testing
