// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "large_memory.h"
#include "prefetch.h"
#include "text/line_ends.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

// What the steps of the savings choice share about the text: how often long loops look at
// the cancel flag, and a set of positions.
namespace kestrin::savings {

constexpr std::uint32_t noCandidate = std::numeric_limits<std::uint32_t>::max();
// Long loops look at the cancel flag once per this many steps.
constexpr std::size_t cancelStride = std::size_t{1} << 16;

// Sets `values` to `count` copies of `value`, a block at a time with a look at the cancel flag between
// blocks: filling a whole text's array at once takes tens of milliseconds at 16 MiB, which a cancel would
// wait for. False when cancelled, with `values` filled in part.
template <typename Vector, typename T>
[[nodiscard]] bool FillWithLooks(Vector& values, std::size_t count, T value, const CancelFlag& cancel)
{
    values.clear();
    values.reserve(count);
    while (values.size() < count) {
        if (cancel.IsSet()) {
            return false;
        }
        values.insert(values.end(), std::min(cancelStride * 16, count - values.size()), value);
    }
    return true;
}

// A set of positions 0 to size - 1, one bit each.
class PositionSet
{
public:
    explicit PositionSet(std::size_t size) : words(size / 64 + 1, 0) {}

    [[nodiscard]] bool Has(std::size_t p) const { return (words[p >> 6] >> (p & 63)) & 1; }
    void Add(std::size_t p) { words[p >> 6] |= std::uint64_t{1} << (p & 63); }
    void Prefetch(std::size_t p) const { PrefetchForRead(words.data() + (p >> 6)); }
    // The first position of the set in [p, limit), or limit when there is none.
    [[nodiscard]] std::size_t NextFrom(std::size_t p, std::size_t limit) const
    {
        std::size_t w = p >> 6;
        if (p >= limit || w >= words.size()) {
            return limit;
        }
        std::uint64_t bits = words[w] & (~std::uint64_t{0} << (p & 63));
        while (bits == 0) {
            ++w;
            if (w >= words.size() || (w << 6) >= limit) {
                return limit;
            }
            bits = words[w];
        }
        return std::min(limit, (w << 6) + static_cast<std::size_t>(std::countr_zero(bits)));
    }

private:
    LargeVector<std::uint64_t> words; // read at random all over a large text
};

} // namespace kestrin::savings
