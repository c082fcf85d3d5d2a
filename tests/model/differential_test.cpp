// SPDX-License-Identifier: MIT
// The engine against the literal model: the shared case tables, where both are also held to each case's
// expectations, and seeded random cases. KESTRIN_DIFF_SEED=n runs only random case n (as a failure prints).

#include "case_tables.h"
#include "literal_model.h"
#include "test_support.h"

#include "kestrin/number_list.h"
#include "kestrin/run_analysis.h"
#include "kestrin/table_file.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <span>

namespace kestrin::testing {
namespace {

// Runs the engine on settings whose report file and output table, when set, hold `before` (nullopt: no
// file) and holds everything it shows and writes to what the model did with the same settings.
RunOutcome CheckAgainstModel(const RunSettings& settings, const literal::ModelOutcome& model,
                             RecordingObserver& observer, const std::optional<std::string>& reportBefore,
                             const std::optional<std::string>& tableBefore)
{
    for (const auto& [path, before] :
         {std::pair(settings.reportFile, reportBefore), std::pair(settings.outputTable, tableBefore)}) {
        if (path) {
            std::filesystem::remove(*path);
            if (before) {
                std::ofstream(*path, std::ios::binary) << *before;
            }
        }
    }
    const RunOutcome outcome = RunAnalysis(settings, observer);
    EXPECT_EQ(outcome.status, model.status);
    if (outcome.status != model.status) {
        return outcome;
    }
    const bool completed = model.status == RunStatus::Completed;
    const auto told = [&](const char* prefix) {
        return std::count_if(observer.events.begin(), observer.events.end(),
                             [&](const std::string& event) { return event.starts_with(prefix); });
    };
    if (model.status != RunStatus::InputFailed) {
        EXPECT_EQ(outcome.counters.totalCharacters, model.counters.totalCharacters);
        EXPECT_EQ(outcome.counters.countedCharacters, model.counters.countedCharacters);
        EXPECT_EQ(outcome.counters.distinctStrings, model.counters.distinctStrings);
        EXPECT_EQ(told("warn:"), model.warned ? 1 : 0);
        EXPECT_EQ(told("ask:"), model.asked ? 1 : 0);
    }
    EXPECT_EQ(MaskElapsed(outcome.report), MaskElapsed(model.report));
    if (completed) {
        EXPECT_EQ(told("reset-top:25"), model.resetTopResults ? 1 : 0);
        EXPECT_EQ(told("clear-use-comments"), model.clearedUseComments ? 1 : 0);
    }
    const auto after = [](const std::filesystem::path& path) {
        return std::filesystem::exists(path) ? std::optional(ReadFile(path)) : std::nullopt;
    };
    if (settings.reportFile) {
        const auto report = after(*settings.reportFile);
        EXPECT_EQ(report ? std::optional(MaskElapsed(*report)) : report,
                  completed ? std::optional(MaskElapsed(*model.reportFile)) : reportBefore);
    }
    if (settings.outputTable) {
        EXPECT_EQ(after(*settings.outputTable),
                  completed ? tableBefore.value_or("") + model.tableBlock.value_or("<no block>")
                            : tableBefore);
    }
    return outcome;
}

// Number lists, requests, table entries and codes.
TEST(EngineAndModel, ReadTextsAsTheTablesSay)
{
    for (const auto& [text, values] : numberListCases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseNumberList(text), values);
        EXPECT_EQ(literal::ParseNumberList(text), values);
        // Read a value or two at a time, a reader goes on where it stopped, inside a range too.
        NumberListReader reader(text);
        std::vector<std::int16_t> read;
        for (std::size_t i = 0; i <= values.size(); ++i) {
            reader.Read(1 + i % 2, read);
        }
        EXPECT_EQ(read, values);
    }
    EXPECT_EQ(ParseNumberList("&H8000-&H7FFF").size(), 65536u);
    EXPECT_EQ(literal::ParseNumberList("&H8000-&H7FFF").size(), 65536u);
    EXPECT_EQ(ParseNumberList("5,&H8000-&H7FFF,7", 3), (std::vector<std::int16_t>{5, -32768, -32767}));
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

// Runs one case on the model and the engine, holds the engine to the model and both to the case.
void CheckRun(const RunCase& c)
{
    const Given& in = c.given;
    const Expected& out = c.expect;
    SCOPED_TRACE(::testing::PrintToString(in.files) + ", lengths \"" + in.lengths + "\", request \"" +
                 in.request + "\"");
    const TempDir dir;
    const RunSettings settings = SettingsFor(c, dir);
    const literal::ModelOutcome model = literal::RunLiteralModel(settings, in.yes);
    EXPECT_EQ(model.status, out.status);
    RecordingObserver observer;
    observer.answerYes = in.yes;
    const RunOutcome engine = CheckAgainstModel(settings, model, observer, "old", "old");
    EXPECT_EQ(engine.refusal, out.refusal);
    EXPECT_EQ(ResultLines(engine.report), BuildResultLines(out.results));
    if (engine.status == RunStatus::Completed) {
        EXPECT_EQ(engine.results, out.results); // what the host gets as data is what the report lists
    }
    std::string events;
    for (const std::string& event : observer.events) {
        events += (events.empty() ? "" : " ") + event;
    }
    EXPECT_EQ(events, out.events);
    EXPECT_EQ(observer.progress.empty(), out.status != RunStatus::Completed); // a run that never starts
    EXPECT_EQ(model.tableBlock, out.status == RunStatus::Completed ? out.block : std::nullopt);
    EXPECT_EQ(engine.counters.countedCharacters, out.counted.value_or(engine.counters.countedCharacters));
    EXPECT_EQ(engine.counters.distinctStrings, out.distinct.value_or(engine.counters.distinctStrings));
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
        // The exclusion table is read before the inputs.
        {{missing}, dir.Path() / "missing.tbl", dir.Path() / "missing.tbl", "No such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing.string());
        const RunSettings settings{.inputFiles = c.inputs,
                                   .exclusionTable = c.exclusion,
                                   .reportFile = dir.Path() / "report.txt",
                                   .outputTable = dir.Path() / "out.tbl"};
        const literal::ModelOutcome model = literal::RunLiteralModel(settings, true);
        EXPECT_EQ(model.status, RunStatus::InputFailed);
        RecordingObserver observer;
        const RunOutcome outcome = CheckAgainstModel(settings, model, observer, "old", "old");
        ASSERT_EQ(outcome.errors.size(), 1u);
        EXPECT_EQ(outcome.errors[0].path, c.failing);
        EXPECT_FALSE(outcome.errors[0].reason.empty());
        EXPECT_NE(outcome.errors[0].reason.find(c.reason), std::string::npos) << outcome.errors[0].reason;
    }
}

// One random case: the settings, the files they name, and what the two written files held before.
struct Case {
    RunSettings settings;
    std::map<std::filesystem::path, std::string> files;
    std::optional<std::string> reportBefore;
    std::optional<std::string> tableBefore;
    int boundaryRequest = -1; // 0 to 3: a request just around the number of different strings
};

std::string Describe(std::uint64_t seed, unsigned threads, const Case& c)
{
    RunSettings settings = c.settings;
    settings.threads = threads;
    std::string text = "seed " + std::to_string(seed) + testing::Describe(settings);
    for (const auto& [path, content] : c.files) {
        text += path.filename().string() + ": " + ::testing::PrintToString(content.substr(0, 300)) + "\n";
    }
    return text;
}

class Generator
{
public:
    Generator(std::uint64_t seed, std::filesystem::path folder) : rng(seed), dir(std::move(folder)) {}

