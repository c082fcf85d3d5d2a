// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "savings/savings_text.h"
#include "text/character_map.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin::savings {

// The most bytes a window may take: its length in bytes, and its room, are kept in 16 bits.
constexpr std::int64_t longestWindow = 65535;

// What a candidate's state says, as bits.
constexpr std::uint8_t excludedState = 1;      // never an entry: forbidden, or gains nothing any more
constexpr std::uint8_t overlapsKnownState = 2; // looked at for occurrences that overlap
constexpr std::uint8_t overlapState = 4;       // two of its occurrences overlap somewhere
constexpr std::uint8_t chosenState = 8;
constexpr std::uint8_t heapState = 16;     // in the heap
constexpr std::uint8_t upToDateState = 32; // its bound is kept up to date
constexpr auto notInHeap = static_cast<std::uint8_t>(0xFF & ~heapState);

// What replacing an occurrence needs of a candidate, apart from the rest, to keep it in fewer cache lines
// (16 bytes).
struct CandidateNode {
    // The sum over its windows of what each would save at the floor code; until the choice starts, the
    // number of its windows in the text.
    std::int64_t bound;
    std::uint32_t chain; // the next shorter candidate around it that is kept up to date
    std::uint16_t length;
};

// The rest of a candidate.
struct CandidateRecord {
    std::uint32_t firstPosition;
    std::uint32_t rangeBegin; // its windows lie in suffixes[rangeBegin, rangeEnd)
    std::uint32_t rangeEnd;
    std::uint32_t parent; // the candidate of the next shorter length around it
    std::uint8_t state;
};

// The index of every candidate: a distinct string of a requested length that occurs at least twice
// wholly inside one stretch, holds no line end, is not forbidden, and gains something at the cheapest
// code with all its windows. Candidate c is nodes[c] and records[c]; a parent comes before its children.
// The text is a view into bytes, so an index can be moved but not copied.
struct SavingsIndex {
    SavingsIndex() = default;
    SavingsIndex(const SavingsIndex&) = delete;
    SavingsIndex& operator=(const SavingsIndex&) = delete;
    SavingsIndex(SavingsIndex&&) = default;
    SavingsIndex& operator=(SavingsIndex&&) = default;

    // The counted text in one piece; it is read at random all over, so it lies on large pages.
    LargeVector<char> bytes;
    std::string_view text;
    std::int64_t textSize = 0;
    std::vector<std::int16_t> lengths; // the requested lengths that can occur, sorted, distinct
    std::int32_t longest = 0;          // the most bytes a window may take
    // Counting in the game's characters: where they start (positions are still bytes), and which are
    // breaks in place of CR and LF. Lengths then count characters, and windows start and end only where
    // characters do; a candidate's length is its bytes.
    const CharacterMap* characterMap = nullptr;
    // A boundary at x: no window holds both x - 1 and x, and a line end at x holds no window either.
    PositionSet boundaries{0};
    LargeVector<std::int32_t> suffixes; // the suffix array of the text
    // Per length of `lengths`: the different strings with a window in the text, once or more (the pass
    // that groups the windows sees them all, candidates or not).
    std::vector<std::int64_t> distinct;
    LargeVector<std::uint32_t> deepest; // per position: its longest candidate, or noCandidate
    LargeVector<CandidateNode> nodes;
    LargeVector<CandidateRecord> records;
};

// Takes a copy of the text and the lengths that can occur, of the sorted, distinct requested ones. Throws
// std::length_error for 2 GiB of text or more. With a character map (the map of the stretches one after
// another), the lengths count characters of at most longestCharacter bytes each.
[[nodiscard]] SavingsIndex LoadText(std::span<const std::string_view> stretches,
                                    std::span<const std::int16_t> requestedLengths,
                                    const CharacterMap* characterMap = nullptr,
                                    std::size_t longestCharacter = 1);

// Builds the index of a loaded text for entries that cost at least cheapestCode bytes; forbidden (may
// be empty) is asked about each string that occurs twice. Returns false when cancelled. Throws
// std::bad_alloc when memory runs out.
[[nodiscard]] bool BuildIndex(SavingsIndex& index, std::span<const std::string_view> stretches,
                              const std::function<bool(std::string_view)>& forbidden, int cheapestCode,
                              const CancelFlag& cancel);

// What the candidate gains before any entry is chosen: occurrences x (length - code) - length.
[[nodiscard]] inline std::int64_t Gain(std::int64_t occurrences, std::int64_t length, int code)
{
    return occurrences * (length - code) - length;
}

} // namespace kestrin::savings
