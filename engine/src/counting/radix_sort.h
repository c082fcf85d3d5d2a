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

// The looks of one sort at the cancel flag: counted over the whole sort, as a shard of millions of records
// takes a few hundred milliseconds in passes and in groups too small to look on their own.
using SortLooks = CancelLooks<std::size_t{1} << 16>;

// Sorts records whose keys agree on their first `depth` bytes.
template <typename Record, typename Placed>
void SortFromByte(Record* begin, Record* end, std::size_t depth, SortLooks& looks, Placed& placed)
{
    constexpr std::size_t keyBytes = 8 * std::tuple_size_v<decltype(Record::key)>;
    // A group this large also looks at the flag within its passes, every `block` records.
    constexpr std::size_t largeGroup = std::size_t{1} << 16;
    constexpr std::size_t block = 4096;
    const auto count = static_cast<std::size_t>(end - begin);
    if (count < 2 || depth >= keyBytes) {
        placed(count);
        return; // nothing to sort, or keys that are equal throughout
    }
    if (looks.Stop(count)) {
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
    const std::size_t step = count >= largeGroup ? block : count;
    std::array<std::size_t, 257> starts{};
    for (Record* from = begin; from != end;) {
        Record* const to = from + std::min(step, static_cast<std::size_t>(end - from));
        for (; from != to; ++from) {
            ++starts[byteOf(*from) + 1];
        }
        if (step < count && looks.Stop(step)) {
            return;
        }
    }
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    std::array<std::size_t, 256> next{};
    std::copy(starts.begin(), starts.end() - 1, next.begin());
    const auto place = [&](std::size_t bucket) {
        const std::size_t home = byteOf(begin[next[bucket]]);
        if (home == bucket) {
            ++next[bucket];
        } else {
            std::swap(begin[next[bucket]], begin[next[home]++]);
        }
    };
    std::size_t moved = 0;
    for (std::size_t bucket = 0; bucket < 256; ++bucket) {
        if (step == count) {
            while (next[bucket] < starts[bucket + 1]) {
                place(bucket);
            }
            continue;
        }
        while (next[bucket] < starts[bucket + 1]) {
            if (++moved == block) {
                moved = 0;
                if (looks.Stop(block)) {
                    return;
                }
            }
            place(bucket);
        }
    }
    for (std::size_t bucket = 0; bucket < 256 && !looks.Stopped(); ++bucket) {
        SortFromByte(begin + starts[bucket], begin + starts[bucket + 1], depth + 1, looks, placed);
    }
}

} // namespace radix_sort_detail

template <typename Record, typename Placed>
void RadixSortByKey(Record* begin, Record* end, const CancelFlag& cancel, Placed&& placed)
{
    radix_sort_detail::SortLooks looks(&cancel);
    radix_sort_detail::SortFromByte(begin, end, 0, looks, placed);
}

template <typename Record> void RadixSortByKey(Record* begin, Record* end, const CancelFlag& cancel)
{
    RadixSortByKey(begin, end, cancel, [](std::size_t) {});
}

} // namespace kestrin
