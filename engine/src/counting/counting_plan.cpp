// SPDX-License-Identifier: MIT
// Plans a count: which counting unit counts which sample lengths, and the shards of first-byte values
// that balance the work between threads.

#include "counting/counting_plan.h"

#include "counting/counters.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <numeric>

namespace kestrin {

ShardMap BalanceShards(const std::array<std::uint64_t, 256>& histogram, unsigned shards)
{
    ShardMap map{};
    if (shards <= 1) {
        return map;
    }
    // Greedy: the most frequent byte values first, each to the shard with the least work so far.
    std::array<int, 256> bytes{};
    std::iota(bytes.begin(), bytes.end(), 0);
    std::stable_sort(bytes.begin(), bytes.end(), [&](int a, int b) {
        return histogram[static_cast<std::size_t>(a)] > histogram[static_cast<std::size_t>(b)];
    });
    std::vector<std::uint64_t> load(shards, 0);
    for (const int byte : bytes) {
        const auto lightest =
            static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        map[static_cast<std::size_t>(byte)] = static_cast<std::uint8_t>(lightest);
        load[lightest] += histogram[static_cast<std::size_t>(byte)];
    }
    return map;
}

void ChooseUnits(std::span<const std::int16_t> sortedLengths, unsigned threads, std::size_t files,
                 std::int64_t largestFile, absl::FunctionRef<void(const UnitChoice&)> choose)
{
    threads = std::max(1u, threads);
    const bool recordsFit = files < recordFileLimit && largestFile < recordPositionLimit;
    // Sorting costs the same for any number of lengths, so the short lengths 3 and 4 join it when a
    // longer one needs it anyway; alone, their few different strings count faster in small tables.
    // One long length alone has as many different strings as a table can hold at little cost, and
    // sorting records of 16 bytes for it takes about twice as long as counting it in a table.
    const auto sortable = [](std::int16_t length) { return length >= 3 && length <= sortedLongest; };
    const bool oneLongLength = std::count_if(sortedLengths.begin(), sortedLengths.end(), sortable) == 1 &&
                               std::any_of(sortedLengths.begin(), sortedLengths.end(),
                                           [](std::int16_t length) { return length > packedLongest; });
    const bool sorting = recordsFit && !oneLongLength &&
                         std::any_of(sortedLengths.begin(), sortedLengths.end(), [](std::int16_t length) {
                             return length >= 5 && length <= sortedLongest;
                         });
    // The list is sorted: the array lengths, then the sorted ones, then the hashed ones.
    const auto arrays =
        static_cast<std::size_t>(std::find_if(sortedLengths.begin(), sortedLengths.end(),
                                              [](std::int16_t length) { return length > 2; }) -
                                 sortedLengths.begin());
    const std::size_t sortedEnd =
        sorting ? static_cast<std::size_t>(
                      std::find_if(sortedLengths.begin(), sortedLengths.end(),
                                   [](std::int16_t length) { return length > sortedLongest; }) -
                      sortedLengths.begin())
                : arrays;
    for (std::size_t i = 0; i < arrays; ++i) {
        // A job per thread, each with tallies of its own, which cost little beside the count.
        choose({UnitChoice::Kind::Array, sortedLengths.subspan(i, 1), threads});
    }
    if (sortedEnd > arrays) {
        // Several shards per thread, so that only a few shards' records are held at a time.
        choose({UnitChoice::Kind::Sorted, sortedLengths.subspan(arrays, sortedEnd - arrays), 4 * threads});
    }
    const std::size_t hashed = sortedLengths.size() - sortedEnd;
    const unsigned shards = std::max(1u, threads / static_cast<unsigned>(std::max<std::size_t>(hashed, 1)));
    for (std::size_t i = sortedEnd; i < sortedLengths.size(); ++i) {
        choose({sortedLengths[i] <= packedLongest ? UnitChoice::Kind::Packed : UnitChoice::Kind::Hash,
                sortedLengths.subspan(i, 1), shards});
    }
}

CountingPlan PlanCounting(std::span<const std::int16_t> sortedLengths, unsigned threads,
                          const InputShape& input)
{
    assert(std::adjacent_find(sortedLengths.begin(), sortedLengths.end(), std::greater_equal<>()) ==
           sortedLengths.end());
    CountingPlan plan;
    ChooseUnits(sortedLengths, threads, input.files, input.largestFile, [&](const UnitChoice& choice) {
        const ShardMap map =
            BalanceShards(input.histogram, choice.kind == UnitChoice::Kind::Array ? 1 : choice.pieces);
        const std::int64_t first = choice.lengths.front();
        std::unique_ptr<CountingUnit> unit;
        switch (choice.kind) {
        case UnitChoice::Kind::Array:
            unit = MakeArrayCounter(first, choice.pieces);
            break;
        case UnitChoice::Kind::Sorted:
            unit = MakeSortedCounter(choice.lengths, choice.pieces, map);
            break;
        case UnitChoice::Kind::Packed:
            unit = input.ordersArePositions ? MakeHashCounter(first, choice.pieces, map)
                                            : MakePackedCounter(first, choice.pieces, map);
            break;
        case UnitChoice::Kind::Hash:
            unit = MakeHashCounter(first, choice.pieces, map);
            break;
        }
        for (const std::int16_t length : choice.lengths) {
            plan.unitOf[length] = unit.get();
        }
        plan.units.push_back(std::move(unit));
    });
    return plan;
}

} // namespace kestrin
