// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kestrin {

// A CR or an LF: a byte that ends a line of text, which no counted string, entry or window crosses.
inline bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

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
