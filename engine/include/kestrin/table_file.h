// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/file_error.h"
#include "kestrin/report.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// The texts of the entry lines of a table file, in file order, duplicates kept. Lines end at CR LF
// or at a lone CR (a lone LF is an ordinary character). An entry line starts with a hex digit (either
// case) and holds an "="; its text is everything after the first "=". Other lines are ignored.
[[nodiscard]] std::vector<std::string> ReadTableEntries(std::string_view content);

// Reads the exclusion table file; a file that cannot be read gives its error.
struct ExclusionLoad {
    std::vector<std::string> entries;
    std::optional<FileError> error;
};
[[nodiscard]] ExclusionLoad LoadExclusionTable(const std::filesystem::path& path);

// A code as written to a table: upper-case hex of the 16-bit value, one digit widened to two.
[[nodiscard]] std::string FormatTableCode(std::int16_t value);

// Whether a text may stand in a table file's entry line: a CR or an LF would split the line.
[[nodiscard]] bool FitsTableLine(std::string_view text);

// The codes of a table file's entry lines (the hex digits before the "="), as 16-bit values, in file
// order; entry lines whose code is not all hex digits, or too long for 32 bits, are passed over. Every
// CR and every LF ends a line.
[[nodiscard]] std::vector<std::int16_t> ReadTableCodes(std::string_view content);

// What a run appends to its output table, and what the host should hear about it.
struct TableAppend {
    std::string block;
    std::vector<std::optional<std::int16_t>> codes; // per result: the code written for it, if any
    std::vector<std::size_t> splitting;             // results not written for holding a CR or an LF
    // The first code written that the file already held, as far as `existing` shows it. Advisory only:
    // it changes nothing that is written (see PlanTableAppendToFile).
    std::optional<std::int16_t> repeatedCode;
};

// The block for the results and codes, checked against the table file as it is now: `existing` is its
// content, or nothing when it is missing or cannot be read.
[[nodiscard]] TableAppend PlanTableAppend(const std::vector<ResultEntry>& results,
                                          const std::vector<std::int16_t>& codes,
                                          std::optional<std::string_view> existing);

// PlanTableAppend against the file at `path` as it is now. The file is read without the lock that the
// append takes (AppendToFile), before the report is built and long before the append: a block that another
// run appends in between is not looked at, so repeatedCode may miss a code that the append repeats.
[[nodiscard]] TableAppend PlanTableAppendToFile(const std::vector<ResultEntry>& results,
                                                const std::vector<std::int16_t>& codes,
                                                const std::filesystem::path& path);

} // namespace kestrin
