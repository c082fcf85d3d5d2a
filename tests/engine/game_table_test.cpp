// SPDX-License-Identifier: MIT
#include "text/game_table.h"
#include "text/line_ends.h"
#include "text/text_encoding.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kestrin {
namespace {

using namespace std::string_literals;

TEST(GameTable, ReadsCodesTagsAndEndCodesAndReportsEachBadLine)
{
    const std::string file = "\xEF\xBB\xBF"        // a byte-order mark, then LF line ends
                             "41=A\n"              // 1
                             "8801=\xE6\xBC\xA2\n" // 2: a 2-byte code for a kanji
                             "fe=<LINE>\r\n"       // 3: a tag, lower-case hex, CR LF
                             "/FF=<END>\r"         // 4: an end code, lone CR
                             "/00\n"               // 5: an end code that names no text
                             "0A==x y\n"           // 6: the text after the first "="
                             "ABCDEF01=ffi\n"      // 7: a 4-byte code, a ligature
                             "# a comment and an empty line are no entries\n"
                             "$90=2\n" // 9: a linked entry, not modelled: its code is used

                             "\n"
                             "4=x\n"          // 11: odd digits
                             "41 =B\n"        // 12: a space in the code
                             "0102030405=x\n" // 13: five bytes
                             "4G=x\n"         // 14
                             "42\n"           // 15: no "="
                             "43=\n"          // 16: no text
                             "/=x\n"          // 17: an end code without a code
                             "41=C\n"         // 18: code 41 again
                             "50=A\n"         // 19: text "A" again
                             "/41=D";         // 20: an end code cannot take 41 either
    const GameTableLoad load = ReadGameTable(file, TextEncoding::Utf8);
    ASSERT_FALSE(load.invalidText.has_value());
    const std::vector<GameTableEntry> entries = {{"A", "A", false, 1},
                                                 {"\x88\x01", "\xE6\xBC\xA2", false, 2},
                                                 {"\xFE", "<LINE>", false, 3},
                                                 {"\xFF", "<END>", true, 4},
                                                 {"\x00"s, "", true, 5},
                                                 {"\x0A", "=x y", false, 6},
                                                 {"\xAB\xCD\xEF\x01", "ffi", false, 7},
                                                 {"\x90", "", false, 9}};
    EXPECT_EQ(load.table.Entries(), entries);
    using F = TableFaultKind;
    const std::vector<TableLineFault> faults = {{11, F::BadCode, "4=x"},          {12, F::BadCode, "41 =B"},
                                                {13, F::BadCode, "0102030405=x"}, {14, F::BadCode, "4G=x"},
                                                {15, F::MissingText, "42"},       {16, F::MissingText, "43="},
                                                {17, F::BadCode, "/=x"}};
    EXPECT_EQ(load.faults, faults);
    // A table a run wrote spells its codes 100 to FFF with three digits: read as the bytes they were
    // priced at.
    const std::vector<GameTableEntry> written = {{"\x01\x04", "x", false, 1}, {"\x0A", "y", false, 2}};
    EXPECT_EQ(ReadGameTable("104=x\nA=y\n", TextEncoding::Utf8, TableTextCheck::WholeFile, CodeDigits::Number)
                  .table.Entries(),
              written);
    using D = TableDuplicateKind;
    const std::vector<TableDuplicate> duplicates = {{18, D::Code, 1}, {19, D::Text, 1}, {20, D::Code, 1}};
    EXPECT_EQ(load.duplicates, duplicates);
    EXPECT_EQ(load.unmodelled, (std::vector<std::pair<std::int64_t, std::string>>{{9, "$90=2"}}));
    EXPECT_FALSE(load.utf8Mark);
    EXPECT_TRUE(ReadGameTable(file, TextEncoding::Latin1).utf8Mark); // UTF-8 is probably meant
    EXPECT_EQ(load.table.FindCode("\x88\x01")->text, "\xE6\xBC\xA2");
    EXPECT_EQ(load.table.FindCode("\x88"), nullptr);
    EXPECT_EQ(load.table.FindText("A")->line, 1);
    EXPECT_EQ(load.table.FirstCodeWithCodePrefix(), nullptr);
    GameTable prefixed = load.table;
    prefixed.Add({"\xAB\xCD", "x"});
    prefixed.Add({"\x88", "y"});
    EXPECT_EQ(prefixed.FirstCodeWithCodePrefix()->line, 2); // 8801 after 88; ABCDEF01 after ABCD
}

// The newline code: "*HEX" (with "=text" also an entry), or "HEX=\n", which stays an entry of the text
// backslash-n; the first newline line wins, a later one with another code is listed, and every code named
// counts as used (it is in the table, standing for no text when no entry has it).
TEST(GameTable, ReadsTheFirstNewlineCodeInEitherSpelling)
{
    struct Case {
        std::string file;
        std::optional<std::string> newline;
        std::int64_t newlineLine;
        std::vector<std::int64_t> others;
        std::vector<GameTableEntry> entries; // after 41=A on line 1
    };
    const Case cases[] = {
        {"41=A\n*FE\n", "\xFE", 2, {}, {{"\xFE", "", false, 2}}},
        {"41=A\r\n*ff01=<BR>\r\n*FE\r\n*FF01\r\n",
         "\xFF\x01",
         2,
         {3},
         {{"\xFF\x01", "<BR>", false, 2}, {"\xFE", "", false, 3}}},
        {"41=A\nFE=\\n\n*FD\n", "\xFE", 2, {3}, {{"\xFE", "\\n", false, 2}, {"\xFD", "", false, 3}}},
        // A text of an earlier line: the code is still used. A repeated "\n" is no newline line.
        {"41=A\n*FE=A\nFD=\\n\nFC=\\n\n",
         "\xFE",
         2,
         {3},
         {{"\xFE", "", false, 2}, {"\xFD", "\\n", false, 3}}},
        {"41=A\n/FE=\\n\n42=\\\\n\n*F\n",
         std::nullopt,
         0,
         {},
         {{"\xFE", "\\n", true, 2}, {"B", "\\\\n", false, 3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const GameTableLoad load = ReadGameTable(c.file, TextEncoding::Utf8);
        EXPECT_EQ(load.table.NewlineCode(), c.newline);
        EXPECT_EQ(load.newlineLine, c.newlineLine);
        EXPECT_EQ(load.otherNewlineCodes, c.others);
        std::vector<GameTableEntry> entries = {{"A", "A", false, 1}};
        entries.insert(entries.end(), c.entries.begin(), c.entries.end());
        EXPECT_EQ(load.table.Entries(), entries);
        EXPECT_TRUE(load.faults.empty());
        EXPECT_EQ(load.unmodelled.size(), c.file.ends_with("*F\n") ? 1U : 0U); // "*F" names no code
    }
}

// A table not valid in its encoding reads nothing (the refusal names its line and offset: see the text
// runs' refusals). The same bytes are Latin-1 text, where a byte-order mark is three characters of a comment.
TEST(GameTable, ReadsNothingFromAFileThatIsNotValidInItsEncoding)
{
    const std::string file = "\xEF\xBB\xBF"
                             "41=A\r\n42=\xE9t\xE9\r\n";
    EXPECT_TRUE(ReadGameTable(file, TextEncoding::Utf8).table.Entries().empty());
    const GameTableLoad latin1 = ReadGameTable(file, TextEncoding::Latin1);
    EXPECT_FALSE(latin1.invalidText.has_value());
    EXPECT_EQ(latin1.table.Entries(), (std::vector<GameTableEntry>{{"B", "\xE9t\xE9", false, 2}}));
}

TEST(TableLineReader, SplitsLinesByEachFormatsLineEnds)
{
    using Lines = std::vector<std::string_view>;
    struct Case {
        std::string_view content;
        Lines crLfCrOrLf; // the game and exclusion tables
        Lines eachCrOrLf; // the output table's codes
        bool loneLineFeed;
    };
    const Case cases[] = {
        {"", {}, {}, false},
        {"a\r\nb", {"a", "b"}, {"a", "", "b"}, false},
        {"a\nb", {"a", "b"}, {"a", "b"}, true},
        {"a\rb", {"a", "b"}, {"a", "b"}, false},
        {"a\r\n", {"a"}, {"a", ""}, false},
        {"\n", {""}, {""}, true},
        {"\r\r\n", {"", ""}, {"", "", ""}, false},
        {"a\n\rb\r", {"a", "", "b"}, {"a", "", "b"}, true},
        {"\r\n\r\nx\n", {"", "", "x"}, {"", "", "", "", "x"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(std::string(c.content)));
        for (const auto& [ends, expected] :
             {std::pair(LineEnds::CrLfCrOrLf, c.crLfCrOrLf), std::pair(LineEnds::EachCrOrLf, c.eachCrOrLf)}) {
            TableLineReader reader(c.content, ends);
            Lines lines;
            while (const auto line = reader.Next()) {
                lines.push_back(*line);
            }
            EXPECT_EQ(lines, expected) << "rule " << static_cast<int>(ends);
        }
        EXPECT_EQ(HoldsLoneLineFeed(c.content), c.loneLineFeed);
        // The line of each byte, as a fault names it, follows the same line ends: a line end is on the
        // line it ends, and an offset just past a last line end is on a line of its own.
        std::vector<std::size_t> laterLineStarts; // of the lines after the first
        TableLineReader reader(c.content, LineEnds::CrLfCrOrLf);
        while (const auto line = reader.Next()) {
            if (line->data() > c.content.data()) {
                laterLineStarts.push_back(static_cast<std::size_t>(line->data() - c.content.data()));
            }
        }
        if (!c.content.empty() && IsLineEnd(c.content.back())) {
            laterLineStarts.push_back(c.content.size());
        }
        for (std::size_t offset = 0; offset <= c.content.size(); ++offset) {
            const auto line = std::count_if(laterLineStarts.begin(), laterLineStarts.end(),
                                            [&](std::size_t at) { return at <= offset; });
            EXPECT_EQ(LineOfOffset(c.content, offset), line + 1) << "offset " << offset;
        }
    }
}

// The search for line ends eight bytes at a time, with a line end at each place of a word and the search
// starting and stopping at each; and the pieces a script is cut into.
TEST(LineEnds, FindsTheFirstLineEndAndCutsPiecesAfterOne)
{
    for (const char lineEnd : {'\r', '\n'}) {
        for (std::size_t at = 0; at <= 20; ++at) {
            std::string text(20, '\x8D'); // a byte that differs from CR and LF by one bit
            if (at < text.size()) {
                text[at] = lineEnd;
            }
            for (std::size_t from = 0; from <= 9; ++from) {
                for (const std::size_t limit : {from, from + 7, from + 8, from + 9, std::size_t{20}}) {
                    const std::size_t expected = at >= from && at < limit ? at : limit;
                    EXPECT_EQ(NextLineEnd(text, from, limit), expected) << at << " " << from << " " << limit;
                }
            }
            EXPECT_EQ(HoldsLineEnd(text), at < 20);
        }
    }
    struct Case {
        std::string_view text;
        std::size_t at;
        std::size_t end; // of a piece of about 3 bytes
    };
    const Case cases[] = {
        {"abc", 0, 3},      {"abcd", 0, 4},    {"abcd\ne", 0, 5}, {"ab\ncd\ne", 0, 6},   {"abc\r\nd", 0, 5},
        {"ab\r\ncd", 0, 4}, {"abc\rde", 0, 4}, {"abc\r", 0, 4},   {"x\nabcd\nyy", 2, 7}, {"x\nabc", 2, 5},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PieceEnd(c.text, c.at, 3), c.end) << ::testing::PrintToString(std::string(c.text));
    }
}

} // namespace
} // namespace kestrin
