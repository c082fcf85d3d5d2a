// SPDX-License-Identifier: MIT
// The in-place byte radix sort against std::sort, on keys of one and two words, and its looks at the
// cancel flag.

#include "cancel_flag.h"
#include "counting/radix_sort.h"

#include <gtest/gtest.h>
#include <random>

namespace kestrin {
namespace {

template <std::size_t Words> struct Record {
    std::array<std::uint64_t, Words> key;
    std::uint32_t payload;
};

template <std::size_t Words> void SortsLikeStdSort(std::mt19937_64& random)
{
    // Sizes around the comparison cutoff and the cancel check, keys drawn from few byte values so that
    // long shared prefixes, equal keys and every bucket edge (0x00, 0xFF) occur.
    for (const std::size_t size : {0u, 1u, 127u, 128u, 129u, 5000u, 70000u}) {
        SCOPED_TRACE(size);
        std::vector<Record<Words>> records(size);
        const std::uint64_t bytes[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
        for (std::uint32_t i = 0; i < size; ++i) {
            records[i].payload = i;
            for (auto& word : records[i].key) {
                word = 0;
                for (int b = 0; b < 8; ++b) {
                    // Mostly equal bytes up front, so that the spread goes deep before keys differ.
                    const bool vary = b >= 6 || random() % 16 == 0;
                    word = word << 8 | (vary ? bytes[random() % std::size(bytes)] : 0x61);
                }
            }
        }
        const auto byKeyThenPayload = [](const auto& a, const auto& b) {
            return std::tie(a.key, a.payload) < std::tie(b.key, b.payload);
        };
        auto expected = records;
        std::sort(expected.begin(), expected.end(), byKeyThenPayload);
        const CancelFlag cancel;
        RadixSortByKey(records.data(), records.data() + records.size(), cancel);
        // Equal keys may come in any order: compare the keys, then the records as sets.
        for (std::size_t i = 0; i < size; ++i) {
            ASSERT_EQ(records[i].key, expected[i].key) << i;
        }
        std::sort(records.begin(), records.end(), byKeyThenPayload);
        for (std::size_t i = 0; i < size; ++i) {
            ASSERT_EQ(records[i].payload, expected[i].payload) << i;
        }
    }
}

TEST(RadixSort, SortsLikeStdSortOnOneAndTwoWordKeys)
{
    std::mt19937_64 random(5);
    SortsLikeStdSort<1>(random);
    SortsLikeStdSort<2>(random);
}

// A cancel set while the first small group is placed stops the sort within a few tens of thousands of
// records, although no group that follows is large enough to look at the flag on its own.
TEST(RadixSort, CancelDuringSmallGroupsStopsTheSortSoon)
{
    std::mt19937_64 random(7);
    std::vector<Record<1>> records(1 << 20);
    for (auto& record : records) {
        record.key[0] = random();
    }
    CancelFlag cancel;
    std::size_t placed = 0;
    RadixSortByKey(records.data(), records.data() + records.size(), cancel, [&](std::size_t count) {
        placed += count;
        cancel.Set();
    });
    EXPECT_GT(placed, 0u);
    EXPECT_LT(placed, records.size() / 8);
}

} // namespace
} // namespace kestrin
