// SPDX-License-Identifier: MIT
#pragma once

// A slow, literal second implementation of one analysis run, written straight from the rules the report
// follows and shared with the engine only through the settings and status types. The engine's tests compare
// the engine with it; it must never call an engine function.

#include "kestrin/run_analysis.h"
#include "kestrin/run_settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::literal {

// Everything a run shows, writes or tells its host, in a form that tests can compare.
struct ModelOutcome {
    RunStatus status = RunStatus::Completed;
    std::string report;                    // Completed: the whole report, elapsed time written 00:00:00
    std::optional<std::string> tableBlock; // Completed with an output table: the bytes appended
    std::optional<std::string> reportFile; // Completed with a report file: its whole new content
    bool resetTopResults = false;          // the request text was not numeric and became "25"
    bool clearedUseComments = false;       // an empty custom begin text switched comments off
    bool warned = false;                   // more than ten sample lengths
    bool asked = false;                    // a sample length over 200
    RunCounters counters;
};

// Runs the analysis on the files named in the settings, answering the long-length question with
// answerYes. Reads the input files and the exclusion table but writes nothing.
[[nodiscard]] ModelOutcome RunLiteralModel(const RunSettings& settings, bool answerYes);

// A numeric text split into sign, whole digits (no leading zeros) and fraction digits (no trailing
// zeros), so that huge decimals keep their exact value. Hex texts become their decimal value.
struct Number {
    bool negative = false;
    std::string whole;
    std::string fraction;
};
[[nodiscard]] std::optional<Number> ReadNumber(std::string_view text);

// The number of the last result line for a request, given the number of different strings.
[[nodiscard]] std::int64_t LastPosition(const Number& request, std::int64_t distinctStrings);

// Comma-separated values and "-" ranges as the sample-length and range boxes read them.
[[nodiscard]] std::vector<std::int16_t> ParseNumberList(std::string_view text);

// The entry texts of a table file, in file order.
[[nodiscard]] std::vector<std::string> ReadTableEntries(std::string_view content);

// A code as it is written to a table file: 16-bit upper-case hex, at least two digits.
[[nodiscard]] std::string TableCode(std::int16_t value);

} // namespace kestrin::literal
