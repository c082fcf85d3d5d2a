// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrin {

// One point of the savings curve: the sizes after the first `entries` entries of a real-savings choice.
struct CurvePoint {
    std::int64_t entries = 0;
    std::int64_t script = 0;     // the counted text encoded by longest match with those entries
    std::int64_t dictionary = 0; // the entries' bytes in the game, with their overhead
    // script was measured by encoding the text; otherwise it is the choice's own running figure.
    bool exact = false;

    bool operator==(const CurvePoint&) const = default;
};

} // namespace kestrin
