// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrin {

// A numeric text as the request box and the number lists understand it: decimal with an optional
// sign and fraction ("12", "+3", "-2.5", "7.", ".5"), or "&H" (either case) with hex digits,
// surrounded by any number of spaces. Nothing else is numeric: no exponents, grouping or tabs.
struct NumericText {
    // The value rounded to the nearest integer, half to even, saturated at +-2^62 for huge decimals.
    std::int64_t rounded = 0;
    // The value rounded towards minus infinity, saturated the same way.
    std::int64_t floor = 0;
};

// Reads one numeric text. Hex of one to four digits is a 16-bit two's-complement value (&HFFFF is -1),
// five to eight digits a 32-bit one (&H10000 is 65536, &HFFFFFFFF is -1); nine or more digits, like
// any other malformed text, give nullopt.
[[nodiscard]] std::optional<NumericText> ParseNumeric(std::string_view text);

// One item value of a number list: numeric and, after rounding, within -32768..32767.
[[nodiscard]] std::optional<std::int16_t> ParseListValue(std::string_view text);

// Turns "1,3-5,7" into [1, 3, 4, 5, 7]: comma-separated items, each a value or a "-" range, in the
// order typed, duplicates kept. A non-numeric single item is dropped; a non-numeric or missing range
// end takes the default 1 (low) or 2 (high); a range whose high end is below its low end gives nothing.
// Values outside -32768..32767 are not numeric. Any length of text and list is accepted.
// At most `most` values are kept: the first ones, in order.
[[nodiscard]] std::vector<std::int16_t>
ParseNumberList(std::string_view text, std::size_t most = std::numeric_limits<std::size_t>::max());

// Reads a number list as ParseNumberList does, as many values at a time as asked: a run reads the codes
// of its ranges that every request needs, and goes on where it stopped when kept entries take some of
// them. The text must outlive the reader.
class NumberListReader
{
public:
    explicit NumberListReader(std::string_view listText) : text(listText) {}

    // Appends the next `count` values of the list to `values`, fewer when the list ends.
    void Read(std::size_t count, std::vector<std::int16_t>& values);

private:
    std::string_view text;
    std::size_t start = 0; // where the next item starts
    bool ended = false;    // no item is left
    std::int32_t next = 1; // the rest of a range being read: next to high
    std::int32_t high = 0;
};

// The number of the last result position a request asks for: the request rounded half to even when it
// is below distinctStrings, else distinctStrings - 1; -1 when nothing was counted. A result below 0
// (a request below -0.5) means no result lines.
[[nodiscard]] std::int64_t LastResultPosition(const NumericText& request, std::int64_t distinctStrings);

} // namespace kestrin
