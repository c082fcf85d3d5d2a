// SPDX-License-Identifier: MIT
// The report: its header, the result lines, the encoded sizes of real savings, the text of the report
// file, and whether a file may be replaced by a report.

#include "kestrin/report.h"

#include "text/text_encoding.h"

#include <fstream>

namespace kestrin {
namespace {

constexpr std::string_view lineEnd = "\r\n";
constexpr std::size_t displayLimit = 32767;
constexpr std::size_t displayKept = 32000;
constexpr std::string_view truncationNotice = "--Report truncated because size is too great for text box. To "
                                              "remedy this situation, reduce the number of "
                                              "results to be shown that aren't really relevant anyway.--";

std::string_view SkipText(std::int64_t hits)
{
    switch (hits) {
    case skip_mark::space:
        return "--skipped for containing a space--";
    case skip_mark::tab:
        return "--skipped for containing a tab--";
    case skip_mark::carriageReturnLineFeed:
        return "--skipped for containing a carriage return linefeed--";
    case skip_mark::tableValue:
        return "--skipped for containing a table value--";
    default:
        return {};
    }
}

void AppendTwoDigits(std::string& out, std::int64_t value)
{
    out += static_cast<char>('0' + value / 10);
    out += static_cast<char>('0' + value % 10);
}

} // namespace

bool IsSkipMark(std::int64_t hits)
{
    return !SkipText(hits).empty();
}

std::string FormatElapsed(std::int64_t seconds)
{
    if (seconds < 0) {
        seconds = 0;
    }
    std::string text;
    AppendTwoDigits(text, (seconds / 3600) % 24);
    text += ':';
    AppendTwoDigits(text, (seconds / 60) % 60);
    text += ':';
    AppendTwoDigits(text, seconds % 60);
    return text;
}

std::int64_t WholeSecondsBetween(std::chrono::system_clock::time_point start,
                                 std::chrono::system_clock::time_point end)
{
    using std::chrono::floor;
    using std::chrono::seconds;
    return (floor<seconds>(end) - floor<seconds>(start)).count();
}

std::string HexOf(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(2 * bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

std::string SpacedHexOf(std::string_view bytes)
{
    constexpr std::size_t most = 32;
    std::string hex;
    for (std::size_t i = 0; i < std::min(bytes.size(), most); ++i) {
        hex += i == 0 ? "" : " ";
        hex += HexOf(bytes.substr(i, 1));
    }
    return bytes.size() > most ? hex + " ..." : hex;
}

std::string ShownText(std::string_view text)
{
    constexpr std::size_t most = 80;
    std::size_t kept = std::min(text.size(), most);
    // A UTF-8 character is not cut (a Latin-1 text loses at most three characters more).
    while (kept < text.size() && kept > 0 && IsContinuation(static_cast<unsigned char>(text[kept]))) {
        --kept;
    }
    std::string shown;
    for (const char c : text.substr(0, kept)) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? "\\x" + HexOf(std::string_view(&c, 1)) : std::string(1, c);
    }
    if (kept < text.size()) {
        shown += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return shown;
}

std::string FormatResultLine(std::int64_t position, const ResultEntry& result)
{
    std::string line = std::to_string(position) + ":";
    if (const std::string_view skip = SkipText(result.hits); !skip.empty()) {
        line += skip;
        return line;
    }
    // Through a game table the game's bytes differ from the text's; otherwise they are the text's.
    const std::string& bytes = result.gameBytes ? *result.gameBytes : result.text;
    const auto length = static_cast<std::int64_t>(bytes.size());
    line += " total space = " + std::to_string(result.totalSpace.value_or(length * result.hits));
    line += "; hits = " + std::to_string(result.hits);
    if (result.text.find('\0') != std::string::npos) {
        line += "; --string not displayable--";
    } else {
        line += "; string = ";
        line += result.text;
    }
    line += "; hex = " + HexOf(bytes);
    line += "; len = " + std::to_string(length);
    if (result.kept) {
        line += "; kept";
    }
    return line;
}

std::string BuildResultLines(const std::vector<ResultEntry>& results)
{
    std::string lines;
    for (std::size_t position = 0; position < results.size(); ++position) {
        lines += FormatResultLine(static_cast<std::int64_t>(position), results[position]);
        lines += lineEnd;
    }
    return lines;
}

std::string DescribeProblem(EntryProblem problem, std::int64_t firstLine)
{
    switch (problem) {
    case EntryProblem::Unused:
        return "never used";
    case EntryProblem::HoldsLineEnd:
        return "holds a line end or an end code";
    case EntryProblem::SplitsCharacter:
        return "not whole characters";
    case EntryProblem::SameText:
        return "same text as line " + std::to_string(firstLine) + ", which wins";
    case EntryProblem::RepeatedCode:
        return "code repeated from line " + std::to_string(firstLine);
    case EntryProblem::GameTableCode:
        return "code clashes with the game table";
    case EntryProblem::NoText:
        return "no text";
    }
    return {};
}

std::string BuildEvaluationLines(const std::vector<EvaluatedEntry>& entries)
{
    std::string lines;
    for (const EvaluatedEntry& entry : entries) {
        lines += "line " + std::to_string(entry.line) + ": code = " + HexOf(entry.code);
        if (entry.text.find('\0') != std::string::npos) {
            lines += "; --string not displayable--";
        } else {
            lines += "; string = ";
            lines += entry.text;
        }
        lines += "; hex = " + HexOf(entry.gameBytes) + "; len = " + std::to_string(entry.gameBytes.size());
        lines += "; uses = " + std::to_string(entry.longestMatchUses) +
                 "; saved = " + std::to_string(entry.longestMatchSaved) +
                 "; best parse uses = " + std::to_string(entry.bestParseUses);
        for (std::size_t i = 0; i < entry.problems.size(); ++i) {
            lines += i == 0 ? "; problems: " : ", ";
            lines += DescribeProblem(entry.problems[i], entry.firstLine);
        }
        lines += lineEnd;
    }
    return lines;
}

std::string BuildSizeLines(const EncodedSizes& sizes)
{
    std::string lines = "Encoded size: " + std::to_string(sizes.longestMatch) + " bytes by longest match, " +
                        std::to_string(sizes.bestParse) + " bytes by best parse, from " +
                        std::to_string(sizes.text) + " bytes";
    lines += lineEnd;
    lines += "Table size: " + std::to_string(sizes.table) + " bytes in " + std::to_string(sizes.entries) +
             " entries";
    if (sizes.entryOverhead != 0) {
        lines += ", " + std::to_string(sizes.entryOverhead) +
                 (sizes.entryOverhead == 1 ? " byte" : " bytes") + " of overhead each";
    }
    lines += lineEnd;
    if (sizes.entriesAsked) {
        lines += "Codes: the ranges gave codes for " + std::to_string(sizes.entries) +
                 " entries, fewer than the " + std::to_string(*sizes.entriesAsked) + " asked for";
        lines += lineEnd;
    }
    return lines;
}

std::string BuildUnstoredLineEndsLine()
{
    return "Line ends: not stored, as the game table gives no newline code" + std::string(lineEnd);
}

std::string BuildReportHeader(const ReportHeader& header)
{
    std::string text;
    for (const auto& file : header.inputFiles) {
        text += "Filename:";
        text += file.string();
        text += lineEnd;
    }
    text += "Total characters: " + std::to_string(header.totalCharacters) +
            "     Characters actually counted: " + std::to_string(header.countedCharacters);
    text += lineEnd;
    text += "Number of different strings: " + std::to_string(header.distinctStrings) +
            "    Sample lengths requested:";
    for (const std::int16_t length : header.sampleLengths) {
        text += std::to_string(length) + " ";
    }
    text += lineEnd;
    text += "Elapsed time: " + FormatElapsed(header.elapsedSeconds);
    text += lineEnd;
    text += lineEnd;
    return text;
}

std::string BuildReport(const ReportHeader& header, const std::vector<ResultEntry>& results)
{
    return BuildReportHeader(header) + BuildResultLines(results);
}

std::string TruncateForDisplay(std::string_view report, TextEncoding encoding)
{
    if (report.size() <= displayLimit) {
        return std::string(report);
    }
    std::size_t kept = displayKept;
    while (encoding == TextEncoding::Utf8 && kept > 0 &&
           IsContinuation(static_cast<unsigned char>(report[kept]))) {
        --kept; // report[kept] continues a sequence that starts before the cut
    }
    std::string shown;
    shown.reserve(displayKept + 2 * truncationNotice.size() + 4 * lineEnd.size());
    shown += truncationNotice;
    shown += lineEnd;
    shown += lineEnd;
    shown += report.substr(0, kept);
    shown += lineEnd;
    shown += lineEnd;
    shown += truncationNotice;
    return shown;
}

std::string ReportFileContent(std::string_view report)
{
    std::string content;
    content.reserve(report.size() + lineEnd.size());
    content += report;
    content += lineEnd;
    return content;
}

ReportFileCheck CheckReportFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || std::filesystem::file_size(path, error) == 0) {
        return ReportFileCheck::Replaceable;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        return ReportFileCheck::Unreadable;
    }
    constexpr std::string_view reportStart = "Filename:"; // every report opens with it
    std::string start(reportStart.size(), '\0');
    file.read(start.data(), static_cast<std::streamsize>(start.size()));
    if (file.bad()) {
        return ReportFileCheck::Unreadable;
    }
    return start == reportStart ? ReportFileCheck::Replaceable : ReportFileCheck::NotAReport;
}

} // namespace kestrin
