// SPDX-License-Identifier: MIT
// Splitting a table file into lines by the line ends its format takes, and a script into pieces.

#include "text/line_ends.h"

#include <algorithm>

namespace kestrin {

bool HoldsLoneLineFeed(std::string_view text)
{
    for (std::size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
        if (at == 0 || text[at - 1] != '\r') {
            return true;
        }
    }
    return false;
}

std::size_t LineStart(std::string_view text, std::size_t offset)
{
    std::size_t at = std::min(offset, text.size());
    while (at > 0 && !IsLineEnd(text[at - 1])) {
        --at;
    }
    return at;
}

std::size_t PieceEnd(std::string_view text, std::size_t at, std::size_t bytes)
{
    if (text.size() - at <= bytes) {
        return text.size();
    }
    const std::size_t lineEnd = NextLineEnd(text, at + bytes, text.size());
    return lineEnd + LineEndBytes(text, lineEnd);
}

std::optional<std::string_view> TableLineReader::Next()
{
    if (start >= content.size()) {
        return std::nullopt;
    }
    const std::size_t end = NextLineEnd(content, start, content.size());
    const std::string_view line = content.substr(start, end - start);
    start = end + (ends == LineEnds::EachCrOrLf ? 1 : std::max<std::size_t>(LineEndBytes(content, end), 1));
    return line;
}

} // namespace kestrin
