// SPDX-License-Identifier: MIT
#pragma once

namespace kestrin {

// A CR or an LF: a byte that ends a line of text, which no counted string, entry or window crosses.
inline bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace kestrin
