// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "text/entry_trie.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin {

// The size of the stretches encoded with the entries: a matched entry costs its code bytes, any other
// byte (CR and LF too) 1. Entries never match across a stretch end or a line end.
// Longest match: at each position the longest entry that matches there, else one byte.
[[nodiscard]] std::int64_t EncodeLongestMatch(std::span<const std::string_view> stretches,
                                              std::span<const CodedEntry> entries);
// Best parse: the smallest size that any split of the text into entries and single bytes reaches.
[[nodiscard]] std::int64_t EncodeBestParse(std::span<const std::string_view> stretches,
                                           std::span<const CodedEntry> entries);

// One of the two encodings with its parse, for checking it: pieces in text order, each an index into
// entries or -1 for one byte that stays as it is.
enum class ParseRule { LongestMatch, BestParse };
struct Encoding {
    std::int64_t bytes = 0;
    std::vector<std::int32_t> pieces;
};
[[nodiscard]] Encoding EncodeWithParse(std::span<const std::string_view> stretches,
                                       std::span<const CodedEntry> entries, ParseRule rule);

namespace savings {

// One encoding; pieces, when given, receive the parse. Returns -1 when the cancel flag, when given, is
// set.
[[nodiscard]] std::int64_t EncodeText(std::span<const std::string_view> stretches,
                                      std::span<const CodedEntry> entries, ParseRule rule,
                                      std::vector<std::int32_t>* pieces, const CancelFlag* cancel);

// The size by longest match with the first counts[i] entries, for each i: the exact points of the
// savings curve. One pass over the text: each line's matches are found once, with every entry, and each
// count then parses the line over the entries below it. Returns nothing when the cancel flag is set.
[[nodiscard]] std::vector<std::int64_t> EncodePrefixes(std::span<const std::string_view> stretches,
                                                       std::span<const CodedEntry> entries,
                                                       std::span<const std::size_t> counts,
                                                       const CancelFlag* cancel);

} // namespace savings
} // namespace kestrin