    Case Make(std::uint64_t seed)
    {
        Case c;
        RunSettings& s = c.settings;
        const bool large = seed % 50 == 7;
        const int kind = large ? 7 : Pick(7);
        s.useComments = Chance(50);
        s.commentStyle = static_cast<CommentStyle>(Pick(4));
        s.beginComment = OneOf({"", "#", "aa", "REM", "\0"s, "ab", "{{", "\xff", "a", "/*"});
        s.endComment = OneOf({"", "aa", "b", "}}", "\r\n", "a", "\0\0"s, "#"});
        tokens = {"\r\n"};
        if (s.useComments) {
            const std::string styles[][2] = {
                {"/*", "*/"}, {"//", "\r\n"}, {"<$", ">"}, {s.beginComment, s.endComment}};
            for (const std::string& token : styles[static_cast<int>(s.commentStyle)]) {
                if (!token.empty()) {
                    tokens.push_back(token);
                }
            }
        }
        const int fileCount = large ? 1 : Chance(5) ? 0 : 1 + Pick(3);
        std::vector<std::filesystem::path> distinct;
        for (int i = 0; i < fileCount; ++i) {
            if (!distinct.empty() && Chance(12)) {
                s.inputFiles.push_back(distinct[Pick(static_cast<int>(distinct.size()))]); // duplicate
                continue;
            }
            const std::filesystem::path path = dir / ("input" + std::to_string(i) + ".bin");
            s.inputFiles.push_back(path);
            if (Chance(2)) {
                continue; // missing file
            }
            distinct.push_back(path);
            c.files[path] = Content(kind);
        }
        s.sampleLengths = Lengths(kind);
        // The requests of the shared table; a number below 60 now and then, and sometimes the count itself.
        s.topResults = Chance(15) ? std::to_string(Pick(60)) : topCases[Pick(std::size(topCases))].request;
        c.boundaryRequest = Chance(15) ? Pick(4) : -1;
        s.readInsideComments = Chance(30);
        s.ignoreSpace = Chance(30);
        s.ignoreReturn = Chance(30);
        s.ignoreTab = Chance(30);
        if (Chance(25)) {
            s.exclusionTable = dir / "exclude.tbl";
            if (!Chance(3)) {
                c.files[*s.exclusionTable] = ExclusionTable();
            }
        }
        if (Chance(30)) {
            s.reportFile = dir / "report.txt";
            if (Chance(50)) {
                c.reportBefore = "an older report\r\n";
            }
        }
        if (Chance(35)) {
            s.outputTable = dir / "output.tbl";
            s.writeTableRanges =
                OneOf({"1-30", "&H80-&H9F", "", "5,3,1", "&HFFFE-&HFFFF", "1-3", "abc", "0-100"});
            if (Chance(50)) {
                c.tableBefore = "80=old\r\n81=entry";
            }
        }
        return c;
    }

private:
    int Pick(std::size_t n) { return static_cast<int>(rng() % n); }
    bool Chance(int percent) { return Pick(100) < percent; }
    std::string OneOf(std::initializer_list<std::string> options)
    {
        return *(options.begin() + Pick(options.size()));
    }

