// SPDX-License-Identifier: MIT
// Number lists: sample lengths and table codes as typed, in decimal or &H hex, with ranges and commas.

#include "kestrin/number_list.h"

#include "hex_digits.h"

#include <algorithm>
#include <limits>

namespace kestrin {
namespace {

// Decimal magnitudes saturate here, far above any count a run can reach and far below overflow.
constexpr std::int64_t saturation = std::int64_t{1} << 62;

std::string_view TrimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::optional<NumericText> ParseHex(std::string_view digits)
{
    const auto read = HexValue(digits);
    if (!read) {
        return std::nullopt;
    }
    const std::uint32_t bits = *read;
    // Up to four digits make a 16-bit value, more a 32-bit one: &HFFFF is -1, &H0FFFF is 65535.
    const std::int64_t value = digits.size() <= 4 ? std::int64_t{static_cast<std::int16_t>(bits)}
                                                  : std::int64_t{static_cast<std::int32_t>(bits)};
    return NumericText{value, value};
}

std::optional<NumericText> ParseDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const auto point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (whole.empty() && fraction.empty()) {
        return std::nullopt;
    }
    if (!std::all_of(whole.begin(), whole.end(), IsDigit) ||
        !std::all_of(fraction.begin(), fraction.end(), IsDigit)) {
        return std::nullopt;
    }

    std::int64_t magnitude = 0;
    for (const char c : whole) {
        magnitude = magnitude >= saturation / 10 ? saturation : magnitude * 10 + (c - '0');
    }
    const auto firstNonZero = fraction.find_first_not_of('0');
    const bool hasFraction = firstNonZero != std::string_view::npos;
    // Compare the fraction with one half exactly, digit by digit, so that long texts round right.
    int versusHalf = -1; // -1 below a half, 0 exactly a half, 1 above
    if (!fraction.empty()) {
        if (fraction.front() > '5') {
            versusHalf = 1;
        } else if (fraction.front() == '5') {
            versusHalf = fraction.find_first_not_of('0', 1) == std::string_view::npos ? 0 : 1;
        }
    }
    const bool roundUp = versusHalf > 0 || (versusHalf == 0 && magnitude % 2 == 1);
    const std::int64_t roundedMagnitude = std::min(saturation, magnitude + (roundUp ? 1 : 0));

    NumericText result;
    result.rounded = negative ? -roundedMagnitude : roundedMagnitude;
    result.floor = negative ? -(magnitude + (hasFraction ? 1 : 0)) : magnitude;
    return result;
}

} // namespace

std::optional<NumericText> ParseNumeric(std::string_view text)
{
    text = TrimSpaces(text);
    if (text.size() >= 2 && text[0] == '&' && (text[1] == 'H' || text[1] == 'h')) {
        return ParseHex(text.substr(2));
    }
    return ParseDecimal(text);
}

std::optional<std::int16_t> ParseListValue(std::string_view text)
{
    const auto numeric = ParseNumeric(text);
    if (!numeric || numeric->rounded < std::numeric_limits<std::int16_t>::min() ||
        numeric->rounded > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(numeric->rounded);
}

std::vector<std::int16_t> ParseNumberList(std::string_view text, std::size_t most)
{
    std::vector<std::int16_t> values;
    NumberListReader(text).Read(most, values);
    return values;
}

void NumberListReader::Read(std::size_t count, std::vector<std::int16_t>& values)
{
    const std::size_t goal = count > std::numeric_limits<std::size_t>::max() - values.size()
                                 ? std::numeric_limits<std::size_t>::max()
                                 : values.size() + count;
    while (values.size() < goal) {
        if (next <= high) {
            values.push_back(static_cast<std::int16_t>(next++));
            continue;
        }
        if (ended) {
            return;
        }
        const auto comma = text.find(',', start);
        const std::size_t end = comma == std::string_view::npos ? text.size() : comma;
        const std::string_view item = text.substr(start, end - start);
        ended = comma == std::string_view::npos;
        start = end + 1;
        // "-" always starts a range, so "-5" means 1 to 5; a dash after the comma belongs to a later item.
        const auto dash = item.find('-');
        if (dash != std::string_view::npos) {
            next = ParseListValue(item.substr(0, dash)).value_or(1);
            high = ParseListValue(item.substr(dash + 1)).value_or(2);
        } else if (const auto value = ParseListValue(item)) {
            values.push_back(*value);
        }
    }
}

std::int64_t LastResultPosition(const NumericText& request, std::int64_t distinctStrings)
{
    if (distinctStrings <= 0) {
        return -1; // nothing was counted: no result lines at all
    }
    // For a whole count, x < count exactly when floor(x) < count.
    if (request.floor < distinctStrings) {
        return std::max<std::int64_t>(request.rounded, -1);
    }
    return distinctStrings - 1;
}

} // namespace kestrin
