// SPDX-License-Identifier: MIT
#pragma once

#include "counting/counting_unit.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace kestrin {

// The counting units, each made for the sample lengths it counts. Every unit finds the same strings,
// hits and first occurrences; they differ in speed and memory, which the plan weighs.

// Lengths 0, 1 and 2: one slot per possible string, counted by `jobs` jobs, each over its own stretch.
[[nodiscard]] std::unique_ptr<CountingUnit> MakeArrayCounter(std::int64_t length, unsigned jobs);

// Lengths 3 to 8 in hash tables keyed by the string itself, packed into 8 bytes, one table per shard.
inline constexpr std::int64_t packedLongest = 8;
[[nodiscard]] std::unique_ptr<CountingUnit> MakePackedCounter(std::int64_t length, unsigned shards,
                                                              const ShardMap& shardMap);

// Any length in hash tables of entries that point at the string's first occurrence, one table per shard.
[[nodiscard]] std::unique_ptr<CountingUnit> MakeHashCounter(std::int64_t length, unsigned shards,
                                                            const ShardMap& shardMap);

// Lengths 3 to 16 together, by sorting records of the positions, one shard of first bytes at a time.
// The input's positions must fit 31 bits and its files 16 bits.
inline constexpr std::int64_t sortedLongest = 16;
[[nodiscard]] std::unique_ptr<CountingUnit> MakeSortedCounter(std::span<const std::int16_t> lengths,
                                                              unsigned shards, const ShardMap& shardMap);

} // namespace kestrin
