// SPDX-License-Identifier: MIT
// Runs that count in the game's characters, held to the plain inserter model on random game tables and
// UTF-8 scripts (testing::CheckTextRun, which the fuzzer shares), on scripts of many characters, with
// comments, and with codes the game uses; and the refusals of text the game cannot hold.

#include "case_tables.h"
#include "inserter_model.h"
#include "test_support.h"
#include "write_faults.h"

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
using testing::ReadFile;
using testing::RecordingObserver;
using testing::TempDir;
using testing::UsedEntries;

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
        settings.realSavings = round % 4 >= 2;
        settings.outputTable = dir.Path() / "out.tbl";
        settings.writeTableRanges = "&HF000-&HF0FF";
        settings.dictionaryBytes = round % 8 >= 6 ? std::to_string(random() % 30) : "";
        if (round % 8 == 3 || round % 8 == 6) {
            // The script's first two characters kept (when the game can hold them), with an overhead.
            std::size_t cut = 0;
            for (int characters = 0; cut < c.script.size() && characters < 3; ++cut) {
                characters += (static_cast<unsigned char>(c.script[cut]) & 0xC0) != 0x80 ? 1 : 0;
            }
            settings.keepTable = dir.Write("keep.tbl", "F1F2F3F4=" + c.script.substr(0, cut - 1) + "\n");
            settings.entryOverhead = "2";
            settings.savingsCurve = true;
        }
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        const auto table = useTable ? UsedEntries(c.entries) : CharacterTable(c.script);
        const bool keptRefused = outcome.refusal && outcome.refusal->role == FileRole::KeptTable;
        EXPECT_EQ(testing::CheckTextRun(settings, c.script, table, useTable ? c.newlineCode : std::nullopt,
                                        keptRefused, outcome),
                  "");
        if (outcome.status != RunStatus::Completed) {
            ++refused;
            continue;
        }
        ++checkedRuns;
        // The same results on one thread as on every core.
        settings.threads = 1;
        RecordingObserver again;
        EXPECT_EQ(RunAnalysis(settings, again).results, outcome.results);
    }
    EXPECT_GT(checkedRuns, 40);
    EXPECT_GT(refused, 5);
}

// The text of an encoding preview without its braces and escapes, and the number of braced pieces.
std::pair<std::string, std::int64_t> Unbraced(std::string_view braced)
{
    std::string text;
    std::int64_t pieces = 0;
    for (std::size_t at = 0; at < braced.size(); ++at) {
        if (braced[at] == '\\' && at + 1 < braced.size()) {
            text += braced[++at];
        } else if (braced[at] == '{') {
            ++pieces;
        } else if (braced[at] != '}') {
            text += braced[at];
        }
    }
    return {text, pieces};
}

