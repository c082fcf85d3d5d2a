// SPDX-License-Identifier: MIT
#pragma once

// Cases that the engine and the literal model are both held to (tests/model/differential_test.cpp runs
// each table against both, and kestrin-cli's test runs the command on the runs), and that the random
// cases draw settings from.

#include "test_support.h"

#include "kestrin/report.h"
#include "kestrin/run_analysis.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrin::testing {

using namespace std::string_literals;

struct ListCase {
    std::string text;
    std::vector<std::int16_t> values;
};
// Number lists as the sample-length and range boxes read them. "-" always starts a range, whose missing
// or non-numeric ends are 1 and 2 ("-4", "1-2-3", "32768-3"); only spaces are trimmed; values are
// rounded half to even and must fit in 16 bits; hex of five to eight digits is a 32-bit value.
inline const ListCase numberListCases[] = {
    {"1,3-5,7", {1, 3, 4, 5, 7}},
    {" 2 , 4 ", {2, 4}},
    {"1 - 3", {1, 2, 3}},
    {"5,1,3,3", {5, 1, 3, 3}},
    {"-4", {1, 2, 3, 4}},
    {"1-", {1, 2}},
    {"3-", {}},
    {"6-4", {}},
    {"a,1~3,2", {2}},
    {"1-2-3", {1, 2}},
    {"1,-2", {1, 1, 2}},
    {"1--3", {}},
    {"2.5,3.5", {2, 4}},
    {"+3,.5,7.", {3, 0, 7}},
    {"&H10-&H12,&hff", {16, 17, 18, 255}},
    {"&HFFFF", {-1}},
    {"&HFFFE-&HFFFF", {-2, -1}},
    {"&H7FFE-&H8001", {}},
    {"&H8000", {-32768}},
    {"&H10000", {}},
    {"&H0FFFF", {}},
    {"&H00001", {1}},
    {"&HFFFFFFFF", {-1}},
    {"&H000000001", {}},
    {"", {}},
    {"1,,2,", {1, 2}},
    {"1 2", {}},
    {"\t1,1e3", {}},
    {"32767", {32767}},
    {"32768", {}},
    {"32767.5", {}},
    {"32766.5", {32766}},
    {"32765-32767", {32765, 32766, 32767}},
    {"32768-3", {1, 2, 3}},
    {"1-99999", {1, 2}},
    {"-32768.5", {1, 2}},
};

struct LastCase {
    std::string request;
    std::int64_t distinct;
    std::int64_t last;
};
// The number of the last result line for a request and a number of different strings: -1 when nothing
// was counted.
inline const LastCase lastPositionCases[] = {
    {"25", 100, 25},
    {"25", 26, 25},
    {"25", 25, 24},
    {"0", 10, 0},
    {"25.5", 26, 26},
    {"24.5", 100, 24},
    {"-1", 10, -1},
    {"-0.4", 10, 0},
    {"-0.5", 10, 0},
    {"-0.6", 10, -1},
    {"-0", 10, 0},
    {"-0.4", 0, -1},
    {"&HFFFF", 10, -1},
    {"&H0FFFF", 10, 9},
    {"&H10000", 70000, 65536},
    {"&HFFFFFFFF", 9, -1},
    {"99999999999999999999999", 7, 6},
    {"99999999999999999999.5", 3, 2},
    {"0.5000000000000000000001", 10, 1},
    {"2.4999999999999999999", 10, 2},
    {"-99999999999999999999", 10, -1},
};
inline const std::string notNumeric[] = {"",   " ",   "abc", "+",   "-",           ".",   "- 1",  "1 2",
                                         "&H", "&HG", "$5",  "1e3", "&H123456789", "\t1", "1,000"};

struct TopCase {
    std::string request;
    std::size_t lines;
    bool reset = false; // not numeric: the run uses "25" and tells its host
};
// Requests in a run with 27 different strings: A to Z twice each, then the filler once. 26.6 rounds to 27,
// past the last string: the 28th line is the empty result.
inline const TopCase topCases[] = {
    {"abc", 26, true}, {"", 26, true}, {"1e3", 26, true}, {"0", 1},           {"-1", 0},
    {"-0.5", 1},       {"-0.6", 0},    {"0.5", 1},        {"2.5", 3},         {"3.5", 5},
    {"&H3", 4},        {"&HFFFF", 0},  {" 7. ", 8},       {"1.5", 3},         {"25.5", 27},
    {"1000", 27},      {"26.6", 28},   {"-0", 1},         {"9999999999", 27}, {"25", 26},
};