    std::string Content(int kind)
    {
        static const std::string alphabets[] = {
            "ab", "ab ", "\0\xff\x80"s, "ab\r\n\t /*<$>", "aa#{}REM\r\n ab\0"s, "the cat sat on the mat\r\n",
        };
        std::string text;
        if (kind == 6) { // almost every window distinct
            text.resize(static_cast<std::size_t>(200 + Pick(1800)));
            for (char& c : text) {
                c = static_cast<char>(Pick(256));
            }
            return text;
        }
        const std::string& alphabet = alphabets[kind == 7 ? Pick(6) : kind];
        if (kind == 7) { // large: mostly the alphabet
            const auto size = static_cast<std::size_t>(20000 + Pick(30000));
            while (text.size() < size) {
                text += Chance(1) ? tokens[static_cast<std::size_t>(Pick(tokens.size()))]
                        : Chance(5)
                            ? std::string(1, static_cast<char>(Pick(256)))
                            : std::string(1, alphabet[static_cast<std::size_t>(Pick(alphabet.size()))]);
            }
            return text;
        }
        const int pieces = Chance(10) ? 0 : Pick(Chance(20) ? 200 : 40);
        for (int i = 0; i < pieces; ++i) {
            if (Chance(8)) {
                text += tokens[static_cast<std::size_t>(Pick(tokens.size()))];
            } else if (Chance(3)) {
                text += static_cast<char>(Pick(256));
            } else if (kind == 5) {
                const auto from = static_cast<std::size_t>(Pick(alphabet.size() - 4));
                text += alphabet.substr(from, 1 + static_cast<std::size_t>(Pick(4)));
            } else {
                text += alphabet[static_cast<std::size_t>(Pick(alphabet.size()))];
            }
        }
        return text;
    }

