// SPDX-License-Identifier: MIT
// Runs that count in the game's characters, held to the plain inserter model: on random game tables and
// UTF-8 scripts, every result is whole characters with the model's hits in the model's order, the
// encoded sizes are the model inserter's, and text the game cannot hold stops the run with nothing
// written.

#include "inserter_model.h"
#include "test_support.h"

#include "kestrin/run_analysis.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <tuple>

namespace kestrin {
namespace {

using testing::CharacterTable;
using testing::CountWindows;
using testing::ModelEntry;
using testing::ModelString;
using testing::ReadFile;
using testing::RecordingObserver;
using testing::TempDir;
using testing::UsedEntries;

// The model's ranking: game bytes times hits, then the earlier length, the lower first byte, the
// string met first.
std::vector<std::string> ModelRanking(const std::map<std::string, ModelString>& counted, std::size_t count)
{
    std::vector<std::pair<std::string, ModelString>> all(counted.begin(), counted.end());
    const auto key = [](const std::pair<std::string, ModelString>& s) {
        return std::make_tuple(-static_cast<std::int64_t>(s.first.size()) * s.second.hits, s.second.column,
                               static_cast<unsigned char>(s.first[0]), s.second.first);
    };
    std::sort(all.begin(), all.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    std::vector<std::string> best;
    for (std::size_t i = 0; i < std::min(count, all.size()); ++i) {
        best.push_back(all[i].first);
    }
    return best;
}

TEST(TextRun, WholeCharactersWithTheModelsCountsAndSizes)
{
    std::mt19937_64 random(17);
    int checkedRuns = 0;
    int refused = 0;
    for (int round = 0; round < 120; ++round) {
        const bool useTable = round % 2 == 0;
        const testing::RandomTableCase c = testing::MakeRandomTableCase(random);
        SCOPED_TRACE(c.file + "|" + c.script);
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", c.script)}, .sampleLengths = "1-4"};
        settings.topResults = "40";
        settings.encoding = TextEncoding::Utf8;
        if (useTable) {
            settings.gameTable = dir.Write("game.tbl", c.file);
        }
        const std::vector<ModelEntry> table = useTable ? UsedEntries(c.entries) : CharacterTable(c.script);
        const testing::ModelEncoding encoded = testing::InsertByLongestMatch(c.script, table);
        const bool invalid = testing::FirstUtf8Fault(c.script).has_value();
        settings.realSavings = round % 4 >= 2;
        settings.outputTable = dir.Path() / "out.tbl";
        settings.writeTableRanges = "&HF000-&HF0FF";
        settings.dictionaryBytes = round % 8 >= 6 ? std::to_string(random() % 30) : "";
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        if (invalid || encoded.unmappedAt) {
            ++refused;
            ASSERT_EQ(outcome.status, RunStatus::Refused);
            EXPECT_EQ(outcome.refusal->reason,
                      invalid ? Refusal::Reason::InvalidText : Refusal::Reason::UnmappedText);
            EXPECT_FALSE(std::filesystem::exists(*settings.outputTable));
            continue;
        }
        ASSERT_EQ(outcome.status, RunStatus::Completed) << outcome.failureDetail;
        ++checkedRuns;
        EXPECT_EQ(outcome.counters.countedCharacters, static_cast<std::int64_t>(encoded.unitStarts.size()));
        EXPECT_EQ(outcome.counters.totalCharacters, outcome.counters.countedCharacters);
        const auto counted = CountWindows(encoded, 4);
        // The inserter reads the game table, then the entries; without a game table the game stores
        // UTF-8, and an entry of one character stands in for it.
        std::vector<ModelEntry> united = useTable ? table : std::vector<ModelEntry>{};
        std::vector<std::string> chosen;
        std::int64_t tableBytes = 0;
        for (const ResultEntry& result : outcome.results) {
            if (result.hits < 0) {
                continue;
            }
            const std::string bytes = result.gameBytes.value_or(result.text);
            EXPECT_EQ(result.gameBytes.has_value(), useTable);
            // Whole characters, no break: the model counted exactly these bytes as a window.
            ASSERT_TRUE(counted.contains(bytes)) << result.text;
            if (!settings.realSavings) {
                EXPECT_EQ(result.hits, counted.at(bytes).hits) << result.text;
            }
            chosen.push_back(bytes);
            tableBytes += static_cast<std::int64_t>(bytes.size());
            const auto code = static_cast<unsigned>(0xF000 + united.size());
            united.push_back({std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)},
                              result.text, false});
        }
        if (!settings.realSavings) {
            EXPECT_EQ(chosen, ModelRanking(counted, 41));
            continue;
        }
        if (!useTable) {
            united.insert(united.end(), table.begin(), table.end());
        }
        ASSERT_TRUE(outcome.sizes.has_value());
        EXPECT_EQ(outcome.sizes->text, static_cast<std::int64_t>(encoded.bytes.size()));
        EXPECT_EQ(outcome.sizes->table, tableBytes);
        EXPECT_EQ(outcome.sizes->longestMatch,
                  static_cast<std::int64_t>(testing::InsertByLongestMatch(c.script, united).bytes.size()));
        EXPECT_EQ(outcome.sizes->bestParse,
                  static_cast<std::int64_t>(*testing::BestSplitBytes(c.script, united)));
        if (!settings.dictionaryBytes.empty()) {
            EXPECT_LE(tableBytes, std::stoll(settings.dictionaryBytes));
        }
        // The table file holds the entries as text.
        const std::string written = ReadFile(*settings.outputTable);
        for (const ResultEntry& result : outcome.results) {
            EXPECT_NE(written.find("=" + result.text + "\r\n"), std::string::npos) << result.text;
        }
        // The same results on one thread and on three.
        settings.threads = settings.threads == 1 ? 3 : 1;
        RecordingObserver again;
        EXPECT_EQ(RunAnalysis(settings, again).results, outcome.results);
    }
    EXPECT_GT(checkedRuns, 40);
    EXPECT_GT(refused, 5);
}

// A script of more than 256 different characters (the kanji of a Japanese script) is counted over its
// bytes rather than a byte a character, and long windows are measured apart; one whose characters past the
// 255 most frequent are rare is counted a byte a character with their windows apart: the same ranking as
// the model's every way.
TEST(TextRun, ManyDifferentCharactersRankAsTheModelDoes)
{
    std::mt19937_64 random(5);
    // Windows of up to 65 characters may take 256 bytes or more, which the count measures apart.
    const std::tuple<std::uint32_t, std::uint32_t, bool> cases[] = {
        {40, 4, false}, {300, 4, false}, {40, 65, false}, {400, 4, true}};
    for (const auto& [kinds, longest, fewRare] : cases) {
        SCOPED_TRACE(kinds * 100 + longest + (fewRare ? 100000 : 0));
        std::string script;
        for (int i = 0; i < 3000; ++i) {
            // Runs of neighbouring characters, so that strings repeat.
            const auto base =
                static_cast<std::uint32_t>(fewRare && random() % 32 != 0 ? random() % 250 : random() % kinds);
            for (std::uint32_t j = 0; j < 1 + random() % 4; ++j) {
                script += testing::Utf8Of(0x4E00 + (base + j) % kinds);
            }
            script += random() % 8 == 0 ? "\r\n" : "";
        }
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", script)},
                             .sampleLengths = "1-" + std::to_string(longest)};
        settings.topResults = "60";
        settings.encoding = TextEncoding::Utf8;
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        std::vector<std::string> ranked;
        for (const ResultEntry& result : outcome.results) {
            ranked.push_back(result.text);
        }
        const auto counted =
            CountWindows(testing::InsertByLongestMatch(script, CharacterTable(script)), longest);
        EXPECT_EQ(ranked, ModelRanking(counted, 61));
        EXPECT_EQ(outcome.counters.distinctStrings, static_cast<std::int64_t>(counted.size()));
    }
}

