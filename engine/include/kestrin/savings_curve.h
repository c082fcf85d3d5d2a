// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// The curve as a standalone SVG picture (UTF-8, 800 x 500): bytes against the number of entries, with
// three lines (the script by longest match, the dictionary, and their sum, dashed), a dot on each exact
// point of the script, the exact point where the sum is smallest marked and labelled, axes with their labels
// and ticks, a legend, and the title above (bytes that are not UTF-8 become U+FFFD). The points must be in
// entry order; with none, the picture holds the axes alone.
[[nodiscard]] std::string CurveSvg(const std::vector<CurvePoint>& points, std::string_view title);

} // namespace kestrin
