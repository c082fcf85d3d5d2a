// SPDX-License-Identifier: MIT
#include "literal_model.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

namespace kestrin::literal {
namespace {

struct CountEntry {
    std::string text;
    std::int64_t hits = 0;
};

// One column per sample length, one bucket per first byte, entries in order of first meeting.
using CountTable = std::vector<std::array<std::vector<CountEntry>, 256>>;

std::string_view TrimSpaces(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view()
                                           : text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

// The number rounded half to even; nullopt when its magnitude needs more than 18 digits.
std::optional<std::int64_t> Rounded(const Number& number)
{
    if (number.whole.size() > 18) {
        return std::nullopt;
    }
    std::int64_t magnitude = number.whole.empty() ? 0 : std::stoll(number.whole);
    // Fractions have no trailing zeros, so "5" is exactly one half and anything sorting above it is more.
    if (number.fraction > "5" || (number.fraction == "5" && magnitude % 2 == 1)) {
        ++magnitude;
    }
    return number.negative ? -magnitude : magnitude;
}

std::optional<std::int16_t> ListValue(std::string_view text)
{
    const std::optional<Number> number = ReadNumber(text);
    if (!number) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> value = Rounded(*number);
    if (!value || *value < -32768 || *value > 32767) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(*value);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path)
{
    std::error_code error;
    std::ifstream in(path, std::ios::binary);
    if (!std::filesystem::is_regular_file(path, error) || !in.is_open()) {
        return std::nullopt;
    }
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() ? std::nullopt : std::optional(content);
}

// The bufferLength bytes at the 1-based position, NUL filler after the end of the file.
std::string ReadAt(const std::string& file, std::int64_t position, std::size_t bufferLength, bool& pastEnd)
{
    std::string buffer(bufferLength, '\0');
    const auto start = static_cast<std::size_t>(position - 1);
    for (std::size_t i = 0; i < bufferLength && start + i < file.size(); ++i) {
        buffer[i] = file[start + i];
    }
    pastEnd = start + bufferLength > file.size();
    return buffer;
}

void CountAtPosition(CountTable& table, const std::vector<std::int16_t>& lengths, const std::string& buffer,
                     const std::string& searchDelimiter, RunCounters& counters)
{
    const auto firstByte = static_cast<unsigned char>(buffer[0]);
    std::size_t delimiterOffset = 0;
    if (!searchDelimiter.empty()) {
        const std::size_t found = buffer.find(searchDelimiter);
        delimiterOffset = found == std::string::npos ? 0 : found + 1;
    }
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        const auto length = static_cast<std::size_t>(lengths[k]);
        if (delimiterOffset > 0 && length >= delimiterOffset) {
            break;
        }
        const std::string window = buffer.substr(0, length);
        std::vector<CountEntry>& bucket = table[k][firstByte];
        const auto found = std::find_if(bucket.begin(), bucket.end(),
                                        [&](const CountEntry& entry) { return entry.text == window; });
        if (found != bucket.end()) {
            ++found->hits;
        } else {
            bucket.push_back({window, 1});
            ++counters.distinctStrings;
        }
    }
    ++counters.countedCharacters;
}

std::int64_t TotalSpace(const CountEntry& entry)
{
    return static_cast<std::int64_t>(entry.text.size()) * entry.hits;
}

std::string HexForm(const std::string& text)
{
    std::string hex;
    for (const char c : text) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
        hex += digits;
    }
    return hex;
}

std::string ResultLine(std::int64_t position, const CountEntry& result)
{
    std::string line = std::to_string(position) + ":";
    const std::pair<std::int64_t, std::string> skips[] = {
        {-256, "a space"}, {-128, "a tab"}, {-64, "a carriage return linefeed"}, {-32, "a table value"}};
    for (const auto& [code, what] : skips) {
        if (result.hits == code) {
            return line + "--skipped for containing " + what + "--\r\n";
        }
    }
    line += " total space = " + std::to_string(TotalSpace(result));
    line += "; hits = " + std::to_string(result.hits);
    if (result.text.find('\0') != std::string::npos) {
        line += "; --string not displayable--";
    } else {
        line += "; string = " + result.text;
    }
    line += "; hex = " + HexForm(result.text);
    line += "; len = " + std::to_string(result.text.size()) + "\r\n";
    return line;
}

bool Contains(const std::string& text, char c)
{
    return text.find(c) != std::string::npos;
}

} // namespace