    std::string Lengths(int kind)
    {
        if (kind >= 6) {
            return OneOf({"1", "2", "1-3", "2,4", "3"});
        }
        if (Chance(7)) { // the warning, the question or a refusal, from the shared table
            return sampleLengthCases[Pick(std::size(sampleLengthCases))].lengths;
        }
        if (Chance(50)) {
            return OneOf({"1", "2", "1-3", "0,2", "2,2", "3,1", "&H3", " 2 , 4", "1,40", "25-27", "2.5"});
        }
        std::string text;
        const int count = 1 + Pick(4);
        for (int i = 0; i < count; ++i) {
            text += (i > 0 ? "," : "") + std::to_string(Chance(10) ? 20 + Pick(21) : Pick(9));
        }
        return text;
    }

    std::string ExclusionTable()
    {
        std::string table;
        for (int lines = Pick(8); lines > 0; --lines) {
            table += OneOf({"41=", "61=", "8140=", "ff=", "g1=", " 41=", "0A==", "abc="});
            table += OneOf({"a", "b", "ab", " ", "ba", "a ", "", "\t", "aa", "the", "="});
            table += OneOf({"\r\n", "\r", "\n", "\r\n"});
        }
        return table;
    }

    std::mt19937_64 rng;
    std::filesystem::path dir;
    std::vector<std::string> tokens; // comment delimiters and line ends, sprinkled into the input
};

// Runs one random case with one to three counting threads, which must not change anything.
void CheckSeed(std::uint64_t seed, const std::filesystem::path& dir)
{
    Generator generator(seed * 7919 + 17, dir);
    Case c = generator.Make(seed);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const auto& [path, content] : c.files) {
        std::ofstream(path, std::ios::binary) << content;
    }
    literal::ModelOutcome model = literal::RunLiteralModel(c.settings, true);
    if (c.boundaryRequest >= 0) {
        const std::string distinct = std::to_string(model.counters.distinctStrings);
        const std::string below = std::to_string(model.counters.distinctStrings - 1);
        const std::string requests[] = {below, below + ".5", distinct, distinct + ".5"};
        c.settings.topResults = requests[c.boundaryRequest];
        model = literal::RunLiteralModel(c.settings, true);
    }
    const bool large = c.files.size() == 1 && c.files.begin()->second.size() > 10000;
    for (const unsigned threads : large ? std::vector<unsigned>{1, 3} : std::vector<unsigned>{1, 2, 3}) {
        SCOPED_TRACE(Describe(seed, threads, c));
        RunSettings settings = c.settings;
        settings.threads = threads;
        RecordingObserver observer;
        (void)CheckAgainstModel(settings, model, observer, c.reportBefore, c.tableBefore);
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
}

class Differential : public ::testing::TestWithParam<int>
{
};

constexpr int casesPerBlock = 50;

TEST_P(Differential, EngineAgreesWithTheLiteralModel)
{
    const TempDir dir;
    if (const char* only = std::getenv("KESTRIN_DIFF_SEED")) {
        if (GetParam() != 0) {
            GTEST_SKIP() << "KESTRIN_DIFF_SEED runs in block 0 only";
        }
        CheckSeed(std::strtoull(only, nullptr, 10), dir.Path() / "case");
        return;
    }
    // Stops at the first case that differs in each block.
    for (int i = 0; i < casesPerBlock && !HasFailure(); ++i) {
        CheckSeed(static_cast<std::uint64_t>(GetParam() * casesPerBlock + i), dir.Path() / "case");
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, Differential, ::testing::Range(0, 10));

} // namespace
} // namespace kestrin::testing
