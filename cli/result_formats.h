// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_analysis.h"

#include <string>

namespace kestrin {

// The results of a completed run as records for scripts, in place of the report on standard output.
// Each record holds the rank, the string, its bytes in hex, its length, hits and total space, whether a
// filter skipped it and why, and the code it got in the output table; a skipped result has no hits and
// no total space. Strings are bytes: JSON shows each byte above 127 as the code point of the same
// value (Latin-1), TSV writes tabs, line ends, backslashes and every byte outside 32-126 as C escapes.

// A tab-separated table with a header line; with real savings, two closing lines start with "#" and
// give the encoded sizes and the table size.
[[nodiscard]] std::string FormatTsv(const RunOutcome& outcome);

// One JSON object: "results", an array of records, and with real savings "encoded_size" and
// "table_size".
[[nodiscard]] std::string FormatJson(const RunOutcome& outcome);

} // namespace kestrin
