// SPDX-License-Identifier: MIT
#pragma once

// Plain models of reading text and of an inserter, written from the rules and apart from the engine's
// code, for the tests and the fuzzer to hold the engine's text code (engine/src/text/) to.

#include "kestrin/run_analysis.h"

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin::testing {

// The UTF-8 form of a code point (any value below 0x110000, surrogates included, for making faults).
[[nodiscard]] std::string Utf8Of(std::uint32_t codePoint);

// The offset of the first byte that is not part of a well-formed UTF-8 character, or nothing: read by
// decoding each character and checking its value and its shortest form.
[[nodiscard]] std::optional<std::size_t> FirstUtf8Fault(std::string_view text);

struct ModelEntry {
    std::string code;
    std::string text;
    bool stringEnd = false;
};

struct ModelEncoding {
    std::string bytes;
    std::vector<std::size_t> characterStarts; // byte offsets, in order
    std::vector<std::size_t> breakStarts;     // the line ends and end codes among them
    std::optional<std::size_t> unmappedAt;    // the script offset where no entry matched
};

// An inserter: at each position of the script, of the entries whose text starts there the longest
// (the first listed among equals; an entry whose code or text an earlier entry has is never used);
// CR and LF go out as themselves. Stops where nothing matches.
[[nodiscard]] ModelEncoding InsertByLongestMatch(std::string_view script,
                                                 const std::vector<ModelEntry>& table);

// The fewest bytes of any split of the script into entries (the first of each code and text) and
// line ends, tried every way from the end back; nothing when there is none.
[[nodiscard]] std::optional<std::size_t> BestSplitBytes(std::string_view script,
                                                        const std::vector<ModelEntry>& table);

// What the script's line ends take in the game beyond one byte per CR and per LF: CR LF, a lone CR and a
// lone LF are each one line end, which costs the newline code's bytes (nothing without one), or nothing
// when only line ends stand between it and the end code that ends the line before (by longest match).
[[nodiscard]] std::int64_t LineEndsOverBytes(std::string_view script, const std::vector<ModelEntry>& table,
                                             const std::optional<std::string>& newlineCode);

// The entries an inserter uses: the first of each code and of each text.
[[nodiscard]] std::vector<ModelEntry> UsedEntries(const std::vector<ModelEntry>& table);

// Without a game table: each UTF-8 character of the script as an entry that stands for itself.
[[nodiscard]] std::vector<ModelEntry> CharacterTable(std::string_view script);

// A string of whole characters as a plain count finds it.
struct ModelString {
    std::int64_t hits = 0;
    std::size_t column = 0; // its length less 1
    std::size_t first = 0;  // the character index of its first window
};

// Every window of 1 to `longest` characters of an encoding that holds no break, keyed by its game bytes.
[[nodiscard]] std::map<std::string, ModelString> CountWindows(const ModelEncoding& encoded,
                                                              std::size_t longest);

// A random game table over a few Latin, Cyrillic, kana and 4-byte characters, tags and ligatures, with
// 1- and 2-byte codes, end codes (often followed by line ends in the script), some duplicates, and in two
// tables of three a newline code ("*HEX", "*HEX=<BR>" or "HEX=\n"); and a script made of its texts.
struct RandomTableCase {
    std::vector<ModelEntry> entries;
    std::optional<std::string> newlineCode;
    std::string file;
    std::string script;
};

[[nodiscard]] RandomTableCase MakeRandomTableCase(std::mt19937_64& random);

// The model's ranking of the counted strings: game bytes times hits, then the earlier length, the lower
// first byte, the string met first; the first `count`.
[[nodiscard]] std::vector<std::string> ModelRanking(const std::map<std::string, ModelString>& counted,
                                                    std::size_t count);

// A run in the game's characters on one input, `script`, held to the model inserter that reads `table`
// (the game table's entries, or CharacterTable without one): text not valid UTF-8, or that no entry
// stands for, refuses it at the model's offset; any other refusal is allowed only when `tableMayFail`.
// Otherwise the number of different strings is the model's (when the lengths are 1 to some N), and every
// result is whole characters, with the model's hits and ranking, or with real savings
// the model's sizes of the script encoded through the table and the entries (read as one table: the game
// table first, entries of one character having no table to follow), within the dictionary bytes (each
// entry with its overhead), the line ends priced through the newline code (LineEndsOverBytes); the output
// table holds the entries as text, but for the kept ones first. Returns what differs from the model first,
// or "".
[[nodiscard]] std::string CheckTextRun(const RunSettings& settings, std::string_view script,
                                       const std::vector<ModelEntry>& table,
                                       const std::optional<std::string>& newlineCode, bool tableMayFail,
                                       const RunOutcome& outcome);

} // namespace kestrin::testing
