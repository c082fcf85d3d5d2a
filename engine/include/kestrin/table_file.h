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

// The block a run appends: an empty line, then "code=text" for each unskipped result i that has a
// code i, every line ended by CR LF.
[[nodiscard]] std::string BuildTableBlock(const std::vector<ResultEntry>& results,
                                          const std::vector<std::int16_t>& codes);

// Appends the block of results to the table file, creating it when missing. The block is written
// whole or not at all as far as the system allows; a failure gives its error.
[[nodiscard]] std::optional<FileError> WriteOutputTable(const std::filesystem::path& path,
                                                        const std::vector<ResultEntry>& results,
                                                        std::string_view ranges);

} // namespace kestrin
