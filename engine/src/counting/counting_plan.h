#pragma once

#include "counting/counting_unit.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace kestrin {

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
};

// Plain arrays for lengths 0 to 2; one sorting unit for the lengths 3 to 16 when a length of 5 to 16
// is asked for and the input's positions fit its records; hash tables otherwise (3 and 4 alone have
// few different strings, which small tables count fastest). The results never depend on the plan.
[[nodiscard]] CountingPlan PlanCounting(const std::vector<std::int16_t>& differentLengths, unsigned threads,
                                        const InputShape& input);

} // namespace kestrin
