// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "text/entry_trie.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace kestrin {

// The escape character of a braced text: it stands before every "{", "}" and "\" of the text itself.
inline constexpr char braceEscape = '\\';

// The stretches one after another as longest match encodes them through the entries (as the encoded
// sizes do): each match of an entry from firstBraced on is written as "{" text "}", everything else (the
// entries before firstBraced, such as the game table's characters, line ends, bytes no entry matches)
// as it is; "{", "}" and "\" of the text are written "\{", "\}" and "\\". Removing the braces and the
// escapes gives the stretches back byte for byte. Returns an empty text when the cancel flag, when
// given, is set.
[[nodiscard]] std::string BracedText(std::span<const std::string_view> stretches,
                                     std::span<const CodedEntry> entries, std::size_t firstBraced,
                                     const CancelFlag* cancel);

} // namespace kestrin