struct TableReadCase {
    std::string content;
    std::vector<std::string> entries;
};
// The entries of a table file. A line ends at CR LF, a lone CR or a lone LF.
inline const TableReadCase tableReadCases[] = {
    {"41=A", {"A"}},
    {"8140=ab cd", {"ab cd"}},
    {"ff=x", {"x"}},
    {"FF=", {""}},
    {"0A==x", {"=x"}},
    {"abc=def", {"def"}},
    {"0g=x", {"x"}},
    {"g1=x", {}},
    {"=x", {}},
    {"41", {}},
    {" 41=A", {}},
    {"", {}},
    {"*0A=y\r/FF=z\r\n", {}},
    {"41=A\r\n\r\n42=B\r43=C\r\n", {"A", "B", "C"}},
    {"41=a\r\r\n42=b", {"a", "b"}},
    {"41=a\n42=b\n", {"a", "b"}}, // lines that end at a lone LF
};

inline const std::pair<std::int16_t, std::string> codeCases[] = {
    {0, "00"},      {10, "0A"},      {255, "FF"},      {256, "100"}, {4095, "FFF"},
    {4096, "1000"}, {32767, "7FFF"}, {-32768, "8000"}, {-1, "FFFF"},
};

// What a run is given: small files and the settings that differ from their start values.
struct Given {
    std::vector<std::string> files; // the input files' contents, in order
    std::string lengths = "1";
    std::string request = "25";
    std::optional<CommentStyle> comments; // count outside (or inside) comments of this style
    std::string begin, end;               // the custom style's delimiters
    bool inside = false;
    bool space = false, crlf = false, tab = false; // the skip filters
    std::optional<std::string> exclusion;          // the exclusion table's content
    std::string ranges;                            // the output table's codes
    bool yes = true;                               // the answer to the question about a long length
};
// What it must show and write. The runner points the report file and (with a block) the output table
// at files that hold "old".
struct Expected {
    RunStatus status = RunStatus::Completed;
    std::optional<Refusal> refusal;
    std::optional<std::int64_t> counted, distinct;
    std::vector<ResultEntry> results;
    std::optional<std::string> block; // appended to the output table
    std::string events;               // the engine's calls to its host, as RecordingObserver writes them
};
struct RunCase {
    Given given;
    Expected expect;
};

// The settings of a run as given, with its files in the folder: in0, in1... and ex.tbl, the report file
// report.txt and, when a block is expected, the output table out.tbl.
inline RunSettings SettingsFor(const RunCase& c, const TempDir& dir)
{
    const Given& in = c.given;
    RunSettings settings{.sampleLengths = in.lengths,
                         .topResults = in.request,
                         .useComments = in.comments.has_value(),
                         .commentStyle = in.comments.value_or(CommentStyle::C),
                         .beginComment = in.begin,
                         .endComment = in.end,
                         .readInsideComments = in.inside,
                         .ignoreSpace = in.space,
                         .ignoreReturn = in.crlf,
                         .ignoreTab = in.tab,
                         .reportFile = dir.Path() / "report.txt",
                         .writeTableRanges = in.ranges};
    for (std::size_t i = 0; i < in.files.size(); ++i) {
        settings.inputFiles.push_back(dir.Write("in" + std::to_string(i), in.files[i]));
    }
    if (in.exclusion) {
        settings.exclusionTable = dir.Write("ex.tbl", *in.exclusion);
    }
    if (c.expect.block) {
        settings.outputTable = dir.Path() / "out.tbl";
    }
    return settings;
}

using enum CommentStyle;
namespace skip = skip_mark;

