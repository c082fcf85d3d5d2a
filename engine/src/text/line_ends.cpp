// SPDX-License-Identifier: MIT
// Splitting a table file into lines by the line ends its format takes.

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

std::optional<std::string_view> TableLineReader::Next()
{
    if (start >= content.size()) {
        return std::nullopt;
    }
    const std::size_t end = std::min(content.find_first_of("\r\n", start), content.size());
    const std::string_view line = content.substr(start, end - start);
    start = end + 1;
    if (ends != LineEnds::EachCrOrLf && end + 1 < content.size() && content[end] == '\r' &&
        content[end + 1] == '\n') {
        ++start;
    }
    return line;
}

} // namespace kestrin
