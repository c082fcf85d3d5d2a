// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/file_error.h"
#include "kestrin/run_settings.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// Skip codes that the filters write over a result's hits, in the order the filters run.
namespace skip_mark {
inline constexpr std::int64_t space = -256;
inline constexpr std::int64_t carriageReturnLineFeed = -64;
inline constexpr std::int64_t tab = -128;
inline constexpr std::int64_t tableValue = -32;
} // namespace skip_mark

// One ranked result: its text and hit count, or a skip code once a filter has marked it.
struct ResultEntry {
    std::string text;
    std::int64_t hits = 0;
    // The space the result saves, when it is not length times hits (the real-savings choice).
    std::optional<std::int64_t> totalSpace;
    // Counting through a game table: the game's bytes of the text, which hex and len show (and total
    // space multiplies); otherwise the text's own bytes are.
    std::optional<std::string> gameBytes;
    // With kept entries (keepTable): the entry was in the dictionary from the start, and the result line
    // ends with "; kept".
    bool kept = false;

    bool operator==(const ResultEntry&) const = default;
};

[[nodiscard]] bool IsSkipMark(std::int64_t hits);

struct ReportHeader {
    std::vector<std::filesystem::path> inputFiles;
    std::int64_t totalCharacters = 0;
    std::int64_t countedCharacters = 0;
    std::int64_t distinctStrings = 0;
    std::vector<std::int16_t> sampleLengths; // sorted
    std::int64_t elapsedSeconds = 0;
};

// "HH:MM:SS" with the hours taken modulo 24; a negative span shows as 00:00:00.
[[nodiscard]] std::string FormatElapsed(std::int64_t seconds);

// Whole seconds between two instants, each taken to the whole second.
[[nodiscard]] std::int64_t WholeSecondsBetween(std::chrono::system_clock::time_point start,
                                               std::chrono::system_clock::time_point end);

// Bytes as the report's hex shows them: two upper-case hex digits each, "E381".
[[nodiscard]] std::string HexOf(std::string_view bytes);

// Bytes as the hosts' messages show them: two upper-case hex digits each, separated by spaces, "E3 81";
// past 32 bytes " ..." stands for the rest.
[[nodiscard]] std::string SpacedHexOf(std::string_view bytes);

// A text (a table line, a box's content) as a message quotes it: a control byte (below 0x20, or 0x7F) as
// \xHH, and a text of more than 80 bytes cut at the start of a character and ended by
// "... (N bytes)", so that a line of megabytes or one holding terminal escapes makes a short, plain message.
[[nodiscard]] std::string ShownText(std::string_view text);

// One result line without its CR LF: "p:--skipped ...--" or "p: total space = ...; len = n", and
// "; kept" after that for a kept entry.
[[nodiscard]] std::string FormatResultLine(std::int64_t position, const ResultEntry& result);

// One line per result, numbered from 0, every line ended by CR LF.
[[nodiscard]] std::string BuildResultLines(const std::vector<ResultEntry>& results);

// What the real-savings choice adds after the result lines: the text's size encoded with the chosen
// entries, and the entries' own size.
struct EncodedSizes {
    std::int64_t longestMatch = 0; // M
    std::int64_t bestParse = 0;    // K
    std::int64_t text = 0;         // N
    std::int64_t table = 0;        // T: the entries' bytes, each its length and the overhead
    std::int64_t entries = 0;      // E
    // Set when the ranges ran out before the choice could take this many entries (R): E got a code.
    std::optional<std::int64_t> entriesAsked;
    std::int64_t entryOverhead = 0; // O: the bytes each entry takes beyond its text, counted in T

    bool operator==(const EncodedSizes&) const = default;
};

// What is wrong with an entry of a table that a run judges (evaluateTable).
enum class EntryProblem {
    Unused,          // the text is never encoded with it
    HoldsLineEnd,    // its text holds a CR, an LF or an end-of-string code, which no match crosses
    SplitsCharacter, // its text is not whole characters of the encoding or of the game table
    SameText,        // an earlier entry (firstLine) has its text, and wins
    RepeatedCode,    // an earlier entry (firstLine) has its code
    GameTableCode,   // its code is a code of the game table, begins one or is begun by one
    NoText,          // it stands for no text
};

// One entry of a judged table, in file order.
struct EvaluatedEntry {
    std::int64_t line = 0;              // in the table file, from 1
    std::string code;                   // the code's bytes, 1 to 4
    std::string text;                   // as the table file has it, in the encoding
    std::string gameBytes;              // the text through the game table; without one, the text's own bytes
    std::int64_t longestMatchUses = 0;  // encoding by longest match
    std::int64_t longestMatchSaved = 0; // what those uses save against the text without the entry
    std::int64_t bestParseUses = 0;     // in the best parse
    std::vector<EntryProblem> problems;
    std::int64_t firstLine = 0; // SameText, RepeatedCode: the line of the entry that wins

    bool operator==(const EvaluatedEntry&) const = default;
};

// What is wrong with an entry in the report's words: "never used", "same text as line 4, which wins".
[[nodiscard]] std::string DescribeProblem(EntryProblem problem, std::int64_t firstLine);

// One line per judged entry in file order, each ended by CR LF: "line L: code = C; string = S; hex = H;
// len = n; uses = U; saved = V; best parse uses = B", the code and hex in upper-case hex and len the
// game bytes, then, when something is wrong with it, "; problems: " and each problem's description
// joined by ", ". A string holding a NUL shows as "--string not displayable--", as in a result line.
[[nodiscard]] std::string BuildEvaluationLines(const std::vector<EvaluatedEntry>& entries);

// "Encoded size: M bytes by longest match, K bytes by best parse, from N bytes" and
// "Table size: T bytes in E entries" (with an overhead, ", O bytes of overhead each" follows,
// "byte" for 1), each
// ended by CR LF; when the ranges ran out, then
// "Codes: the ranges gave codes for E entries, fewer than the R asked for".
[[nodiscard]] std::string BuildSizeLines(const EncodedSizes& sizes);
// The line that follows the size lines when the game table gives no newline code: the sizes hold no line
// end, as the game stores none.
[[nodiscard]] std::string BuildUnstoredLineEndsLine();

// The header lines and the empty line that stand above the result lines, every line ended by CR LF.
[[nodiscard]] std::string BuildReportHeader(const ReportHeader& header);

// The whole report: header, empty line, result lines.
[[nodiscard]] std::string BuildReport(const ReportHeader& header, const std::vector<ResultEntry>& results);

// What the results box shows: the report itself up to 32767 characters, else the first 32000 characters
// between two truncation notices. In UTF-8 the cut moves back to the start of the character it would
// fall in.
[[nodiscard]] std::string TruncateForDisplay(std::string_view report,
                                             TextEncoding encoding = TextEncoding::Latin1);

// What a report file holds: the whole report followed by one more CR LF.
[[nodiscard]] std::string ReportFileContent(std::string_view report);

// What lies at the report file's path before a run replaces it.
enum class ReportFileCheck {
    Replaceable, // nothing, an empty file, something other than a regular file (a device, a pipe), or
                 // an earlier report, whose first line starts with "Filename:"
    NotAReport,  // a regular file that does not start as every report does: a script named by a slip
    Unreadable,  // a regular file that cannot be read, so whether it is a report cannot be told
};
[[nodiscard]] ReportFileCheck CheckReportFile(const std::filesystem::path& path);

} // namespace kestrin