inline const RunCase countingCases[] = {
    {{.files = {"abcab"}, .lengths = "2"},
     {.counted = 5, .distinct = 4, .results = {{"ab", 2}, {"bc", 1}, {"b\0"s, 1}, {"ca", 1}}}},
    {{.files = {"aaaab"}, .lengths = "2"},
     {.counted = 5, .distinct = 3, .results = {{"aa", 3}, {"ab", 1}, {"b\0"s, 1}}}},
    // An empty file is handled once.
    {{.files = {""}, .lengths = "1,3"},
     {.counted = 1, .distinct = 2, .results = {{"\0\0\0"s, 1}, {"\0"s, 1}}}},
    {{.files = {"aA\xff"}},
     {.counted = 4, .distinct = 4, .results = {{"\0"s, 1}, {"A", 1}, {"a", 1}, {"\xff", 1}}}},
    // Ties go to the shorter length, then the lower first byte (a before b), then the string met first (ab).
    {{.files = {"baba"}, .lengths = "2,1"},
     {.counted = 4, .distinct = 5, .results = {{"ba", 2}, {"a", 2}, {"b", 2}, {"ab", 1}, {"a\0"s, 1}}}},
    // The last byte starts no window beside longer ones.
    {{.files = {"0123456789"}, .lengths = "1-3", .request = "0"},
     {.counted = 9, .distinct = 27, .results = {{"012", 1}}}},
    // Length 0 gives empty strings that never rank; a length listed twice counts twice.
    {{.files = {"a"}, .lengths = "0,1"},
     {.counted = 2, .distinct = 4, .results = {{"\0"s, 1}, {"a", 1}, {"", -1}, {"", -1}}}},
    {{.files = {"aa"}, .lengths = "1,1"},
     {.counted = 3, .distinct = 4, .results = {{"a", 2}, {"a", 2}, {"\0"s, 1}, {"\0"s, 1}}}},
    // Windows never join files.
    {{.files = {"ab", "cd"}, .lengths = "2"},
     {.counted = 4, .distinct = 4, .results = {{"ab", 1}, {"b\0"s, 1}, {"cd", 1}, {"d\0"s, 1}}}},
    {{.files = {"ab/*cd*/efgh"}, .comments = C},
     {.counted = 5, .distinct = 5, .results = {{"a", 1}, {"b", 1}, {"e", 1}, {"f", 1}, {"g", 1}}}},
    {{.files = {"ab/*cd*/efgh"}, .comments = C, .inside = true},
     {.counted = 2, .distinct = 2, .results = {{"c", 1}, {"d", 1}}}},
    // Touching comments: the position after a delimiter is not tested.
    {{.files = {"/*a*//*b*/xy"}, .comments = C},
     {.counted = 6, .distinct = 4, .results = {{"*", 2}, {"/", 1}, {"b", 1}, {"x", 1}}}},
    // An empty comment does not close.
    {{.files = {"/**/ab*/cde"}, .comments = C},
     {.counted = 2, .distinct = 2, .results = {{"c", 1}, {"d", 1}}}},
    {{.files = {"//\r\nab\r\ncd"}, .comments = Cpp}, {.counted = 1, .distinct = 1, .results = {{"c", 1}}}},
    // A comment stays open into the next file.
    {{.files = {"ab/*cd", "ef*/gh"}, .comments = C},
     {.counted = 3, .distinct = 3, .results = {{"a", 1}, {"b", 1}, {"g", 1}}}},
    // Custom delimiters match case; an empty end means CR LF.
    {{.files = {"remREMab"}, .comments = Custom, .begin = "REM"},
     {.counted = 3, .distinct = 3, .results = {{"e", 1}, {"m", 1}, {"r", 1}}}},
    // Windows stop before the next delimiter.
    {{.files = {"xyz/*"}, .lengths = "1-4", .comments = C},
     {.counted = 1, .distinct = 3, .results = {{"xyz", 1}, {"xy", 1}, {"x", 1}}}},
    {{.files = {"a<$b>c"}, .comments = Thingy},
     {.counted = 2, .distinct = 2, .results = {{"a", 1}, {"c", 1}}}},
    {{.files = {"ab<cd>ef"}, .comments = Custom, .begin = "<", .end = ">"},
     {.counted = 4, .distinct = 4, .results = {{"a", 1}, {"b", 1}, {"e", 1}, {"f", 1}}}},
    // An empty custom begin text counts everything.
    {{.files = {"ab"}, .comments = Custom, .end = "x"},
     {.counted = 3,
      .distinct = 3,
      .results = {{"\0"s, 1}, {"a", 1}, {"b", 1}},
      .events = "clear-use-comments"}},
    {{.files = {"ab"}, .comments = Custom, .inside = true},
     {.counted = 0, .distinct = 0, .events = "clear-use-comments"}},
    {{.files = {"abc"}, .comments = C, .inside = true}, {.counted = 0, .distinct = 0}},
    // The NUL filler past the end of a file completes a delimiter at the last position searched: the
    // last byte of a file, and (an empty file) the filler alone.
    {{.files = {"b"}, .comments = Custom, .begin = "b\0"s}, {.counted = 0, .distinct = 0}},
    {{.files = {"a#b", ""}, .comments = Custom, .begin = "#", .end = "\0"s},
     {.counted = 2, .distinct = 2, .results = {{"\0"s, 1}, {"a", 1}}}},
};

