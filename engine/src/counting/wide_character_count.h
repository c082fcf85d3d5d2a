// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "large_memory.h"
#include "text/character_map.h"

#include <array>
#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// A text of many different characters (Japanese: more than a quarter of its characters outside the 255
// most frequent) counted by sorting, as the byte count's sorting unit counts bytes: each character
// becomes a number of 16 bits (0 for a break, and after each stretch's end), and each character that is
// no break a record keyed by the numbers of the 8 characters from it, first character highest. Sorting
// the records puts the windows of each string of every length side by side, and one pass over them closes
// the strings of every length at once. The records are sorted a shard of the first characters at a time,
// on every thread, where a suffix sort of the whole text runs on one; and they stream through memory.
// Positions (places in the numbers) keep the order of the game's offsets, so "met first" means the same.
class WideCharacterCount
{
public:
    // The longest length it counts, in characters.
    static constexpr std::int64_t longest = 8;

    // The numbers of the game text's characters, or nothing when a length is above `longest`, when the text
    // holds more than 65534 different characters, or when cancel is set. lengths: sorted, each at least 1.
    // utf8: the bytes are UTF-8 text, whose characters and line ends the bytes tell apart; otherwise the
    // map tells them. threads: the workers the shards will be counted on.
    [[nodiscard]] static std::unique_ptr<WideCharacterCount>
    Map(std::string_view gameBytes, const CharacterMap& characterMap,
        std::span<const std::size_t> stretchEnds, bool utf8, const std::vector<std::int16_t>& lengths,
        unsigned threads, const CancelFlag& cancel);

    // The shards, which may be counted side by side.
    [[nodiscard]] std::size_t Shards() const { return shardSizes.size(); }
    // Counts the strings whose first character belongs to the shard, calling
    // found(k, gameBytes, hits, firstGameByte, position) for each (k: its length's index in the lengths;
    // position: where it was first met, which GameOffset turns into the game's offset). Returns false,
    // having called found for some strings or none, when cancel is set.
    template <typename Found>
    bool CountShard(std::size_t shard, const CancelFlag& cancel, Found&& found) const;

    // The game offset of the character at a position.
    [[nodiscard]] std::size_t GameOffset(std::uint64_t position) const;

private:
    struct Record {
        std::array<std::uint64_t, 2> key; // the numbers of 8 characters, 16 bits each, first highest
        std::uint32_t position;
        std::uint8_t whole; // the characters from the first up to a break, at most 8
    };
    using Records = std::vector<Record, LargeAllocator<Record>>;

    WideCharacterCount() = default;
    // The records of the shard, sorted; false when cancel is set.
    [[nodiscard]] bool SortedShard(std::size_t shard, Records& records, const CancelFlag& cancel) const;
    [[nodiscard]] std::uint32_t Number(std::uint64_t key0, std::uint64_t key1, std::size_t i) const
    {
        return static_cast<std::uint32_t>(((i < 4 ? key0 : key1) >> (48 - 16 * (i % 4))) & 0xFFFF);
    }

    const CharacterMap* map = nullptr;
    std::vector<std::int16_t> lengths; // sorted, each at least 1
    // Per place, the number of its character, high byte first, so that the bytes sort as the numbers;
    // `longest` numbers 0 follow the last.
    LargeBytes numbers;
    std::size_t places = 0;
    std::vector<std::uint64_t> separators; // the places of the 0 after each stretch
    std::vector<std::uint8_t> widths;      // per number, its character's game bytes
    std::vector<std::uint8_t> firstBytes;  // per number, its character's first game byte
    std::vector<std::uint16_t> shardOf;    // per number, its shard
    std::vector<std::size_t> shardSizes;   // per shard, its records
};

template <typename Found>
bool WideCharacterCount::CountShard(std::size_t shard, const CancelFlag& cancel, Found&& found) const
{
    Records sorted;
    if (!SortedShard(shard, sorted, cancel)) {
        return false;
    }
    struct Open {
        std::int64_t hits = 0;
        std::uint32_t first = 0; // the earliest position of its windows
    };
    std::array<Open, longest> open{};
    // The string of the k-th length that the records before r share closes.
    const auto close = [&](std::size_t k, std::size_t r) {
        if (open[k].hits == 0) {
            return; // its characters hold a break
        }
        const Record& last = sorted[r - 1];
        std::uint32_t bytes = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(lengths[k]); ++i) {
            bytes += widths[Number(last.key[0], last.key[1], i)];
        }
        found(k, bytes, open[k].hits, firstBytes[Number(last.key[0], last.key[1], 0)], open[k].first);
        open[k] = Open{};
    };
    for (std::size_t r = 0; r < sorted.size(); ++r) {
        if ((r & 0xFFFF) == 0 && cancel.IsSet()) {
            return false;
        }
        const Record& record = sorted[r];
        if (r > 0) {
            const Record& before = sorted[r - 1];
            const std::uint64_t differ0 = before.key[0] ^ record.key[0];
            const int shared = differ0 != 0 ? std::countl_zero(differ0) / 16
                                            : 4 + std::countl_zero(before.key[1] ^ record.key[1]) / 16;
            for (std::size_t k = lengths.size(); k-- > 0 && lengths[k] > shared;) {
                close(k, r);
            }
        }
        for (std::size_t k = 0; k < lengths.size() && lengths[k] <= record.whole; ++k) {
            ++open[k].hits;
            open[k].first = open[k].hits == 1 ? record.position : std::min(open[k].first, record.position);
        }
    }
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        close(k, sorted.size());
    }
    return true;
}

} // namespace kestrin
