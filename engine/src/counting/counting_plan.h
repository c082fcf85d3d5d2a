// SPDX-License-Identifier: MIT
#pragma once

#include "counting/counting_unit.h"

#include <absl/functional/function_ref.h>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace kestrin {

// The sorting unit's records hold positions in 31 bits and file numbers in 16: a larger input goes to
// the other units. A file whose size is not known in advance (a pipe) counts as this large.
inline constexpr std::int64_t recordPositionLimit = std::int64_t{1} << 31;
inline constexpr std::size_t recordFileLimit = std::size_t{1} << 16;

// Which unit counts each sample length.
struct CountingPlan {
    std::vector<std::unique_ptr<CountingUnit>> units;
    std::map<std::int64_t, CountingUnit*> unitOf;
};

// What the planner needs to know of the input.
struct InputShape {
    std::size_t files = 0;
    std::int64_t largestFile = 0;
    std::array<std::uint64_t, 256> histogram{}; // of the bytes of all files, to balance shards
    // Every string's order must be where it was first met (with one file): no packed unit, whose order is
    // the how-manieth string of its shard; its lengths go to the hash unit.
    bool ordersArePositions = false;
};

// One counting unit as the plan chooses it, before it is made.
struct UnitChoice {
    enum class Kind { Array, Packed, Hash, Sorted };
    Kind kind = Kind::Array;
    std::span<const std::int16_t> lengths; // the lengths it counts, a part of the list it was chosen from
    unsigned pieces = 1;                   // Array: jobs over stretches of a file; the others: shards

    // The jobs of each file, and the jobs after the last file (the sorting unit's shards).
    [[nodiscard]] unsigned FileJobs() const { return kind == Kind::Sorted ? 1 : pieces; }
    [[nodiscard]] unsigned FinishJobs() const { return kind == Kind::Sorted ? pieces : 0; }
};

// Plain arrays for lengths 0 to 2; one sorting unit for the lengths 3 to 16 when a length of 5 to 16
// is asked for and the input's positions fit its records; hash tables otherwise (3 and 4 alone have
// few different strings, which small tables count fastest). The results never depend on the plan.
// Calls choose once per unit, in the order PlanCounting makes them. sortedLengths: sorted, each once.
// Allocates nothing, so that the progress can weigh the plan before it is made.
void ChooseUnits(std::span<const std::int16_t> sortedLengths, unsigned threads, std::size_t files,
                 std::int64_t largestFile, absl::FunctionRef<void(const UnitChoice&)> choose);

// Makes the units ChooseUnits chooses, their shards balanced by the input's histogram. sortedLengths:
// sorted, each once, as a run resolves them.
[[nodiscard]] CountingPlan PlanCounting(std::span<const std::int16_t> sortedLengths, unsigned threads,
                                        const InputShape& input);

} // namespace kestrin