struct LengthCase {
    std::string lengths;
    bool yes = true; // the answer to the question about a long length
    RunStatus status = RunStatus::Completed;
    std::optional<Refusal> refusal;
    std::string events;
};
using Reason = Refusal::Reason;
// Sample-length lists that draw the warning (duplicates count) or the question, or that no run can use.
inline const LengthCase sampleLengthCases[] = {
    {.lengths = "1-10"},
    {.lengths = "1-11", .events = "warn:11"},
    {.lengths = "2,2,2,2,2,2,2,2,2,2,2", .events = "warn:11"},
    {.lengths = "200"},
    {.lengths = "201", .events = "ask:201"},
    {.lengths = "201", .yes = false, .status = RunStatus::Declined, .events = "ask:201"},
    {.lengths = "195-210", .yes = false, .status = RunStatus::Declined, .events = "warn:16 ask:210"},
    {.lengths = "0,300", .yes = false, .status = RunStatus::Declined, .events = "ask:300"},
    {.lengths = "0,1"},
    {.lengths = "", .status = RunStatus::Refused, .refusal = Refusal{}},
    {.lengths = "abc", .status = RunStatus::Refused, .refusal = Refusal{}},
    {.lengths = ",", .status = RunStatus::Refused, .refusal = Refusal{}},
    {.lengths = "3-1", .status = RunStatus::Refused, .refusal = Refusal{}},
    {.lengths = "0", .status = RunStatus::Refused, .refusal = Refusal{.reason = Reason::OnlyZeroLength}},
    {.lengths = "0,0", .status = RunStatus::Refused, .refusal = Refusal{.reason = Reason::OnlyZeroLength}},
    {.lengths = "&HFFFF,300",
     .status = RunStatus::Refused,
     .refusal = Refusal{.reason = Reason::NegativeSampleLength, .length = -1}},
    {.lengths = "0-11,&HFFFE",
     .status = RunStatus::Refused,
     .refusal = Refusal{.reason = Reason::NegativeSampleLength, .length = -2}},
};

// The skip filters, each on a text that stands twice in the input and so ranks first.
inline const RunCase skipCases[] = {
    {{.files = {"a ba b"}, .lengths = "3", .request = "0", .space = true},
     {.results = {{"a b", skip::space}}}},
    {{.files = {"a ba b"}, .lengths = "3", .request = "0"}, {.results = {{"a b", 2}}}},
    // Tab wins over space.
    {{.files = {"a \ta \t"}, .lengths = "3", .request = "0", .space = true, .tab = true},
     {.results = {{"a \t", skip::tab}}}},
    {{.files = {"\na\r\na\r"}, .lengths = "3", .request = "0", .crlf = true},
     {.results = {{"\na\r", skip::carriageReturnLineFeed}}}},
    // A CR alone is kept.
    {{.files = {"a\rba\rb"}, .lengths = "3", .request = "0", .crlf = true}, {.results = {{"a\rb", 2}}}},
    // A table value wins over a space.
    {{.files = {" t t"}, .lengths = "2", .request = "0", .space = true, .exclusion = "41=A\r\n8140= t\r\n"},
     {.results = {{" t", skip::tableValue}}}},
    // A table value wins over a tab.
    {{.files = {"q\trq\tr"}, .lengths = "3", .request = "0", .tab = true, .exclusion = "00=q\tr"},
     {.results = {{"q\tr", skip::tableValue}}}},
    // A line that is no entry excludes nothing.
    {{.files = {"x yx y"}, .lengths = "3", .request = "0", .exclusion = "zz=x y\r\n"},
     {.results = {{"x y", 2}}}},
    // The empty result counts as listed in any table, even an empty one.
    {{.files = {"a"}, .request = "1.5", .exclusion = ""},
     {.results = {{"\0"s, 1}, {"a", 1}, {"", skip::tableValue}}}},
};

