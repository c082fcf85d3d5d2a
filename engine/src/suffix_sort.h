// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <divsufsort.h>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace kestrin {

// Runs `task`, which no flag can stop, on a thread of its own while the calling thread watches `cancel`.
// Returns true when the task has finished (an exception it threw is thrown again here), false as soon
// as the flag is set: the task then runs on alone to its end, and must own everything it touches. When
// the system gives no thread, the task runs on the calling thread.
[[nodiscard]] bool RunUnstoppable(std::function<void()> task, const CancelFlag& cancel);

// The suffix array of `text` (libdivsufsort) into `suffixes`; false, with `suffixes` as it was, when the
// cancel flag is set first. The sort cannot be stopped midway, so it runs on a copy of the text and is
// left to finish alone after a cancel: a cancel is honoured within milliseconds however long the text.
// Throws std::bad_alloc when the sort cannot have its memory.
template <typename Vector>
[[nodiscard]] bool SortSuffixes(std::string_view text, Vector& suffixes, const CancelFlag& cancel)
{
    static_assert(std::is_same_v<typename Vector::value_type, saidx_t>);
    struct Sorting {
        std::string text;
        Vector sorted;
        saint_t status = 0;
    };
    if (cancel.IsSet()) {
        return false;
    }
    auto sorting = std::make_shared<Sorting>();
    sorting->text.assign(text);
    const bool finished = RunUnstoppable(
        [sorting] {
            sorting->sorted.resize(sorting->text.size());
            sorting->status = divsufsort(reinterpret_cast<const sauchar_t*>(sorting->text.data()),
                                         sorting->sorted.data(), static_cast<saidx_t>(sorting->text.size()));
        },
        cancel);
    if (!finished) {
        return false;
    }
    if (sorting->status != 0) {
        throw std::bad_alloc();
    }
    suffixes = std::move(sorting->sorted);
    return true;
}

// The bytes the texts at a and b have in common from their starts, up to most (both must hold most bytes):
// a suffix and its neighbour in the suffix array. Eight bytes at a time, as neighbours in real text often
// share several.
[[gnu::always_inline]] inline std::size_t CommonBytes(const char* a, const char* b, std::size_t most)
{
    std::size_t h = 0;
    for (; h + 8 <= most; h += 8) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + h, 8);
        std::memcpy(&y, b + h, 8);
        if (x != y) {
            // The first byte that differs is the first in memory order.
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(x ^ y)
                                                                       : std::countl_zero(x ^ y);
            return h + static_cast<std::size_t>(bit / 8);
        }
    }
    while (h < most && a[h] == b[h]) {
        ++h;
    }
    return h;
}

// The equal windows of one length that a pass over a suffix array has gathered so far, with what its
// user keeps of them.
template <typename Extra> struct WindowGroup {
    std::uint32_t lowest = 0; // the fewest bytes shared since the group's last window
    std::uint32_t windows = 0;
    std::uint32_t first = 0; // the earliest position of its windows
    Extra extra{};
};

// Groups the windows of each sample length over a suffix array in one pass in rank order, a suffix a
// call: the windows of a string lie side by side there, so a window joins the open group of its length
// when every suffix since that group's last window shares at least the window's bytes, and otherwise
// closes it and opens the next. A suffix whose window does not fit leaves its group open.
//
// The suffix of the given rank, at position p, shares `common` bytes with the suffix before it (any value
// for the first) and has `room` bytes before a boundary; bytes[k]: the bytes of its window of the k-th
// length, ascending, 0 from the first that does not exist on. Its windows of the lengths kBegin to
// kEnd - 1 that fit the room are grouped into open[k] (open: per length, all empty before the pass).
// The user's `events` hear of it, each told the length's index k: Open(k, group, rank, bytes) when a
// window opens a group, Join(k, group, rank, bytes) when one joins, and Close(k, group) for every group
// but the open ones, which CloseGroups closes at the end. The group of a length lies inside the open group
// of the next shorter length, which holds every suffix of it.
template <typename Extra, typename Events>
[[gnu::always_inline]] inline void GroupWindows(std::span<WindowGroup<Extra>> open, std::uint32_t rank,
                                                std::uint32_t p, std::uint32_t common, std::uint32_t room,
                                                const std::uint32_t* bytes, std::size_t kBegin,
                                                std::size_t kEnd, Events& events)
{
    constexpr std::uint32_t unbounded = std::numeric_limits<std::uint32_t>::max();
    std::size_t k = kBegin;
    for (; k < kEnd && bytes[k] != 0 && bytes[k] <= room; ++k) {
        const std::uint32_t l = bytes[k];
        WindowGroup<Extra>& group = open[k];
        if (group.windows == 0 || std::min(group.lowest, common) < l) {
            if (group.windows != 0) {
                events.Close(k, group);
            }
            group.lowest = unbounded;
            group.windows = 1;
            group.first = p;
            events.Open(k, group, rank, l);
            continue;
        }
        group.lowest = unbounded;
        ++group.windows;
        group.first = std::min(group.first, p);
        events.Join(k, group, rank, l);
    }
    // The longer windows, having more bytes, do not fit either.
    for (; k < kEnd; ++k) {
        open[k].lowest = std::min(open[k].lowest, common);
    }
}

// Closes the groups GroupWindows left open; the pass is over.
template <typename Extra, typename Events>
void CloseGroups(std::span<WindowGroup<Extra>> open, Events& events)
{
    for (std::size_t k = 0; k < open.size(); ++k) {
        if (open[k].windows != 0) {
            events.Close(k, open[k]);
            open[k].windows = 0;
        }
    }
}

} // namespace kestrin
