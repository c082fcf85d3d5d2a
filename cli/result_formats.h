// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_analysis.h"

#include <string>

namespace kestrin {

// The results of a completed run as records for scripts, in place of the report on standard output.
// Each record holds the rank, the string, its bytes in hex, its length, hits and total space, whether a
// filter skipped it and why, and the code it got in the output table; a skipped result has no hits and
// no total space. With kept entries (--keep), they come first, with the codes they have, and a last
// field tells them apart (TSV: "kept" or empty; JSON: "kept", true or false). With a game table, hex and len
// show the game's bytes (gameBytes) and the string its text. Strings are bytes in the run's encoding: in
// Latin-1, JSON shows each byte above 127 as the code point of the same value, and TSV writes tabs, line
// ends, backslashes and every byte outside 32-126 as C escapes; in UTF-8 both keep every well-formed
// multi-byte character as it is (JSON is UTF-8), and escape a byte that starts none as U+FFFD (JSON) or in
// octal (TSV).

// A tab-separated table with a header line; with real savings, two closing lines start with "#" and
// give the encoded sizes and the table size (with an entry overhead, that too).
[[nodiscard]] std::string FormatTsv(const RunOutcome& outcome, TextEncoding encoding);

// One JSON object: "results", an array of records, and with real savings "encoded_size" and
// "table_size" (with an entry overhead, its "overhead"); with the savings curve, "curve", its points in
// entry order ("entries", "script", "dictionary", and "exact": whether script was encoded or is the
// choice's running figure).
// A run that judged a table (outcome.evaluated) gives instead one record per entry line in file order:
// line, code (hex), string, hex and len (the game bytes), uses and saved (by longest match),
// best_parse_uses and problems (unused, line_end, splits_character, same_text:LINE,
// repeated_code:LINE, game_table_code, no_text; comma-separated in TSV, an array in JSON, under
// "entries"), then the sizes as above.
[[nodiscard]] std::string FormatJson(const RunOutcome& outcome, TextEncoding encoding);

} // namespace kestrin