std::optional<Number> ReadNumber(std::string_view text)
{
    text = TrimSpaces(text);
    Number number;
    if (text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
        const std::string_view digits = text.substr(2);
        if (digits.empty() || digits.size() > 8 ||
            digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
            return std::nullopt;
        }
        const auto bits = static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
        const std::int64_t value = digits.size() <= 4
                                       ? static_cast<std::int16_t>(static_cast<std::uint16_t>(bits))
                                       : static_cast<std::int64_t>(static_cast<std::int32_t>(bits));
        number.negative = value < 0;
        if (value != 0) {
            number.whole = std::to_string(value < 0 ? -value : value);
        }
        return number;
    }
    std::size_t i = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        number.negative = text[0] == '-';
        i = 1;
    }
    bool point = false;
    bool anyDigit = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            (point ? number.fraction : number.whole) += c;
            anyDigit = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return std::nullopt;
        }
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    number.whole.erase(0, std::min(number.whole.find_first_not_of('0'), number.whole.size()));
    while (!number.fraction.empty() && number.fraction.back() == '0') {
        number.fraction.pop_back();
    }
    return number;
}

std::int64_t LastPosition(const Number& request, std::int64_t distinctStrings)
{
    if (distinctStrings == 0) {
        return -1; // nothing counted: no result lines, whatever the request
    }
    const bool belowZero = request.negative && !(request.whole.empty() && request.fraction.empty());
    bool belowCount = true;
    if (!belowZero) {
        // For a count n, x < n exactly when the whole part of x is below n.
        belowCount = request.whole.size() <= 18 &&
                     (request.whole.empty() ? 0 : std::stoll(request.whole)) < distinctStrings;
    }
    if (!belowCount) {
        return distinctStrings - 1;
    }
    return Rounded(request).value_or(-1); // only a huge negative text has no rounded value
}

std::vector<std::int16_t> ParseNumberList(std::string_view text)
{
    std::vector<std::int16_t> values;
    std::size_t p = 0; // 0-based start of the current item
    for (;;) {
        const std::size_t e = std::min(text.find(',', p), text.size());
        const std::size_t d = text.find('-', p);
        if (d != std::string_view::npos && d < e) {
            const std::int32_t low = ListValue(TrimSpaces(text.substr(p, d - p))).value_or(1);
            const std::int32_t high = ListValue(text.substr(d + 1, e - d - 1)).value_or(2);
            for (std::int32_t v = low; v <= high; ++v) {
                values.push_back(static_cast<std::int16_t>(v));
            }
        } else if (const auto value = ListValue(TrimSpaces(text.substr(p, e - p)))) {
            values.push_back(*value);
        }
        if (e >= text.size()) {
            return values;
        }
        p = e + 1;
    }
}

std::vector<std::string> ReadTableEntries(std::string_view content)
{
    std::vector<std::string> entries;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t cr = content.find_first_of("\r\n", start);
        const std::size_t end = cr == std::string_view::npos ? content.size() : cr;
        const std::string_view line = content.substr(start, end - start);
        if (cr == std::string_view::npos) {
            start = content.size();
        } else {
            start =
                content[cr] == '\r' && cr + 1 < content.size() && content[cr + 1] == '\n' ? cr + 2 : cr + 1;
        }
        if (line.empty()) {
            continue;
        }
        const bool hexStart =
            std::string_view("0123456789abcdefABCDEF").find(line[0]) != std::string_view::npos;
        const std::size_t equals = line.find('=');
        if (hexStart && equals != std::string_view::npos) {
            entries.emplace_back(line.substr(equals + 1));
        }
    }
    return entries;
}