// The comment filter works on the script's text: what it leaves out is never encoded (it may hold text
// the table lacks) and counts in its own characters; what it lets through counts in the game's.
TEST(TextRun, CommentsAreLeftOutBeforeTheScriptIsEncoded)
{
    const TempDir dir;
    RunSettings settings{.inputFiles = {dir.Write("script.txt", "ab<$\xE6\xBC\xA2?>ab<LINE>ab")}};
    settings.sampleLengths = "2";
    settings.encoding = TextEncoding::Utf8;
    settings.gameTable = dir.Write("game.tbl", "41=a\n42=b\nFE=<LINE>\n");
    settings.useComments = true;
    settings.commentStyle = CommentStyle::Thingy;
    RecordingObserver observer;
    const RunOutcome outcome = RunAnalysis(settings, observer);
    ASSERT_EQ(outcome.status, RunStatus::Completed);
    EXPECT_EQ(outcome.counters.countedCharacters, 7);   // a b a b <LINE> a b
    EXPECT_EQ(outcome.counters.totalCharacters, 7 + 5); // and < $ 漢 ? >
    ASSERT_FALSE(outcome.results.empty());
    EXPECT_EQ(outcome.results[0], (ResultEntry{"ab", 3, std::nullopt, std::string("AB")}));
}

// A code of the ranges that the game table holds, or that begins one of its codes or is begun by one, is
// named: an inserter reading both tables could not tell them apart. The table is written all the same.
TEST(TextRun, CodesTheGameUsesAreNamed)
{
    const std::pair<const char*, std::optional<std::int16_t>> cases[] = {
        {"&H80-&H85", std::int16_t{0x80}},                    // the game's own code
        {"&H8000-&H8005", static_cast<std::int16_t>(0x8000)}, // begins with the game's 80
        {"&H88-&H8F", std::int16_t{0x88}},                    // begins the game's 8801
        {"&HF0-&HFF", std::nullopt},                          // codes the game does not use
    };
    for (const auto& [ranges, named] : cases) {
        SCOPED_TRACE(ranges);
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", "ab\xE6\xBC\xA2"
                                                                    "ab\xE6\xBC\xA2"
                                                                    "ab")}};
        settings.sampleLengths = "2";
        settings.encoding = TextEncoding::Utf8;
        settings.gameTable = dir.Write("game.tbl", "80=a\n42=b\n8801=\xE6\xBC\xA2\n");
        settings.outputTable = dir.Path() / "out.tbl";
        settings.writeTableRanges = ranges;
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        EXPECT_EQ(outcome.gameTableCode, named);
        EXPECT_FALSE(ReadFile(*settings.outputTable).empty());
    }
}

