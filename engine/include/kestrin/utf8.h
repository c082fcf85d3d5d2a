// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kestrin {

// Why a byte string is not well-formed UTF-8, at the first byte that cannot be read as part of a
// character.
enum class Utf8FaultKind {
    StrayContinuation, // a byte 80-BF where a character should start
    Overlong,          // C0, C1, or E0 80-9F, or F0 80-8F: a longer form of a shorter sequence
    Surrogate,         // ED A0-BF: U+D800 to U+DFFF, which UTF-8 never holds
    OutOfRange,        // F5-FF, or F4 90-BF: above U+10FFFF
    Truncated,         // a sequence that stops before its last byte (another byte, or the input's end)
};

// What starts a text, read as UTF-8 by Unicode's table of well-formed byte sequences.
struct Utf8Sequence {
    // Of a well-formed character, its bytes: 1 for ASCII, 2 to 4 for the others. Of a fault, the faulty
    // bytes: 1 for a stray, C0, C1 or F5-FF byte; 2 for a lead byte with a second byte that makes it
    // overlong, a surrogate or out of range; of a truncated sequence, the bytes it has. 0 for no text.
    std::size_t bytes = 0;
    std::optional<Utf8FaultKind> fault; // nothing when the character is well-formed
};

// Reads the character at the start of the text.
[[nodiscard]] Utf8Sequence ReadUtf8Sequence(std::string_view text);

} // namespace kestrin