// Blocks appended to the output table; "aaa  b" ranks a, space, the filler, b.
inline const std::vector<ResultEntry> aaabRanked{{"a", 3}, {" ", 2}, {"\0"s, 1}, {"b", 1}};
inline const RunCase tableBlockCases[] = {
    {{.files = {"aaa  b"}, .ranges = "&H80-&H82"},
     {.results = aaabRanked, .block = "\r\n80=a\r\n81= \r\n82=\0\r\n"s}},
    // A skipped result leaves its code unused.
    {{.files = {"aaa  b"}, .space = true, .ranges = "&H80-&H82"},
     {.results = {{"a", 3}, {" ", skip::space}, {"\0"s, 1}, {"b", 1}}, .block = "\r\n80=a\r\n82=\0\r\n"s}},
    {{.files = {"aaa  b"}, .ranges = "1-10"},
     {.results = aaabRanked, .block = "\r\n01=a\r\n02= \r\n03=\0\r\n04=b\r\n"s}},
    {{.files = {"aaa  b"}}, {.results = aaabRanked, .block = "\r\n"}},
    {{.files = {"aaa  b"}, .ranges = "&HFFFE-&HFFFF"},
     {.results = aaabRanked, .block = "\r\nFFFE=a\r\nFFFF= \r\n"}},
    {{.files = {"aaa"}, .request = "-1", .ranges = "1-5"}, {.block = "\r\n"}},
    // A result holding a CR or an LF would split the table's lines: its code stays unused.
    {{.files = {"a\rb\ra\n"}, .ranges = "&H80-&H85"},
     {.results = {{"\r", 2}, {"a", 2}, {"\0"s, 1}, {"\n", 1}, {"b", 1}},
      .block = "\r\n81=a\r\n82=\0\r\n84=b\r\n"s}},
    // The empty result gets no entry.
    {{.files = {"a"}, .request = "1.5", .ranges = "1-3"},
     {.results = {{"\0"s, 1}, {"a", 1}, {"", -1}}, .block = "\r\n01=\0\r\n02=a\r\n"s}},
    // A listed result leaves its code unused.
    {{.files = {"the cat the dog"},
      .lengths = "3",
      .request = "1",
      .space = true,
      .exclusion = "80=he \r\n",
      .ranges = "&H80-&H81"},
     {.results = {{"he ", skip::tableValue}, {"the", 2}}, .block = "\r\n81=the\r\n"}},
};