// A hand-made table judged in bytes, in UTF-8 and through a game table: texts cut from the script (some
// split a character, some are one character), codes F8xx of which some repeat, a text listed twice, a
// line without text, an end code's text, a code of the game's. The problems, the uses by longest match, the
// sizes and the preview are the plain inserter's, which reads the game table (or each character standing for
// itself) and then the entries without a problem; without a game table the best parse's uses give its size.
// The real-savings preview unbraces to the script too.
TEST(TextRun, AJudgedTableGivesThePlainInsertersUsesAndSizes)
{
    using Problem = EntryProblem;
    std::mt19937_64 random(29);
    int checked = 0;
    for (int round = 0; round < 150; ++round) {
        const int mode = round % 3; // bytes, UTF-8, game table
        const testing::RandomTableCase c = testing::MakeRandomTableCase(random);
        // Braces and the escape in the text, where no game table has to hold them.
        const std::string script = mode == 2 ? c.script : c.script + "{b}\\{b}";
        std::vector<testing::ModelEntry> table;
        for (int n = 0; n < 10 && !script.empty(); ++n) {
            std::string text = script.substr(random() % script.size(), 1 + random() % 6);
            text = text.substr(0, text.find_first_of("\r\n"));
            table.push_back({std::string{'\xF8', static_cast<char>(random() % 8)}, text});
        }
        table.push_back({"\xF8\x10", table.empty() ? "x" : table.front().text});
        table.push_back({"\xF8\x11", ""});
        table.push_back({"\xF8\x12", "<END>"}); // an end code of the game's
        table.push_back({"\xF8\x13", "{b}"});
        if (mode == 2) {
            table.push_back({c.entries.front().code, "zz"});
        }
        std::string file;
        for (const auto& entry : table) {
            file += HexOf(entry.code) + "=" + entry.text + "\r\n";
        }
        SCOPED_TRACE(std::to_string(mode) + "|" + c.file + "|" + file + "|" + script);
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", script)}};
        settings.encoding = mode == 0 ? TextEncoding::Latin1 : TextEncoding::Utf8;
        settings.gameTable = mode == 2 ? std::optional(dir.Write("game.tbl", c.file)) : std::nullopt;
        settings.evaluateTable = dir.Write("dte.tbl", file);
        settings.encodingPreview = dir.Path() / "preview.txt";
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        if (outcome.status != RunStatus::Completed) {
            EXPECT_NE(mode, 0);
            continue;
        }
        std::vector<testing::ModelEntry> characters;
        if (mode == 0) {
            for (const char byte : script) {
                characters.push_back({std::string(1, byte), std::string(1, byte)});
            }
        }
        const auto game = mode == 2   ? UsedEntries(c.entries)
                          : mode == 1 ? CharacterTable(script)
                                      : UsedEntries(characters);
        // The plain judgement of each entry, and the table the inserter reads.
        std::vector<testing::ModelEntry> united = game;
        std::vector<EvaluatedEntry> expected;
        EncodedSizes sizes;
        for (std::size_t i = 0; i < table.size(); ++i) {
            const auto& [code, text, end] = table[i];
            EvaluatedEntry& e = expected.emplace_back();
            e.line = static_cast<std::int64_t>(i + 1);
            e.code = code;
            e.text = text;
            e.gameBytes = text;
            const testing::ModelEncoding own = testing::InsertByLongestMatch(text, game);
            for (const auto& character : game) {
                if (character.stringEnd && text.find(character.text) != std::string::npos && !text.empty()) {
                    e.problems.push_back(Problem::HoldsLineEnd);
                }
            }
            if (mode == 2) {
                e.gameBytes = own.unmappedAt ? "" : own.bytes;
            }
            if ((mode == 1 && testing::FirstUtf8Fault(text)) || (mode == 2 && own.unmappedAt)) {
                e.problems.push_back(Problem::SplitsCharacter);
            }
            for (const Problem problem : {Problem::SameText, Problem::RepeatedCode}) {
                for (std::size_t j = 0; j < i; ++j) {
                    if (problem == Problem::SameText ? !text.empty() && table[j].text == text
                                                     : table[j].code == code) {
                        e.problems.push_back(problem);
                        e.firstLine = e.firstLine != 0 ? e.firstLine : static_cast<std::int64_t>(j + 1);
                        break;
                    }
                }
            }
            if (mode == 2 && std::any_of(game.begin(), game.end(), [&](const testing::ModelEntry& g) {
                    return g.code.starts_with(code) || code.starts_with(g.code);
                })) {
                e.problems.push_back(Problem::GameTableCode);
            }
            if (text.empty()) {
                e.problems.push_back(Problem::NoText);
            }
            // One character stands for itself before any entry.
            const bool character =
                mode == 2
                    ? std::any_of(game.begin(), game.end(), [&](const auto& g) { return g.text == text; })
                : mode == 1 ? CharacterTable(text).size() == 1 && CharacterTable(text)[0].text == text
                            : text.size() == 1;
            if (e.problems.empty() && !character) {
                united.push_back(table[i]);
                sizes.table += static_cast<std::int64_t>(e.gameBytes.size());
                ++sizes.entries;
            }
        }
        const testing::ModelEncoding encoded = testing::InsertByLongestMatch(script, united);
        if (encoded.unmappedAt) {
            continue; // an entry led longest match where the game table cannot go on: no inserter could
        }
        for (std::size_t u = 0; u < encoded.characterStarts.size(); ++u) {
            const std::size_t begin = encoded.characterStarts[u];
            const std::size_t end = u + 1 < encoded.characterStarts.size() ? encoded.characterStarts[u + 1]
                                                                           : encoded.bytes.size();
            for (EvaluatedEntry& e : expected) {
                if (e.problems.empty() && encoded.bytes.substr(begin, end - begin) == e.code) {
                    ++e.longestMatchUses;
                    e.longestMatchSaved += static_cast<std::int64_t>(e.gameBytes.size() - e.code.size());
                }
            }
        }
        std::int64_t bestParseSaved = 0;
        ASSERT_EQ(outcome.evaluated.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EvaluatedEntry& e = expected[i];
            if (e.problems.empty() && e.longestMatchUses == 0) {
                e.problems.push_back(Problem::Unused);
            }
            e.bestParseUses = outcome.evaluated[i].bestParseUses;
            bestParseSaved += e.bestParseUses * static_cast<std::int64_t>(e.gameBytes.size() - e.code.size());
        }
        // As report lines, which show every field, so that a difference reads.
        EXPECT_EQ(BuildEvaluationLines(outcome.evaluated), BuildEvaluationLines(expected));
        const std::int64_t lineEnds = mode == 2 ? testing::LineEndsOverBytes(script, game, c.newlineCode) : 0;
        sizes.text = lineEnds + static_cast<std::int64_t>(
                                    mode == 2 ? testing::InsertByLongestMatch(script, game).bytes.size()
                                              : script.size());
        sizes.longestMatch = lineEnds + static_cast<std::int64_t>(encoded.bytes.size());
        sizes.bestParse =
            lineEnds + static_cast<std::int64_t>(testing::BestSplitBytes(script, united).value_or(0));
        if (mode != 2) { // every other piece costs its bytes; through a game table they may split otherwise,
                         // and the line ends take their prices
            EXPECT_EQ(sizes.text - bestParseSaved, sizes.bestParse);
        }
        EXPECT_EQ(BuildSizeLines(outcome.sizes.value_or(EncodedSizes{})), BuildSizeLines(sizes));
        std::int64_t uses = 0;
        for (const EvaluatedEntry& e : expected) {
            uses += e.longestMatchUses;
        }
        EXPECT_EQ(Unbraced(ReadFile(*settings.encodingPreview)), std::pair(script, uses));
        ++checked;
        // The preview of real savings: the chosen entries braced, the script unchanged.
        settings.evaluateTable.reset();
        settings.realSavings = true;
        settings.sampleLengths = "2-4";
        ASSERT_EQ(RunAnalysis(settings, observer).status, RunStatus::Completed);
        EXPECT_EQ(Unbraced(ReadFile(*settings.encodingPreview)).first, script);
    }
    EXPECT_GT(checked, 90);
    // A table to evaluate that is missing fails the run as a missing input does.
    const TempDir dir;
    RunSettings settings{.inputFiles = {dir.Write("script.txt", "ab")}};
    settings.evaluateTable = dir.Path() / "missing.tbl";
    RecordingObserver observer;
    const RunOutcome outcome = RunAnalysis(settings, observer);
    EXPECT_EQ(outcome.status, RunStatus::InputFailed);
    EXPECT_EQ(outcome.errors.at(0).path, *settings.evaluateTable);
}

