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

// Which bytes end a line of a table file: each format reads its lines by its own rule.
enum class LineEnds {
    CrLfOrCr,   // CR LF or a lone CR; a lone LF is an ordinary character (the exclusion table)
    CrLfCrOrLf, // CR LF, a lone CR or a lone LF (the game table)
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
