// SPDX-License-Identifier: MIT
#pragma once

#include "large_memory.h"
#include "text/unit_map.h"

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
// keyed by its game bytes, which the codes being prefix-free make one string of characters.
//
// Method: the windows of one string lie side by side in the suffix array of the character starts, so
// one pass over it finds every string of every length with its hits and where it was first met. The
// array and, per suffix, the bytes it shares with the one before and its room to the next boundary
// take 12 bytes a character, whatever the lengths.
class UnitCounter
{
public:
    // lengths: sorted, each once; those below 1 count nothing. The bytes and the map must outlive this.
    // utf8: the bytes are UTF-8 text itself (no game table), whose characters and line ends the bytes
    // tell apart, which is quicker than asking the map at positions all over the text.
    UnitCounter(std::string_view gameBytes, const UnitMap& units, std::span<const std::size_t> stretchEnds,
                std::vector<std::int16_t> lengths, std::size_t longestUnit, bool utf8);

    // The count in three steps, each stopping early (incomplete) when cancel is set: the sort (throws
    // std::length_error for 2 GiB of bytes or more); what each suffix shares with the one before, its
    // room and its windows' bytes, in jobs that may run side by side; and the count of the strings.
    void Sort(const std::atomic<bool>& cancel);
    void MeasureJob(std::size_t job, std::size_t jobs, const std::atomic<bool>& cancel);
    void CountStrings();

    // The different strings of a length.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

    // The best `count` strings over the listed lengths (in list order, a length listed twice taking part
    // twice) by space saved, game bytes times hits, best first. Ties go as the byte count's ranking sends
    // them: the earlier listed length, then the lower first byte, then the string met first.
    [[nodiscard]] std::vector<UnitString> Best(std::span<const std::int16_t> listedLengths,
                                               std::size_t count) const;

private:
    struct Group {
        std::uint32_t bytes;
        std::int64_t hits;
        std::uint32_t first; // the earliest position of its windows
    };
    template <typename OnGroup> void ForEachGroup(OnGroup&& onGroup) const;
    void WindowBytes(std::size_t p, std::vector<std::uint32_t>& bytes) const;
    [[nodiscard]] std::uint32_t Room(std::size_t p) const;
    [[nodiscard]] bool IsWindowStart(std::size_t p) const;
    [[nodiscard]] std::size_t NextCharacter(std::size_t p) const;

    std::string_view text;
    const UnitMap& map;
    std::span<const std::size_t> ends;
    std::vector<std::int16_t> counted;
    bool utf8 = false;
    std::size_t cap = 0; // the most bytes a window can take
    // Read at random all over, so on large pages.
    UnfilledVector<std::int32_t> suffixes; // character starts that are no break, in suffix order
    UnfilledVector<std::uint32_t> common;  // per suffix: the bytes shared with the one before, up to cap
    UnfilledVector<std::uint32_t> room; // per suffix: the bytes to the next break or stretch end, up to cap
    // Per suffix and length, when cap is below 256: its window's bytes as WindowBytes gives them, so that
    // the two passes over the groups read them in order instead of walking the characters again.
    UnfilledVector<std::uint8_t> windowBytes;
    std::vector<std::int64_t> distinct; // per length of `counted`
};

} // namespace kestrin