// A script of more than 255 frequent characters (the kanji of a Japanese script) is counted over 16-bit
// numbers of its characters up to 8 characters, and sorted above that, with long windows measured apart; one
// whose characters past the 255 most frequent are rare is counted a byte a character with their windows
// apart: the same ranking as the model's every way, in UTF-8 and through a game table of codes of 1 to 3
// bytes and an end code, over two files (the first ends inside a line).
TEST(TextRun, ManyDifferentCharactersRankAsTheModelDoes)
{
    std::mt19937_64 random(5);
    // Windows of up to 90 characters may take 256 bytes or more, which the count measures apart.
    const std::tuple<std::uint32_t, std::uint32_t, bool, bool> cases[] = {
        {40, 4, false, false},  {300, 4, false, false}, {300, 8, false, true}, {300, 12, false, false},
        {300, 90, false, true}, {40, 65, false, false}, {400, 4, true, false}};
    for (const auto& [kinds, longest, fewRare, throughTable] : cases) {
        SCOPED_TRACE(kinds * 100 + longest + (fewRare ? 100000 : 0) + (throughTable ? 1000000 : 0));
        std::string script;
        for (std::uint32_t i = 0; i < 3000; ++i) {
            // Runs of neighbouring characters, so that strings repeat; each half of the script (about each
            // file) its own half of the characters, so that strings are first met in either file.
            const auto base = static_cast<std::uint32_t>(
                fewRare && random() % 32 != 0 ? random() % 250
                                              : random() % (kinds / 2) + (i < 1500 ? 0 : kinds / 2));
            for (std::uint32_t j = 0; j < 1 + random() % 4; ++j) {
                script += testing::Utf8Of(0x4E00 + (base + j) % kinds);
            }
            script += random() % 8 == 0 ? "\r\n" : throughTable && random() % 16 == 0 ? "<END>" : "";
        }
        // Codes 20-5F, then 80xx-82xx, then F001xx: no code begins with another.
        std::vector<testing::ModelEntry> table{{std::string(1, '\0'), "<END>", true}};
        std::string tableFile = "/00=<END>\n";
        for (std::uint32_t i = 0; i < kinds; ++i) {
            std::string code = i < 64    ? std::string{static_cast<char>(0x20 + i)}
                               : i < 264 ? std::string{static_cast<char>(0x80 + (i - 64) / 100),
                                                       static_cast<char>(1 + (i - 64) % 100)}
                                         : std::string{'\xF0', '\x01', static_cast<char>(1 + i - 264)};
            table.push_back({code, testing::Utf8Of(0x4E00 + i), false});
            for (const char byte : code) {
                tableFile += "0123456789ABCDEF"[static_cast<unsigned char>(byte) >> 4];
                tableFile += "0123456789ABCDEF"[byte & 0xF];
            }
            tableFile += "=" + table.back().text + "\n";
        }
        // No window crosses from one file to the next, as none crosses a line end.
        std::size_t cut = script.size() / 2;
        while (static_cast<unsigned char>(script[cut]) != 0xE4) { // where a character of the table starts
            ++cut;
        }
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("one.txt", script.substr(0, cut)),
                                            dir.Write("two.txt", script.substr(cut))},
                             .sampleLengths = "1-" + std::to_string(longest)};
        settings.topResults = "60";
        settings.encoding = TextEncoding::Utf8;
        if (throughTable) {
            settings.gameTable = dir.Write("game.tbl", tableFile);
        } else {
            table = CharacterTable(script);
        }
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Completed);
        std::vector<std::string> ranked;
        for (const ResultEntry& result : outcome.results) {
            ranked.push_back(result.gameBytes.value_or(result.text));
        }
        const std::string joined = script.substr(0, cut) + "\n" + script.substr(cut);
        const auto counted = CountWindows(testing::InsertByLongestMatch(joined, table), longest);
        EXPECT_EQ(ranked, testing::ModelRanking(counted, 61));
        EXPECT_EQ(outcome.counters.distinctStrings, static_cast<std::int64_t>(counted.size()));
    }
}

