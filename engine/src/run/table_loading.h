// SPDX-License-Identifier: MIT
#pragma once

#include "run/resolved_settings.h"

#include "kestrin/number_list.h"

#include <filesystem>
#include <variant>
#include <vector>

namespace kestrin {

// The game table, read and checked: refused when it is not valid in the encoding, holds a line that is
// no entry, holds no entry, has a text too long, or has a code that begins with another whole code; a
// file error when it cannot be read. The lines it reads otherwise than they are written go to `notes`.
[[nodiscard]] std::variant<GameTable, EarlyEnd>
LoadGameTable(const std::filesystem::path& path, TextEncoding encoding, std::vector<GameTableNote>& notes);

// The table a run judges instead of counting, every line of it that names a code.
[[nodiscard]] std::variant<std::vector<GameTableEntry>, EarlyEnd>
LoadEvaluatedTable(const std::filesystem::path& path, TextEncoding encoding);

// The table of kept entries into `resolved.kept`, after the game table; the output table's codes then
// leave the kept codes out, reading on from `ranges` (where the run's first codes ended) for as many more
// codes as there are kept entries.
[[nodiscard]] StepEnd LoadKeptEntries(const RunSettings& settings, ResolvedSettings& resolved,
                                      NumberListReader& ranges);

} // namespace kestrin
