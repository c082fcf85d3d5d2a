// SPDX-License-Identifier: MIT
#pragma once

#include "text/unit_map.h"

#include <absl/container/flat_hash_map.h>
#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin {

// One string of whole characters as the ranking takes it: its game bytes and its hits.
struct UnitString {
    std::string_view bytes;
    std::int64_t hits = 0;

    bool operator==(const UnitString&) const = default;
};

// Counts the strings of whole characters of each sample length over the game's bytes: every window of
// k characters inside one stretch that holds no break (line end or end-of-string code). A string is
// keyed by its game bytes, which the codes being prefix-free make one string of characters. Each length
// is a job of its own.
class UnitCounter
{
public:
    // lengths: sorted, each once; those below 1 count nothing. The bytes and the map must outlive this.
    UnitCounter(std::string_view gameBytes, const UnitMap& units, std::span<const std::size_t> stretchEnds,
                std::vector<std::int16_t> lengths);

    [[nodiscard]] std::size_t Jobs() const { return tallies.size(); }
    // Counts the length of the job; `windows` follows how many windows it has walked. Stops early (and
    // incomplete) when cancel is set.
    void CountJob(std::size_t job, const std::atomic<bool>& cancel, std::atomic<std::int64_t>& windows);

    // The different strings of a length.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

    // The best `count` strings over the listed lengths (in list order, a length listed twice taking part
    // twice) by space saved, game bytes times hits, best first. Ties go as the byte count's ranking sends
    // them: the earlier listed length, then the lower first byte, then the string met first.
    [[nodiscard]] std::vector<UnitString> Best(std::span<const std::int16_t> listedLengths,
                                               std::size_t count) const;

private:
    struct Tally {
        std::int64_t hits = 0;
        std::uint64_t first = 0; // where the string was first met
    };
    using Tallies = absl::flat_hash_map<std::string_view, Tally>;

    [[nodiscard]] const Tallies* TalliesOf(std::int64_t length) const;

    std::string_view bytes;
    const UnitMap& map;
    std::span<const std::size_t> ends;
    std::vector<std::int16_t> counted;
    std::vector<Tallies> tallies; // per length of `counted`
};

} // namespace kestrin