// Text the game cannot hold, a table it cannot read, and settings that are no number: the run stops
// before counting, says where, and writes nothing.
TEST(TextRun, RefusesWhatTheGameCannotHoldAndWritesNothing)
{
    struct Case {
        const char* name;
        TextEncoding encoding;
        const char* table; // nullptr: no game table
        std::string script;
        std::string dictionaryBytes;
        Refusal::Reason reason;
        std::int64_t line;
        std::int64_t column; // or, for invalid text, the byte offset
        std::string text;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"stray byte", TextEncoding::Utf8, nullptr, "ab\r\ncd\x80z", "", Refusal::Reason::InvalidText, 2, 6, "\x80"},
        {"truncated", TextEncoding::Utf8, "41=a\n", "a\n\n\xE3\x81", "", Refusal::Reason::InvalidText, 3, 3, "\xE3\x81"},
        {"unmapped", TextEncoding::Utf8, "41=a\n8140=\xE6\xBC\xA2\nFE=<LINE>\n", "aa\na\xE6\xBC\xA2<LINE>b<LIN",
         "", Refusal::Reason::UnmappedText, 2, 9, "b<LIN"},
        {"unmapped Latin-1", TextEncoding::Latin1, "41=a\nE9=\xE9\n", "a\xE9\xE8", "", Refusal::Reason::UnmappedText, 1, 3, "\xE8"},
        {"bad table line", TextEncoding::Utf8, "41=a\n4=b\n", "a", "", Refusal::Reason::BadTableLine, 2, 0, "4=b"},
        {"code begins code", TextEncoding::Utf8, "88=x\n41=a\n8801=y\n", "a", "", Refusal::Reason::CodeBeginsCode, 3, 0, "8801"},
        {"empty table", TextEncoding::Utf8, "# nothing\n", "a", "", Refusal::Reason::NoGameCharacters, 0, 0, ""},
        {"table not UTF-8", TextEncoding::Utf8, "41=\xE9\n", "a", "", Refusal::Reason::InvalidText, 1, 3, "\xE9"},
        {"dictionary bytes", TextEncoding::Utf8, nullptr, "abab", "12k", Refusal::Reason::BadDictionaryBytes, 0, 0, "12k"},
        {"dictionary bytes before the table", TextEncoding::Utf8, "4=b\n", "a", "12k", Refusal::Reason::BadDictionaryBytes, 0, 0, "12k"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", c.script)}, .sampleLengths = "2"};
        settings.encoding = c.encoding;
        if (c.table != nullptr) {
            settings.gameTable = dir.Write("game.tbl", c.table);
        }
        settings.realSavings = true;
        settings.dictionaryBytes = c.dictionaryBytes;
        settings.reportFile = dir.Write("report.txt", "Filename: an earlier report\r\n");
        settings.outputTable = dir.Write("out.tbl", "80=x\r\n");
        settings.writeTableRanges = "&H81-&HFF";
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Refused);
        const Refusal& refusal = *outcome.refusal;
        EXPECT_EQ(refusal.reason, c.reason);
        EXPECT_EQ(refusal.line, c.line);
        EXPECT_EQ(c.reason == Refusal::Reason::InvalidText ? refusal.offset : refusal.column, c.column);
        EXPECT_EQ(refusal.text, c.text);
        if (c.line != 0) {
            EXPECT_EQ(refusal.path,
                      c.reason == Refusal::Reason::UnmappedText ||
                              (c.reason == Refusal::Reason::InvalidText && c.table == nullptr) ||
                              std::string(c.name) == "truncated"
                          ? settings.inputFiles[0]
                          : *settings.gameTable);
        }
        EXPECT_EQ(ReadFile(*settings.reportFile), "Filename: an earlier report\r\n");
        EXPECT_EQ(ReadFile(*settings.outputTable), "80=x\r\n");
    }
}

// The game table is read after the look at the inputs: a missing input fails the run, and the table's
// fault is not named.
TEST(TextRun, AMissingInputFailsBeforeTheGameTableIsRead)
{
    const TempDir dir;
    RunSettings settings{.inputFiles = {dir.Path() / "missing.txt"}, .sampleLengths = "2"};
    settings.gameTable = dir.Write("game.tbl", "4=b\n");
    RecordingObserver observer;
    const RunOutcome outcome = RunAnalysis(settings, observer);
    EXPECT_EQ(outcome.status, RunStatus::InputFailed);
    EXPECT_FALSE(outcome.refusal.has_value());
}

} // namespace
} // namespace kestrin
