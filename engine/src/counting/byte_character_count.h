// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/counting_plan.h"
#include "io/input_file.h"
#include "text/character_map.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrin {

// A text of few different characters counted by the byte count's units: each of the 255 most frequent
// characters becomes one byte of its own, every break (line end, end-of-string code) and every other
// character the byte 255, and a 255 closes each stretch. A string of k such characters is then a window of
// k bytes that holds no 255, and the units that count windows of bytes count the strings of characters,
// in the time and memory of a byte count over a text of one byte a character. The few windows that hold a
// rare character (and no break) are counted apart, in a table keyed by their game bytes. Positions in the
// bytes keep the order of the game's offsets, so "met first" means the same in both.
class ByteCharacterCount
{
public:
    // The bytes of the game text, or nothing when its characters beyond the 255 most frequent come so
    // often that their windows would be many (over a quarter of the characters), or when cancel is set.
    // lengths: sorted, each at least 1. utf8: the bytes are UTF-8 text, whose characters and line ends the
    // bytes tell apart; otherwise the map tells them.
    [[nodiscard]] static std::unique_ptr<ByteCharacterCount>
    Map(std::string_view gameBytes, const CharacterMap& characterMap,
        std::span<const std::size_t> stretchEnds, bool utf8, const std::vector<std::int16_t>& lengths,
        unsigned threads, const CancelFlag& cancel);

    // The count as the byte count runs it: the file jobs (side by side), then the finish jobs. Each stops
    // early when cancel is set.
    [[nodiscard]] std::size_t FileJobs() const { return fileJobs.size(); }
    void FileJob(std::size_t job, const CancelFlag& cancel);
    [[nodiscard]] std::size_t FinishJobs() const { return finishJobs.size(); }
    void FinishJob(std::size_t job, const CancelFlag& cancel);

    // The different strings of a counted length.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

    // The strings come in pieces (a length and one section of its unit), which may be visited side by side.
    [[nodiscard]] std::size_t Pieces() const { return pieces.size(); }
    [[nodiscard]] std::int64_t LengthOf(std::size_t part) const { return pieces[part].first; }
    // Calls visit(gameBytes, hits, firstGameByte, position) for each string of the part; position is
    // where it was first met in these bytes (GameOffset turns it into the game's offset). A string's own
    // bytes are read there, as a unit's text may be a copy (a slot's).
    template <typename Visit> void VisitPart(std::size_t part, Visit&& visit) const;

    // The game offset of the character at a position of these bytes.
    [[nodiscard]] std::size_t GameOffset(std::uint64_t position) const;

private:
    struct Rare {
        std::size_t position; // in these bytes
    };
    struct RareString {
        std::string_view gameBytes;
        std::int64_t hits;
        std::uint64_t first;
    };
    using RareStrings = std::vector<RareString>;             // in the order they were first met
    static constexpr std::size_t rarePart = ~std::size_t{0}; // the section of a part of rare strings

    ByteCharacterCount() = default;
    [[nodiscard]] bool CountRareWindows(const std::vector<std::int16_t>& lengths, const CancelFlag& cancel);

    const CharacterMap* map = nullptr;
    std::unique_ptr<InputFile> bytes;
    std::string breakByte;
    FileScan scan;
    std::string_view text;                 // the game's bytes
    std::size_t size = 0;                  // of these bytes
    std::vector<std::uint64_t> separators; // positions of the break bytes that close a stretch
    std::vector<std::uint8_t> kindBytes;   // per kind of character met, its game bytes
    std::vector<std::uint8_t> kindFirsts;  // and its first game byte
    std::vector<Rare> rares;               // the rare characters, in order
    std::map<std::int64_t, RareStrings> rareStrings;
    std::array<std::uint8_t, 256> widths{};     // per byte, its character's game bytes
    std::array<std::uint8_t, 256> firstBytes{}; // per byte, its character's first game byte
    CountingPlan plan;
    std::vector<std::pair<CountingUnit*, unsigned>> fileJobs;
    std::vector<std::pair<CountingUnit*, unsigned>> finishJobs;
    std::unique_ptr<WorkProgress[]> progress; // one per job of either kind, read by no one
    std::vector<std::pair<std::int64_t, std::size_t>> pieces;
};

template <typename Visit> void ByteCharacterCount::VisitPart(std::size_t part, Visit&& visit) const
{
    // Named, not bound: lambdas below capture them.
    const std::int64_t length = pieces[part].first;
    const std::size_t section = pieces[part].second;
    if (section == rarePart) {
        for (const RareString& rare : rareStrings.at(length)) {
            visit(static_cast<std::uint32_t>(rare.gameBytes.size()), rare.hits,
                  static_cast<unsigned char>(rare.gameBytes.front()), rare.first);
        }
        return;
    }
    const auto* bytesAt = reinterpret_cast<const unsigned char*>(bytes->Data());
    plan.unitOf.at(length)->ForEachIn(length, section, [&](const CountedString& counted) {
        const std::uint64_t position = counted.order; // the plan's counting units give it so
        std::uint32_t gameBytes = 0;
        for (std::int64_t i = 0; i < length; ++i) {
            gameBytes += widths[bytesAt[position + static_cast<std::uint64_t>(i)]];
        }
        visit(gameBytes, counted.hits, firstBytes[bytesAt[position]], position);
    });
}

} // namespace kestrin