std::string TableCode(std::int16_t value)
{
    char digits[8];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(static_cast<std::uint16_t>(value)));
    const std::string code = digits;
    return code.size() == 1 ? "0" + code : code;
}

ModelOutcome RunLiteralModel(const RunSettings& settings, bool answerYes)
{
    ModelOutcome outcome;

    // Sample lengths: parse, refuse what no run can use, warn, sort, ask.
    std::vector<std::int16_t> lengths = ParseNumberList(settings.sampleLengths);
    if (lengths.empty() || *std::min_element(lengths.begin(), lengths.end()) < 0 ||
        *std::max_element(lengths.begin(), lengths.end()) == 0) {
        outcome.status = RunStatus::Refused;
        return outcome;
    }
    outcome.warned = lengths.size() > 10;
    std::sort(lengths.begin(), lengths.end());
    if (lengths.back() > 200) {
        outcome.asked = true;
        if (!answerYes) {
            outcome.status = RunStatus::Declined;
            return outcome;
        }
    }

    CountTable table(lengths.size());

    // Slot 0 of the exclusion table holds no entry, and its empty text takes part in the comparison.
    std::vector<std::string> exclusion{""};
    if (settings.exclusionTable) {
        const std::optional<std::string> content = ReadWholeFile(*settings.exclusionTable);
        if (!content) {
            outcome.status = RunStatus::InputFailed;
            return outcome;
        }
        for (std::string& entry : ReadTableEntries(*content)) {
            exclusion.push_back(std::move(entry));
        }
    }

    // Comment set-up.
    bool useComments = settings.useComments;
    std::string beginDelimiter;
    std::string endDelimiter;
    bool outsideComment = true;
    bool skipText = false;
    if (useComments) {
        skipText = settings.readInsideComments;
        const std::string styles[][2] = {
            {"/*", "*/"},
            {"//", "\r\n"},
            {"<$", ">"},
            {settings.beginComment, settings.endComment.empty() ? "\r\n" : settings.endComment}};
        beginDelimiter = styles[static_cast<int>(settings.commentStyle)][0];
        endDelimiter = styles[static_cast<int>(settings.commentStyle)][1];
        if (beginDelimiter.empty()) { // the custom style without a begin text
            useComments = false;
            outcome.clearedUseComments = true;
            endDelimiter.clear();
        }
    }
    // A comment that ends at CR LF ends at a lone LF in a file whose lines end so.
    const std::string crLfEnd = endDelimiter;
    const bool endsAtLineEnd = useComments && endDelimiter == "\r\n" &&
                               (settings.commentStyle == CommentStyle::Cpp || settings.endComment.empty());
    bool anyLoneLineFeed = false;
    std::string searchDelimiter = beginDelimiter;
    const std::size_t bufferLength =
        static_cast<std::size_t>(lengths.back()) + std::max(beginDelimiter.size(), endDelimiter.size());

    // Reading: every position of every file, one positioned read each (two after a delimiter).
    RunCounters& counters = outcome.counters;
    for (const std::filesystem::path& path : settings.inputFiles) {
        const std::optional<std::string> file = ReadWholeFile(path);
        if (!file) {
            outcome.status = RunStatus::InputFailed;
            return outcome;
        }
        counters.totalCharacters += static_cast<std::int64_t>(file->size());
        bool loneLineFeed = false;
        for (std::size_t i = 0; i < file->size(); ++i) {
            loneLineFeed = loneLineFeed || ((*file)[i] == '\n' && (i == 0 || (*file)[i - 1] != '\r'));
        }
        anyLoneLineFeed = anyLoneLineFeed || loneLineFeed;
        if (endsAtLineEnd) {
            endDelimiter = loneLineFeed ? "\n" : crLfEnd;
            searchDelimiter = outsideComment ? beginDelimiter : endDelimiter;
        }
        std::int64_t position = 1;
        for (;;) {
            bool pastEnd = false;
            std::string buffer = ReadAt(*file, position, bufferLength, pastEnd);
            if (useComments && buffer.compare(0, searchDelimiter.size(), searchDelimiter) == 0) {
                skipText = !skipText;
                outsideComment = !outsideComment;
                position += static_cast<std::int64_t>(searchDelimiter.size());
                buffer = ReadAt(*file, position, bufferLength, pastEnd);
                searchDelimiter = outsideComment ? beginDelimiter : endDelimiter;
            }
            if (!skipText) {
                CountAtPosition(table, lengths, buffer, searchDelimiter, counters);
            }
            ++position;
            if (pastEnd) {
                break;
            }
        }
    }

    // Ranking: one full scan per result; a chosen entry gets the used marker -1.
    std::optional<Number> request = ReadNumber(settings.topResults);
    if (!request) {
        outcome.resetTopResults = true;
        request = ReadNumber("25");
    }
    const std::int64_t lastPosition = LastPosition(*request, counters.distinctStrings);
    std::vector<CountEntry> results;
    for (std::int64_t p = 0; p <= lastPosition; ++p) {
        CountEntry best{"", -1};
        CountEntry* bestAt = table[0][0].empty() ? nullptr : &table[0][0][0];
        for (auto& column : table) {
            for (auto& bucket : column) {
                for (CountEntry& entry : bucket) {
                    if (TotalSpace(entry) > TotalSpace(best)) {
                        best = entry;
                        bestAt = &entry;
                    }
                }
            }
        }
        results.push_back(best);
        if (bestAt != nullptr) {
            bestAt->hits = -1;
        }
    }

    // Skip filters, in this order: a later one's mark wins.
    for (CountEntry& result : results) {
        if (settings.ignoreSpace && Contains(result.text, ' ')) {
            result.hits = -256;
        }
        if (settings.ignoreReturn && Contains(result.text, '\n') &&
            (anyLoneLineFeed || Contains(result.text, '\r'))) {
            result.hits = -64;
        }
        if (settings.ignoreTab && Contains(result.text, '\t')) {
            result.hits = -128;
        }
        if (settings.exclusionTable &&
            std::find(exclusion.begin(), exclusion.end(), result.text) != exclusion.end()) {
            result.hits = -32;
        }
    }

    if (settings.outputTable) {
        const std::vector<std::int16_t> ranges = ParseNumberList(settings.writeTableRanges);
        std::string block = "\r\n";
        for (std::size_t i = 0; i < ranges.size() && i < results.size(); ++i) {
            // A CR or an LF would split the table's line: such a result keeps its code unused too.
            if (results[i].hits >= 0 && results[i].text.find_first_of("\r\n") == std::string::npos) {
                block += TableCode(ranges[i]) + "=" + results[i].text + "\r\n";
            }
        }
        outcome.tableBlock = block;
    }

    std::string& report = outcome.report;
    for (const std::filesystem::path& path : settings.inputFiles) {
        report += "Filename:" + path.string() + "\r\n";
    }
    report += "Total characters: " + std::to_string(counters.totalCharacters) +
              "     Characters actually counted: " + std::to_string(counters.countedCharacters) + "\r\n";
    report += "Number of different strings: " + std::to_string(counters.distinctStrings) +
              "    Sample lengths requested:";
    for (const std::int16_t length : lengths) {
        report += std::to_string(length) + " ";
    }
    report += "\r\nElapsed time: 00:00:00\r\n\r\n";
    for (std::size_t p = 0; p < results.size(); ++p) {
        report += ResultLine(static_cast<std::int64_t>(p), results[p]);
    }
    if (settings.reportFile) {
        outcome.reportFile = report + "\r\n";
    }
    outcome.status = RunStatus::Completed;
    return outcome;
}

} // namespace kestrin::literal
