// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace kestrin {

// A CR or an LF: a byte that ends a line of text, which no counted string, entry or window crosses.
inline bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The first line end of text[from, limit), or limit when there is none; limit is at most text.size().
// Scripts are searched for their line ends per window and per piece, so the bytes go eight at a time
// while none of them is a CR or an LF.
inline std::size_t NextLineEnd(std::string_view text, std::size_t from, std::size_t limit)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    const auto holdsByte = [](std::uint64_t word, std::uint64_t byte) {
        const std::uint64_t x = word ^ (byte * ones);
        return ((x - ones) & ~x & highs) != 0;
    };
    std::size_t at = from;
    for (std::uint64_t word = 0; at + 8 <= limit; at += 8) {
        std::memcpy(&word, text.data() + at, 8);
        if (holdsByte(word, '\r') || holdsByte(word, '\n')) {
            break;
        }
    }
    while (at < limit && !IsLineEnd(text[at])) {
        ++at;
    }
    return at;
}

// Whether the text holds a CR or an LF.
inline bool HoldsLineEnd(std::string_view text)
{
    return NextLineEnd(text, 0, text.size()) < text.size();
}

// The bytes of the line end at text[at]: 2 for CR LF, 1 for a lone CR or an LF, 0 for any other byte and
// at or past the end. CR LF, a lone CR and a lone LF each end one line.
inline std::size_t LineEndBytes(std::string_view text, std::size_t at)
{
    if (at >= text.size() || !IsLineEnd(text[at])) {
        return 0;
    }
    return text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
}

// Where the line that holds text[offset] starts: just after the last CR or LF before offset, or 0. An
// offset past the end is taken as the end.
[[nodiscard]] std::size_t LineStart(std::string_view text, std::size_t offset);

// Where the piece of text that starts at `at` ends, for work done a piece at a time: at the text's end
// when at most `bytes` bytes are left, otherwise just after the first line end from at + bytes on, with a
// CR LF kept whole (at the text's end when none follows). No character, entry or code holds a line end,
// so the pieces read as the whole text does.
[[nodiscard]] std::size_t PieceEnd(std::string_view text, std::size_t at, std::size_t bytes);

// Whether the text holds an LF that no CR precedes: its lines end at a lone LF (a file written on Unix),
// not at CR LF.
[[nodiscard]] bool HoldsLoneLineFeed(std::string_view text);

// Which bytes end a line of a table file: each format reads its lines by its own rule.
enum class LineEnds {
    CrLfCrOrLf, // CR LF, a lone CR or a lone LF (the game table, the exclusion table)
    EachCrOrLf, // every CR and every LF, so that CR LF also makes an empty line (the output table's codes)
};

// The lines of a table file, one at a time, without their line ends. The last line needs no line end;
// a file that ends with a line end has no empty line after it, and an empty file has no line.
class TableLineReader
{
public:
    TableLineReader(std::string_view file, LineEnds lineEnds) : content(file), ends(lineEnds) {}

    // The next line, or nothing after the last one.
    [[nodiscard]] std::optional<std::string_view> Next();

private:
    std::string_view content;
    LineEnds ends;
    std::size_t start = 0;
};

} // namespace kestrin