// Refusals of what cannot be read as the game's characters, and of a report file on one of the run's
// tables: the run that draws each (script.txt holds the script, game.tbl the table, x.tbl is the
// exclusion table), the refusal with its files by name, and what each host must name besides the
// refusal's values: kestrin-cli its options, the window its captions and the control it sends the user to.
struct CharacterRefusalCase {
    const char* name;
    TextEncoding encoding;
    std::optional<std::string> table;
    std::string script;
    Refusal refusal;
    std::vector<std::string> cli, window;
    const char* control = "";
    std::string dictionaryBytes{};
    std::string beginComment{}; // of the custom style; empty: no comments
    const char* reportFile = "report.txt";
    std::string entryOverhead{};
    std::string keep{};                     // the content of keep.tbl, the table of kept entries; empty: none
    std::optional<std::string> evaluated{}; // eval.tbl, the table to evaluate
    const char* preview = nullptr;          // the encoding preview's name
};
using enum TextEncoding;
using enum FileRole;
// clang-format off
inline const CharacterRefusalCase characterRefusalCases[] = {
    {"input not UTF-8", Utf8, std::nullopt, "ab\r\ncd\x80z",
     {.reason = Reason::InvalidText, .role = InputFile, .path = "script.txt", .text = "\x80", .line = 2,
      .offset = 6},
     {"the input file", "(--encoding utf-8)"}, {"an input file (Apri)", "UTF-8 (Codifica)"}, "cmbEncoding"},
    {"input cut short, with a table", Utf8, "41=a\n", "a\n\n\xE3\x81",
     {.reason = Reason::InvalidText, .role = InputFile, .path = "script.txt", .text = "\xE3\x81", .line = 3,
      .offset = 3},
     {"the input file", "(--encoding utf-8)"}, {"an input file (Apri)", "UTF-8 (Codifica)"}, "cmbEncoding"},
    {"table not UTF-8", Utf8, "41=\xE9\n", "a",
     {.reason = Reason::InvalidText, .role = GameTable, .path = "game.tbl", .text = "\xE9", .line = 1,
      .offset = 3},
     {"the game table (--game-table)", "(--encoding utf-8)"}, {"(Apri Tabella Caratteri)", "(Codifica)"},
     "cmdOpenGameTable"},
    {"unmapped", Utf8, "41=a\n8140=\xE6\xBC\xA2\nFE=<LINE>\n", "aa\na\xE6\xBC\xA2<LINE>\xC3\xA9<LIN",
     {.reason = Reason::UnmappedText, .role = InputFile, .path = "script.txt", .text = "\xC3\xA9<LIN",
      .line = 2, .column = 9, .offset = 13},
     {"the input file", "(--game-table)"}, {"an input file (Apri)", "(Apri Tabella Caratteri)"},
     "cmdOpenGameTable"},
    {"unmapped Latin-1", Latin1, "41=a\nE9=\xE9\n", "a\xE9\xE8",
     {.reason = Reason::UnmappedText, .role = InputFile, .path = "script.txt", .text = "\xE8", .line = 1,
      .column = 3, .offset = 2},
     {"the input file", "(--game-table)"}, {"an input file (Apri)", "(Apri Tabella Caratteri)"},
     "cmdOpenGameTable"},
    {"bad table line", Utf8, "41=a\n4=b\n", "a",
     {.reason = Reason::BadTableLine, .role = GameTable, .path = "game.tbl", .text = "4=b", .line = 2},
     {"the game table (--game-table)", "no entry (HEX=text)"},
     {"(Apri Tabella Caratteri)", "no entry (HEX=text)"},
     "cmdOpenGameTable"},
    {"code begins code", Utf8, "88=x\n41=a\n8801=y\n", "a",
     {.reason = Reason::CodeBeginsCode, .role = GameTable, .path = "game.tbl", .text = "8801", .line = 3,
      .otherLine = 1},
     {"the game table (--game-table)", "code 8801"}, {"(Apri Tabella Caratteri)", "code 8801"},
     "cmdOpenGameTable"},
    {"empty table", Utf8, "# nothing\n", "a",
     {.reason = Reason::NoGameCharacters, .role = GameTable, .path = "game.tbl"},
     {"the game table (--game-table)", "no entry"}, {"(Apri Tabella Caratteri)", "no entry"},
     "cmdOpenGameTable"},
    {"dictionary bytes", Utf8, std::nullopt, "abab", {.reason = Reason::BadDictionaryBytes, .text = "12k"},
     {"--dictionary-bytes", "whole number"}, {"Byte max", "whole number"}, "txtDictionaryBytes", "12k"},
    {"game table text too long", Utf8, "41=a\n42=" + std::string(300, 'b') + "\n", "a",
     {.reason = Reason::TableTextTooLong, .length = 300, .role = GameTable, .path = "game.tbl", .limit = 256,
      .line = 2},
     {"the game table (--game-table)", "at most 256"}, {"(Apri Tabella Caratteri)", "at most 256"},
     "cmdOpenGameTable"},
    {"dictionary bytes out of range", Latin1, std::nullopt, "abab",
     {.reason = Reason::BadDictionaryBytes, .text = "9223372036854775808", .limit = INT64_MAX},
     {"--dictionary-bytes", "out of range"}, {"Byte max", "out of range"}, "txtDictionaryBytes",
     "9223372036854775808"},
    {"dictionary bytes before the table", Utf8, "4=b\n", "a", {.reason = Reason::BadDictionaryBytes, .text = "12k"},
     {"--dictionary-bytes", "whole number"}, {"Byte max", "whole number"}, "txtDictionaryBytes", "12k"},
    {"entry overhead", Latin1, std::nullopt, "abab",
     {.reason = Reason::BadEntryOverhead, .text = "-2", .limit = 2147483647},
     {"--entry-overhead", "whole number", "2147483647"}, {"per voce", "whole number", "2147483647"},
     "txtEntryOverhead", "", "", "report.txt", "-2"},
    {"kept line no entry", Latin1, std::nullopt, "abab",
     {.reason = Reason::BadTableLine, .role = KeptTable, .path = "keep.tbl", .text = "8G=ab", .line = 2},
     {"the table of kept entries (--keep)", "no entry (HEX=text)"}, {"Voci da Tenere", "no entry"},
     "cmdOpenKeepTable", "", "", "report.txt", "", "80=ba\n8G=ab\n"},
    {"kept code repeated", Latin1, std::nullopt, "abab",
     {.reason = Reason::BadKeptEntry, .role = KeptTable, .path = "keep.tbl", .line = 3, .otherLine = 1,
      .problem = EntryProblem::RepeatedCode},
     {"(--keep)", "cannot be kept", "has its code"}, {"Voci da Tenere", "its code"},
     "cmdOpenKeepTable", "", "", "report.txt", "", "80=ba\n81=b\n80=ab\n"},
    {"kept code of the game", Utf8, "41=a\n62=b\n", "abab",
     {.reason = Reason::BadKeptEntry, .role = KeptTable, .path = "keep.tbl", .text = "ba", .line = 2,
      .problem = EntryProblem::GameTableCode},
     {"(--keep)", "cannot be kept", "code of the game table"}, {"Voci da Tenere", "clashes"},
     "cmdOpenKeepTable", "", "", "report.txt", "", "80=ab\n41=ba\n"},
    {"kept end code", Utf8, "41=a\n/FF=<E>\n", "aa",
     {.reason = Reason::BadKeptEntry, .role = KeptTable, .path = "keep.tbl", .text = "a<E>", .line = 1,
      .problem = EntryProblem::HoldsLineEnd},
     {"(--keep)", "\"a<E>\" holds a line end"}, {"Voci da Tenere", "line end"},
     "cmdOpenKeepTable", "", "", "report.txt", "", "80=a<E>\n"},
    {"delimiter not UTF-8", Utf8, std::nullopt, "abab", {.reason = Reason::InvalidDelimiter, .text = "<\xE3"},
     {"(--begin/--end)", "(--encoding utf-8)"}, {"(Inizio or Fine)", "Codifica"}, "txtBeginComment", "",
     "<\xE3"},
    {"report file on the game table", Utf8, "41=a\n", "a",
     {.reason = Reason::SameFile, .role = ReportFile, .otherRole = GameTable, .path = "game.tbl",
      .otherPath = "game.tbl"},
     {"the report file (-o)", "the game table (--game-table)"},
     {"(Apri file di Output)", "(Apri Tabella Caratteri)"},
     "cmdOpenOutput", "", "", "game.tbl"},
    {"report file on the exclusion table", Latin1, std::nullopt, "a",
     {.reason = Reason::SameFile, .role = ReportFile, .otherRole = ExclusionTable, .path = "x.tbl",
      .otherPath = "x.tbl"},
     {"the report file (-o)", "the exclusion table (-x)"},
     {"(Apri file di Output)", "(Apri Tabella di Esclusione)"},
     "cmdOpenOutput", "", "", "x.tbl"},
    {"bad line in the table to evaluate", Latin1, std::nullopt, "ab",
     {.reason = Reason::BadTableLine, .role = EvaluatedTable, .path = "eval.tbl", .text = "8 =b", .line = 2},
     {"the table to evaluate (--evaluate)", "no entry (HEX=text)"}, {"(Apri Tabella da Valutare)", "no entry (HEX=text)"},
     "cmdOpenEvaluateTable", "", "", "report.txt", "", "", "80=ab\r\n8 =b\r\n"},
    {"empty table to evaluate", Utf8, "41=a\n", "a",
     {.reason = Reason::EmptyTable, .role = EvaluatedTable, .path = "eval.tbl"},
     {"the table to evaluate (--evaluate)", "no entry"}, {"(Apri Tabella da Valutare)", "no entry"},
     "cmdOpenEvaluateTable", "", "", "report.txt", "", "", "# 80=ab\r\n"},
    {"encoding preview on the input", Latin1, std::nullopt, "ab",
     {.reason = Reason::SameFile, .role = EncodingPreview, .otherRole = InputFile, .path = "script.txt",
      .otherPath = "script.txt"},
     {"the encoding preview (--show-encoding)", "the input file"}, {"(Salva Anteprima Codifica)", "(Apri)"},
     "cmdOpenEncodingPreview", "", "", "report.txt", "", "", "80=ab\r\n", "script.txt"},
    {"encoding preview on a folder", Latin1, std::nullopt, "ab",
     {.reason = Reason::OutputIsFolder, .role = EncodingPreview, .path = "."},
     {"the encoding preview (--show-encoding)", "folder"}, {"(Salva Anteprima Codifica)", "folder"},
     "cmdOpenEncodingPreview", "", "", "report.txt", "", "", std::nullopt, "."},
};
// clang-format on

} // namespace kestrin::testing
