// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace kestrin {

// The bytes of the window of each length (in characters, sorted ascending) from the character start p,
// into `bytes` (as many as lengths); 0 from the first window that would pass textSize or cap bytes on.
// next(q) gives where the character after the one at q starts.
template <typename Length, typename NextCharacter>
void WindowBytes(std::size_t p, std::size_t textSize, std::size_t cap, std::span<const Length> lengths,
                 NextCharacter&& next, std::span<std::uint32_t> bytes)
{
    std::size_t q = p;
    std::int64_t characters = 0;
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        while (characters < lengths[k] && q < textSize && q - p <= cap) {
            q = next(q);
            ++characters;
        }
        bytes[k] = characters == lengths[k] && q - p <= cap ? static_cast<std::uint32_t>(q - p) : 0;
    }
}

// What a walk over a suffix array needs of each suffix: the bytes it shares with the one before (0 for
// the first), the bytes a window from it may cover before a boundary, and the bytes of its window of
// each length (ascending; 0 from the first window that does not exist on).
struct SuffixMeasure {
    std::uint32_t common;
    std::uint32_t room;
    std::span<const std::uint32_t> windows;
};

// One pass over `suffixes` suffixes in rank order that groups the equal windows of the lengths kBegin to
// kEnd - 1 (of `lengths` in all): the windows of one length whose suffixes share at least their bytes,
// with no suffix between them that shares fewer. measure(i) gives the SuffixMeasure of rank i, its
// windows valid until the next call. A window that does not fit its room, or does not exist, leaves the
// group open. onWindow(k, i, bytes, opens) is called for every window that fits, in rank order; opens
// says that it starts a new group, which closes the group of that length before it.
// Looks at cancel every cancelStride suffixes (a power of two); false when cancelled.
template <typename Measure, typename OnWindow>
[[nodiscard]] bool GroupEqualWindows(std::size_t suffixes, std::size_t lengths, std::size_t kBegin,
                                     std::size_t kEnd, const CancelFlag& cancel, std::size_t cancelStride,
                                     Measure&& measure, OnWindow&& onWindow)
{
    // Per length, the fewest bytes shared since its group's last window; 0 opens a group at the next one.
    std::vector<std::uint32_t> lowest(lengths, 0);
    for (std::size_t i = 0; i < suffixes; ++i) {
        if ((i & (cancelStride - 1)) == 0 && cancel.IsSet()) {
            return false;
        }
        const SuffixMeasure at = measure(i);
        std::size_t k = kBegin;
        for (; k < kEnd && at.windows[k] != 0 && at.windows[k] <= at.room; ++k) {
            onWindow(k, i, at.windows[k], std::min(lowest[k], at.common) < at.windows[k]);
            lowest[k] = std::numeric_limits<std::uint32_t>::max();
        }
        // The longer windows, having more bytes, do not fit either.
        for (; k < kEnd; ++k) {
            lowest[k] = std::min(lowest[k], at.common);
        }
    }
    return true;
}

} // namespace kestrin
