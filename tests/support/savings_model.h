// SPDX-License-Identifier: MIT
#pragma once

#include "savings/real_savings.h"

#include <string>
#include <string_view>
#include <vector>

// A plain model of the real-savings choice and its encoders, for the tests and the fuzzer: it recounts
// every candidate at every step, straight from the documented rules, and shares no code with the engine.
namespace kestrin::testing {

// The text with, per position, its segment (stretches split at line ends), -1 on a line end.
struct ModelText {
    std::string text;
    std::vector<int> segment;

    explicit ModelText(const std::vector<std::string_view>& stretches);
    // s stands at p, wholly inside one segment.
    [[nodiscard]] bool At(std::size_t p, std::string_view s) const;
};

// The text's size with the entries: by best parse when best, else by longest match.
[[nodiscard]] std::int64_t ModelEncode(const ModelText& m, const std::vector<CodedEntry>& entries, bool best);

// The whole choice, sizes included, as ChooseEntries documents it.
[[nodiscard]] SavingsResult ModelChoice(const SavingsRequest& request);

// Holds the engine's encoders to the model on the stretches: the sizes by longest match and by best
// parse, and each parse walked piece by piece (an entry standing there inside one segment, or one byte),
// which must cover the text and cost the size it gives. Returns what differs first, or "".
[[nodiscard]] std::string CheckEncoders(const std::vector<std::string_view>& stretches,
                                        const std::vector<CodedEntry>& entries);

} // namespace kestrin::testing
