// SPDX-License-Identifier: MIT
// Table files: reading the values of an exclusion table, and the block of results appended to the output
// table with the codes of the ranges.

#include "kestrin/table_file.h"

#include "hex_digits.h"
#include "io/file_reading.h"
#include "text/line_ends.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <string>

namespace kestrin {
namespace {

bool IsEntryStart(char c)
{
    // Only the first character is tested; the rest of the code is never read.
    return HexDigitValue(c) >= 0;
}

// The value of a code of one to eight hex digits of either case, cut to its last four digits; nothing for
// any other code. Eight digits at most: none of them is lost before the cut.
std::optional<std::int16_t> TableCode(std::string_view code)
{
    const auto value = HexValue(code);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(*value));
}

} // namespace

std::vector<std::string> ReadTableEntries(std::string_view content)
{
    std::vector<std::string> entries;
    TableLineReader lines(content, LineEnds::CrLfCrOrLf);
    while (const auto line = lines.Next()) {
        if (!line->empty() && IsEntryStart(line->front())) {
            if (const auto equals = line->find('='); equals != std::string_view::npos) {
                entries.emplace_back(line->substr(equals + 1));
            }
        }
    }
    return entries;
}

ExclusionLoad LoadExclusionTable(const std::filesystem::path& path)
{
    auto content = ReadFileBytes(path);
    if (auto* error = std::get_if<FileError>(&content)) {
        return {{}, *error};
    }
    return {ReadTableEntries(std::get<FileBytes>(content).View()), std::nullopt};
}

std::string FormatTableCode(std::int16_t value)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    auto bits = static_cast<std::uint16_t>(value);
    std::string code;
    do {
        code.insert(code.begin(), digits[bits & 0xF]);
        bits = static_cast<std::uint16_t>(bits >> 4);
    } while (bits != 0);
    if (code.size() == 1) {
        code.insert(code.begin(), '0');
    }
    return code;
}

bool FitsTableLine(std::string_view text)
{
    return !HoldsLineEnd(text);
}

std::vector<std::int16_t> ReadTableCodes(std::string_view content)
{
    std::vector<std::int16_t> codes;
    TableLineReader lines(content, LineEnds::EachCrOrLf);
    while (const auto line = lines.Next()) {
        const std::size_t equals = line->find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        if (const auto code = TableCode(line->substr(0, equals))) {
            codes.push_back(*code);
        }
    }
    return codes;
}

TableAppend PlanTableAppend(const std::vector<ResultEntry>& results, const std::vector<std::int16_t>& codes,
                            std::optional<std::string_view> existing)
{
    TableAppend plan;
    plan.block = "\r\n";
    plan.codes.resize(results.size());
    const std::vector<std::int16_t> held = existing ? ReadTableCodes(*existing) : std::vector<std::int16_t>();
    const absl::flat_hash_set<std::int16_t> heldCodes(held.begin(), held.end());
    const std::size_t paired = std::min(results.size(), codes.size());
    for (std::size_t i = 0; i < paired; ++i) {
        // A skipped result leaves its code unused, so later results keep the codes of their ranks.
        if (results[i].hits < 0) {
            continue;
        }
        // A CR or an LF would split the entry line, and reading the table back would lose the CR.
        if (!FitsTableLine(results[i].text)) {
            plan.splitting.push_back(i);
            continue;
        }
        plan.block += FormatTableCode(codes[i]) + "=" + results[i].text + "\r\n";
        plan.codes[i] = codes[i];
        if (!plan.repeatedCode && heldCodes.contains(codes[i])) {
            plan.repeatedCode = codes[i];
        }
    }
    return plan;
}

TableAppend PlanTableAppendToFile(const std::vector<ResultEntry>& results,
                                  const std::vector<std::int16_t>& codes, const std::filesystem::path& path)
{
    std::optional<std::string_view> existing;
    std::variant<FileBytes, FileError> content = FileError{};
    std::error_code error;
    // A missing file holds no code; a device is not read, as reading it could wait for ever. A file that
    // cannot be read is checked against nothing: the append names the fault.
    if (std::filesystem::is_regular_file(path, error)) {
        content = ReadFileBytes(path);
        if (const auto* bytes = std::get_if<FileBytes>(&content)) {
            existing = bytes->View();
        }
    }
    return PlanTableAppend(results, codes, existing);
}

} // namespace kestrin
