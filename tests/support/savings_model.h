// SPDX-License-Identifier: MIT
#pragma once

#include "savings/real_savings.h"

#include <random>
#include <string>
#include <string_view>
#include <vector>

// A plain model of the real-savings choice and its encoders, for the tests and the fuzzer: it recounts
// every candidate at every step, straight from the documented rules, and shares no code with the engine;
// and the one check of the engine's encoders against it.
namespace kestrin::testing {

// The text with, per position, its segment (stretches split at line ends), -1 on a line end.
struct ModelText {
    std::string text;
    std::vector<int> segment;

    explicit ModelText(const std::vector<std::string_view>& stretches);
    // s stands at p, wholly inside one segment.
    [[nodiscard]] bool At(std::size_t p, std::string_view s) const;
};

// One to four random stretches of up to `most` bytes over a small alphabet, so that ties and repeats such as
// "aaaa" are common, with a CR or an LF now and then.
[[nodiscard]] std::vector<std::string> RandomStretches(std::mt19937& rng, std::string_view alphabet,
                                                       std::size_t most);

// The text's size with the entries: by best parse when best, else by longest match.
[[nodiscard]] std::int64_t ModelEncode(const ModelText& m, const std::vector<CodedEntry>& entries, bool best);

// The engine's two encodings of the stretches with the entries against the model, and each parse laid
// over the text: a piece must match where it stands and the pieces must cover the text and add up to the
// size. Returns what differs first, or nothing.
[[nodiscard]] std::string CheckEncoders(const std::vector<std::string_view>& stretches,
                                        const std::vector<CodedEntry>& entries);

// The whole choice, sizes included, as ChooseEntries documents it: kept entries (with codes of no more
// bytes than their texts), the entry overhead and the dictionary bytes too.
[[nodiscard]] SavingsResult ModelChoice(const SavingsRequest& request);

} // namespace kestrin::testing
