#include "counting/counting_plan.h"

#include "counting/counters.h"

#include <algorithm>
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

CountingPlan PlanCounting(const std::vector<std::int16_t>& differentLengths, unsigned threads,
                          const InputShape& input)
{
    CountingPlan plan;
    const auto add = [&](std::unique_ptr<CountingUnit> unit, const std::vector<std::int64_t>& covered) {
        for (const std::int64_t length : covered) {
            plan.unitOf[length] = unit.get();
        }
        plan.units.push_back(std::move(unit));
    };
    std::vector<std::int64_t> sorted;
    std::vector<std::int64_t> hashed;
    // Records keep positions in 32 bits and file numbers in 16.
    const bool recordsFit =
        input.files < (std::size_t{1} << 16) && input.largestFile < (std::int64_t{1} << 31);
    // Sorting costs the same for any number of lengths, so the short lengths 3 and 4 join it when a
    // longer one needs it anyway; alone, their few different strings count faster in small tables.
    // One long length alone has as many different strings as a table can hold at little cost, and
    // sorting records of 16 bytes for it takes about twice as long as counting it in a table.
    const auto sortable = [](std::int16_t length) { return length >= 3 && length <= sortedLongest; };
    const bool oneLongLength =
        std::count_if(differentLengths.begin(), differentLengths.end(), sortable) == 1 &&
        std::any_of(differentLengths.begin(), differentLengths.end(),
                    [](std::int16_t length) { return length > packedLongest; });
    const bool sorting =
        recordsFit && !oneLongLength &&
        std::any_of(differentLengths.begin(), differentLengths.end(),
                    [](std::int16_t length) { return length >= 5 && length <= sortedLongest; });
    for (const std::int16_t length : differentLengths) {
        if (length <= 2) {
            // A job per thread, each with tallies of its own, which cost little beside the count.
            add(MakeArrayCounter(length, std::max(1u, threads)), {length});
        } else if (length <= sortedLongest && sorting) {
            sorted.push_back(length);
        } else {
            hashed.push_back(length);
        }
    }
    threads = std::max(1u, threads);
    if (!sorted.empty()) {
        // Several shards per thread, so that only a few shards' records are held at a time.
        const unsigned shards = 4 * threads;
        const ShardMap map = BalanceShards(input.histogram, shards);
        add(MakeSortedCounter(sorted, shards, map), sorted);
    }
    if (!hashed.empty()) {
        const unsigned shards = std::max(1u, threads / static_cast<unsigned>(hashed.size()));
        const ShardMap map = BalanceShards(input.histogram, shards);
        for (const std::int64_t length : hashed) {
            add(length <= packedLongest ? MakePackedCounter(length, shards, map)
                                        : MakeHashCounter(length, shards, map),
                {length});
        }
    }
    return plan;
}

} // namespace kestrin