// The comment filter works on the script's text: what it leaves out is never encoded (it may hold text
// the table lacks) and counts in its own characters; what it lets through counts in the game's. The
// byte-order mark that starts a UTF-8 file is neither: it is no character, and the table need not hold it.
TEST(TextRun, CommentsAreLeftOutBeforeTheScriptIsEncoded)
{
    const TempDir dir;
    RunSettings settings{.inputFiles = {dir.Write("script.txt", "\xEF\xBB\xBF"
                                                                "ab<$\xE6\xBC\xA2?>ab<LINE>ab")}};
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

// The entries go after the game table's lines, taking the codes it leaves free: its low codes keep their
// texts, and the sizes count "abc" at one byte and every other character at its own code. A line end (CR LF,
// a lone LF or a lone CR) costs the newline code's bytes, nothing right after an end code, and nothing
// without a newline code, which the report then says.
TEST(TextRun, EntriesTakeTheCodesTheGameTableLeavesFreeAndLineEndsTheirPrice)
{
    struct Case {
        const char* table; // after 00=a, 01=b, 02=c
        const char* script;
        std::int64_t text, longestMatch; // best parse as longest match
        bool notStored;
    };
    const Case cases[] = {
        // 6 x abc, a, b; the line ends are not stored.
        {"", "abcabcabcabcab\r\nabcabc\r\n", 20, 8, true},
        // 5 x abc and 3 line ends of one byte each (the "\n" line is also a text of its own).
        {"FE=\\n\r\n", "abcabc\r\nabcabc\nabc\r", 18, 8, false},
        // 4 x abc, 2 end codes, and of 5 line ends 2 priced at 2 bytes: the first before any text, and the
        // one after "abcabc"; those after an end code are layout.
        {"*FF01\r\n/FD=<END>\r\n", "\nabc<END>\r\n\r\nabcabc\r\nabc<END>\n", 18, 10, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", c.script)}};
        settings.sampleLengths = "2-3";
        settings.encoding = TextEncoding::Utf8;
        settings.gameTable = dir.Write("game.tbl", std::string("00=a\r\n01=b\r\n02=c\r\n") + c.table);
        settings.realSavings = true;
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_TRUE(outcome.sizes.has_value());
        EXPECT_EQ(outcome.sizes->text, c.text);
        EXPECT_EQ(outcome.sizes->longestMatch, c.longestMatch);
        EXPECT_EQ(outcome.sizes->bestParse, c.longestMatch);
        EXPECT_EQ(
            outcome.report.ends_with("Line ends: not stored, as the game table gives no newline code\r\n"),
            c.notStored);
    }
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

// Text the game cannot hold, a table it cannot read, settings that are no number, a report file on a
// table: the run stops before counting, says what and where, and changes no file.
TEST(TextRun, RefusesWhatTheGameCannotHoldAndWritesNothing)
{
    for (const testing::CharacterRefusalCase& c : testing::characterRefusalCases) {
        SCOPED_TRACE(c.name);
        const TempDir dir;
        RunSettings settings{.inputFiles = {dir.Write("script.txt", c.script)}, .sampleLengths = "2"};
        settings.encoding = c.encoding;
        if (c.table) {
            settings.gameTable = dir.Write("game.tbl", *c.table);
        }
        settings.realSavings = true;
        settings.dictionaryBytes = c.dictionaryBytes;
        settings.entryOverhead = c.entryOverhead;
        if (!c.keep.empty()) {
            settings.keepTable = dir.Write("keep.tbl", c.keep);
        }
        settings.useComments = !c.beginComment.empty();
        settings.commentStyle = CommentStyle::Custom;
        settings.beginComment = c.beginComment;
        settings.exclusionTable = dir.Write("x.tbl", "80=zz\r\n");
        dir.Write("report.txt", "Filename: an earlier report\r\n");
        settings.reportFile = dir.Path() / c.reportFile;
        settings.outputTable = dir.Write("out.tbl", "80=x\r\n");
        settings.writeTableRanges = "&H81-&HFF";
        if (c.evaluated) {
            settings.evaluateTable = dir.Write("eval.tbl", *c.evaluated);
        }
        if (c.preview != nullptr) {
            settings.encodingPreview = dir.Path() / c.preview;
        }
        std::map<std::string, std::string> files;
        for (const auto& name : testing::Names(dir.Path())) {
            files[name] = ReadFile(dir.Path() / name);
        }
        RecordingObserver observer;
        const RunOutcome outcome = RunAnalysis(settings, observer);
        ASSERT_EQ(outcome.status, RunStatus::Refused);
        Refusal expected = c.refusal;
        for (auto* path : {&expected.path, &expected.otherPath}) {
            *path = path->empty() ? *path : dir.Path() / *path;
        }
        EXPECT_EQ(*outcome.refusal, expected);
        for (const auto& [name, content] : files) {
            EXPECT_EQ(ReadFile(dir.Path() / name), content) << name;
        }
        EXPECT_EQ(testing::Names(dir.Path()).size(), files.size());
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
