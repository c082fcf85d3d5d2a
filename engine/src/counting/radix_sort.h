// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <tuple>

namespace kestrin {

// Sorts records by their `key`, a std::array of 64-bit words compared word by word, each word most
// significant byte first (so that big-endian loads of byte strings sort as the strings do). Large groups
// are spread a byte at a time, in place; groups below 128 records are sorted by comparison. The order of
// records with equal keys is not kept. A set cancel flag stops it early, leaving the records unsorted.
// placed(count) is called as each group of `count` records finds its final place, for a progress display.
template <typename Record, typename Placed>
void RadixSortByKey(Record* begin, Record* end, const CancelFlag& cancel, Placed&& placed);
template <typename Record> void RadixSortByKey(Record* begin, Record* end, const CancelFlag& cancel);

namespace radix_sort_detail {

// Sorts records whose keys agree on their first `depth` bytes.
template <typename Record, typename Placed>
void SortFromByte(Record* begin, Record* end, std::size_t depth, const CancelFlag& cancel, Placed& placed)
{
    constexpr std::size_t keyBytes = 8 * std::tuple_size_v<decltype(Record::key)>;
    const auto count = static_cast<std::size_t>(end - begin);
    if (count < 2 || depth >= keyBytes) {
        placed(count);
        return; // nothing to sort, or keys that are equal throughout
    }
    if (count >= 65536 && cancel.IsSet()) {
        return; // the caller sees the flag too and drops the records
    }
    if (count < 128) {
        std::sort(begin, end, [](const Record& a, const Record& b) { return a.key < b.key; });
        placed(count);
        return;
    }
    const std::size_t word = depth / 8;
    const unsigned shift = static_cast<unsigned>(56 - 8 * (depth % 8));
    const auto byteOf = [&](const Record& record) {
        return static_cast<std::size_t>((record.key[word] >> shift) & 0xFF);
    };
    std::array<std::size_t, 257> starts{};
    for (const Record* record = begin; record != end; ++record) {
        ++starts[byteOf(*record) + 1];
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::array<std::size_t, 256> next{};
    std::copy(starts.begin(), starts.end() - 1, next.begin());
    for (std::size_t bucket = 0; bucket < 256; ++bucket) {
        while (next[bucket] < starts[bucket + 1]) {
            const std::size_t home = byteOf(begin[next[bucket]]);
            if (home == bucket) {
                ++next[bucket];
            } else {
                std::swap(begin[next[bucket]], begin[next[home]++]);
            }
        }
    }
    for (std::size_t bucket = 0; bucket < 256; ++bucket) {
        SortFromByte(begin + starts[bucket], begin + starts[bucket + 1], depth + 1, cancel, placed);
    }
}

} // namespace radix_sort_detail

template <typename Record, typename Placed>
void RadixSortByKey(Record* begin, Record* end, const CancelFlag& cancel, Placed&& placed)
{
    radix_sort_detail::SortFromByte(begin, end, 0, cancel, placed);
}

template <typename Record> void RadixSortByKey(Record* begin, Record* end, const CancelFlag& cancel)
{
    RadixSortByKey(begin, end, cancel, [](std::size_t) {});
}

} // namespace kestrin
