// SPDX-License-Identifier: MIT
// Splitting a table file into lines by the line ends its format takes.

#include "text/line_ends.h"

#include <algorithm>

namespace kestrin {

std::optional<std::string_view> TableLineReader::Next()
{
    if (start >= content.size()) {
        return std::nullopt;
    }
    const std::string_view endBytes = ends == LineEnds::CrLfOrCr ? "\r" : "\r\n";
    const std::size_t end = std::min(content.find_first_of(endBytes, start), content.size());
    const std::string_view line = content.substr(start, end - start);
    start = end + 1;
    if (ends != LineEnds::EachCrOrLf && end + 1 < content.size() && content[end] == '\r' &&
        content[end + 1] == '\n') {
        ++start;
    }
    return line;
}

} // namespace kestrin
