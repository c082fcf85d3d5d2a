// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_settings.h"
#include "kestrin/utf8.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrin {

// The first fault of a text, as data that does not depend on the file: the host names the file.
struct TextFault {
    Utf8FaultKind kind = Utf8FaultKind::StrayContinuation;
    std::int64_t offset = 0; // of the fault's first byte, from 0
    std::int64_t line = 1;   // from 1; CR LF, a lone CR and a lone LF each end a line
    // The faulty bytes: a stray, C0, C1 or F5-FF byte alone; a lead byte with the second byte that makes
    // it overlong, a surrogate or out of range; of a truncated sequence, the bytes it has.
    std::string bytes;

    bool operator==(const TextFault&) const = default;
};

// A UTF-8 continuation byte, 80-BF: a byte that starts no character.
constexpr bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The bytes of the UTF-8 character that starts with this byte, for valid text, by the lead byte alone: 1 for
// ASCII, 2 for C0-DF, 3 for E0-EF, 4 for F0-FF; 1 for a continuation byte. Counting steps with it from
// character to character, so it stays one expression.
constexpr std::size_t Utf8CharacterBytes(unsigned char lead)
{
    return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The first fault of text in the encoding, or nothing when the whole text is valid (Latin-1 always is).
[[nodiscard]] std::optional<TextFault> ValidateText(std::string_view text, TextEncoding encoding);

// The 1-based line of the byte at offset: one plus the line ends before it (CR LF counts once).
[[nodiscard]] std::int64_t LineOfOffset(std::string_view text, std::size_t offset);

// The 1-based column, in characters of the encoding, of the byte at offset in its line.
[[nodiscard]] std::int64_t ColumnOfOffset(std::string_view text, std::size_t offset, TextEncoding encoding);

// The bytes of the character that starts at text[at], for text valid in the encoding: 1 for Latin-1,
// 1 to 4 for UTF-8 (by its lead byte alone). 0 at or past the end.
[[nodiscard]] std::size_t CharacterBytes(std::string_view text, std::size_t at, TextEncoding encoding);

// true when a character of valid text starts at text[at] (or at == size): for UTF-8, when the byte is
// not a continuation byte 80-BF.
[[nodiscard]] bool IsCharacterStart(std::string_view text, std::size_t at, TextEncoding encoding);

// The number of characters of valid text.
[[nodiscard]] std::int64_t CountCharacters(std::string_view text, TextEncoding encoding);

} // namespace kestrin
