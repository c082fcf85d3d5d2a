// SPDX-License-Identifier: MIT
// The one entry trie and its two encodings (longest match and best parse), through the game table and
// with the entries of the savings choice.

#include "inserter_model.h"
#include "savings/savings_encoding.h"
#include "savings_model.h"
#include "text/game_encoder.h"

#include <gtest/gtest.h>
#include <random>

namespace kestrin {
namespace {

using namespace std::string_literals;

// 41-44 "a" to "d", a 2-byte code for "ab" that longest match prefers, a tag and its prefix "<", a
// kanji, an end code, and codes 0D and 0A that line ends must not be taken for.
const char* const smallTable = "41=a\n42=b\n43=c\n44=d\n8801=ab\nFE=<LINE>\n3C=<\n"
                               "9000=\xE6\xBC\xA2\n/FF=<END>\n0D=r\n0A=n\n";

GameTable SmallTable()
{
    GameTableLoad load = ReadGameTable(smallTable, TextEncoding::Utf8);
    EXPECT_TRUE(load.faults.empty() && load.duplicates.empty());
    return std::move(load.table);
}

TEST(GameEncoder, StopsAtUnmappedTextWithItsLineAndColumnInCharacters)
{
    const std::pair<std::string, UnmappedText> cases[] = {
        {"abz", {2, 1, 3, "z"}},
        {"ab\r\nc\xE6\xBC\xA2x<LIN>", {8, 2, 3, "x"}},
        {"a\n\xE6\xBC\xA2\xE6\xBC\xA3\xE6\xBC\xA4"
         "a",
         {5, 2, 2, "\xE6\xBC\xA3\xE6\xBC\xA4"}},
        {"\r\r\nzzzzzzzzzzzzzzzzzzzz", {3, 3, 1, "zzzzzzzzzzzzzzzz"}},
        {"ab\n<END\nb", {4, 2, 2, "END"}}, // "<" alone is an entry, "E" is none
    };
    const GameTable table = SmallTable();
    for (const auto& [script, expected] : cases) {
        SCOPED_TRACE(script);
        auto result = EncodeScript(script, table);
        ASSERT_TRUE(std::holds_alternative<UnmappedText>(result));
        EXPECT_EQ(std::get<UnmappedText>(result), expected);
    }
    // Entries added by the program that no inserter could use never match.
    GameTable added = SmallTable();
    added.Add({"\x70", "a\nb"});
    added.Add({"", "c\r"});
    added.Add({"\x01\x02\x03\x04\x05", "zz"});
    ASSERT_TRUE(std::holds_alternative<UnmappedText>(EncodeScript("zz", added)));
    EXPECT_EQ(std::get<GameText>(EncodeScript("a\nbcd", added)).bytes, "\x41\n\x42\x43\x44");
    // In Latin-1 a column is a byte, and a byte that looks like a UTF-8 lead is one character.
    const GameTableLoad latin1 = ReadGameTable("C3=\xC3\n41=a\n", TextEncoding::Latin1);
    auto result = EncodeScript("a\xC3\xA9"
                               "a\xC3",
                               latin1.table);
    ASSERT_TRUE(std::holds_alternative<UnmappedText>(result));
    EXPECT_EQ(std::get<UnmappedText>(result), (UnmappedText{2, 1, 3, "\xA9"}));
}

TEST(GameEncoder, MatchesAPlainInserterOnRandomTablesAndDecodesBack)
{
    std::mt19937_64 random(41);
    int unmappedSeen = 0;
    int bestBelowLongest = 0;
    for (int round = 0; round < 400; ++round) {
        const testing::RandomTableCase c = testing::MakeRandomTableCase(random);
        SCOPED_TRACE(c.file + "|" + c.script);
        const GameTableLoad load = ReadGameTable(c.file, TextEncoding::Utf8);
        ASSERT_TRUE(load.faults.empty());
        const testing::ModelEncoding expected = testing::InsertByLongestMatch(c.script, c.entries);
        auto result = EncodeScript(c.script, load.table);
        const auto best = GameEncoder(load.table).BestParseBytes(c.script);
        const auto expectedBest = testing::BestSplitBytes(c.script, c.entries);
        ASSERT_EQ(best.has_value(), expectedBest.has_value());
        if (best) {
            EXPECT_EQ(*best, static_cast<std::int64_t>(*expectedBest));
        }
        bestBelowLongest +=
            best && !expected.unmappedAt && *best < static_cast<std::int64_t>(expected.bytes.size());
        if (expected.unmappedAt) {
            ++unmappedSeen;
            ASSERT_TRUE(std::holds_alternative<UnmappedText>(result));
            EXPECT_EQ(std::get<UnmappedText>(result).offset, static_cast<std::int64_t>(*expected.unmappedAt));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<GameText>(result));
        const auto& encoded = std::get<GameText>(result);
        ASSERT_EQ(encoded.bytes, expected.bytes);
        std::vector<std::size_t> starts;
        std::vector<std::size_t> breaks;
        encoded.characterMap.ForEachWindow(1, 0, encoded.bytes.size(), false,
                                           [&](std::size_t begin, std::size_t) {
                                               starts.push_back(begin);
                                               if (encoded.characterMap.IsBreak(begin)) {
                                                   breaks.push_back(begin);
                                               }
                                           });
        EXPECT_EQ(starts, expected.characterStarts);
        EXPECT_EQ(breaks, expected.breakStarts);
        EXPECT_EQ(DecodeGameText(encoded, load.table, 0, encoded.bytes.size()), c.script);
        // Pieces split at a line end and appended one after the other give the same encoding.
        const std::size_t split = c.script.find('\n') + 1;
        GameText pieces;
        const GameEncoder encoder(load.table);
        ASSERT_FALSE(encoder.Append(std::string_view(c.script).substr(0, split), pieces).has_value());
        ASSERT_FALSE(encoder.Append(std::string_view(c.script).substr(split), pieces).has_value());
        EXPECT_EQ(pieces.bytes, encoded.bytes);
        EXPECT_EQ(pieces.characterMap.Characters(), encoded.characterMap.Characters());
        // Every window of whole characters decodes to the script text of those characters and holds
        // no half character.
        encoded.characterMap.ForEachWindow(
            3, 0, encoded.bytes.size(), true, [&](std::size_t begin, std::size_t end) {
                const std::string text = DecodeGameText(encoded, load.table, begin, end);
                EXPECT_FALSE(ValidateText(text, TextEncoding::Utf8).has_value());
                EXPECT_NE(c.script.find(text), std::string::npos);
                EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
            });
    }
    EXPECT_GT(unmappedSeen, 10); // some scripts hit a missing longer text whose pieces do not serve
    EXPECT_LT(unmappedSeen, 300);
    EXPECT_GT(bestBelowLongest, 0); // the best parse must beat longest match now and then
}

// The savings sizes: any byte may stay as it is. Entries cut from anywhere in the text, so that some cross
// stretch ends or hold line ends, which no entry may match across; texts listed twice with other codes;
// code sizes of -1 to 2.
TEST(GameEncoder, SavingsSizesAndParsesMatchTheModel)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const std::vector<std::string> owned = testing::RandomStretches(rng, "abc", 30);
        const std::vector<std::string_view> stretches(owned.begin(), owned.end());
        std::string text;
        for (const std::string& stretch : owned) {
            text += stretch;
        }
        std::vector<std::string> texts;
        for (std::size_t i = rng() % 8; i > 0 && !text.empty(); --i) {
            texts.push_back(text.substr(rng() % text.size(), 1 + rng() % 5));
        }
        std::vector<CodedEntry> entries;
        for (const std::string& e : texts) {
            entries.push_back({e, static_cast<int>(rng() % std::min<std::size_t>(4, e.size() + 1)) - 1});
        }
        SCOPED_TRACE(::testing::PrintToString(stretches));
        EXPECT_EQ(testing::CheckEncoders(stretches, entries), "");
    }
}

} // namespace
} // namespace kestrin
