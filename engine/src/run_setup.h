// SPDX-License-Identifier: MIT
#pragma once

#include "io/file_io.h"
#include "ranking.h"
#include "run_step.h"

#include "kestrin/number_list.h"
#include "kestrin/run_analysis.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kestrin {

// The bytes a code of the output table stands for, high byte first: two above &HFF (a code of three or
// four hex digits), else one.
[[nodiscard]] std::string TableCodeBytes(std::int16_t code);

// The codes of the output table's ranges, as a run uses them: for the table block, and in the savings mode
// for the bytes each entry costs.
struct TableCodes {
    bool ranged = false;             // the range text gives at least one code
    std::vector<std::int16_t> codes; // its first codes, as many as the request can ever use

    // The codes of the results 0 to count - 1, fewer when the ranges run out.
    [[nodiscard]] std::vector<std::int16_t> For(std::size_t count) const;
    // The number of bytes of the codes of the entries 0 to count - 1 (their TableCodeBytes); one byte
    // each without ranges. The list ends where the ranges run out.
    [[nodiscard]] std::vector<int> Bytes(std::size_t count) const;
    // The fewest bytes the code of any of the entries 0 to count - 1 takes; 0 when count is 0.
    [[nodiscard]] int Cheapest(std::size_t count) const;
};

// The request for results: the text used (as typed, or the default when that is not numeric).
struct ResultRequest {
    std::string text;
    NumericText value;
    bool replaced = false; // the typed text was not numeric: the host is told when the ranking uses it
    // The most results it can ever give, whatever the count.
    [[nodiscard]] std::size_t Most() const;
};

// The settings of a run, each read, parsed and checked once, when the run starts; the phases take
// what they need of it.
struct ResolvedSettings {
    std::vector<std::int16_t> listedLengths; // sorted, a length listed twice twice: the report and ranking
    std::vector<std::int16_t> lengths;       // sorted, each once: what is counted
    ResultRequest request;
    TableCodes codes;
    unsigned threads = 1;
    SkipRules skips;
    // Counting in the game's characters (UTF-8, or through a game table) rather than in bytes.
    bool inCharacters = false;
    // With real savings: the most game bytes the entries may take together.
    std::optional<std::int64_t> dictionaryBytes;
};

// Counting threads: 0 asks for one per core; more than a cap only add memory, as the work comes in
// few, large jobs.
[[nodiscard]] unsigned ResolveThreads(unsigned asked);

// The steps before anything is read: the file clash, the table codes of the savings mode, the sample
// lengths with the host's warning and question, the request, the threads, and the skip rules with the
// exclusion table (which is read here).
[[nodiscard]] std::variant<ResolvedSettings, EarlyEnd> ResolveSettings(const RunSettings& settings,
                                                                       RunObserver& observer);

// A look at every input (missing, unreadable or endless ones fail here, before any counting), and the
// refusal of inputs too long for the savings mode, from their sizes. countsWholeFiles: no comment filter
// leaves text out, so that the sizes are what the savings choice gets.
[[nodiscard]] std::variant<std::vector<FileLook>, EarlyEnd> LookAtInputs(const RunSettings& settings,
                                                                         bool countsWholeFiles);

} // namespace kestrin
