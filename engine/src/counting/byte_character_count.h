// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/counting_plan.h"
#include "io/input_file.h"
#include "text/unit_map.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrin {

// A text of few different characters counted by the byte count's units: each character that is no break
// becomes one byte of its own, every break (line end, end-of-string code) one byte kept for breaks, and a
// break byte closes each stretch. A string of k characters is then a window of k bytes that holds no break
// byte, and the units that count windows of bytes count the strings of characters, in the time and memory
// of a byte count over a text of one byte a character. Positions in the bytes keep the order of the game's
// offsets, so "met first" means the same in both.
class ByteCharacterCount
{
public:
    // The bytes of the game text, or nothing when it holds more than 255 different characters that are no
    // break, or when cancel is set. lengths: sorted, each at least 1. utf8: the bytes are UTF-8 text, whose
    // characters and line ends the bytes tell apart; otherwise the map tells them.
    [[nodiscard]] static std::unique_ptr<ByteCharacterCount>
    Map(std::string_view gameBytes, const UnitMap& units, std::span<const std::size_t> stretchEnds, bool utf8,
        const std::vector<std::int16_t>& lengths, unsigned threads, const CancelFlag& cancel);

    // The count as the byte count runs it: the file jobs (side by side), then the finish jobs. Each stops
    // early when cancel is set.
    [[nodiscard]] std::size_t FileJobs() const { return fileJobs.size(); }
    void FileJob(std::size_t job, const CancelFlag& cancel);
    [[nodiscard]] std::size_t FinishJobs() const { return finishJobs.size(); }
    void FinishJob(std::size_t job, const CancelFlag& cancel);

    // The different strings of a counted length.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

    // The strings come in parts (a length and one section of its unit), which may be visited side by side.
    [[nodiscard]] std::size_t Parts() const { return parts.size(); }
    [[nodiscard]] std::int64_t LengthOf(std::size_t part) const { return parts[part].first; }
    // Calls visit(gameBytes, hits, firstGameByte, position) for each string of the part; position is
    // where it was first met in these bytes (GameOffset turns it into the game's offset). A string's own
    // bytes are read there, as a unit's text may be a copy (a slot's).
    template <typename Visit> void VisitPart(std::size_t part, Visit&& visit) const;

    // The game offset of the character at a position of these bytes.
    [[nodiscard]] std::size_t GameOffset(std::uint64_t position) const;

private:
    ByteCharacterCount() = default;

    const UnitMap* map = nullptr;
    std::unique_ptr<InputFile> bytes;
    std::string breakByte;
    FileScan scan;
    std::vector<std::uint64_t> separators;      // positions of the break bytes that close a stretch
    std::array<std::uint8_t, 256> widths{};     // per byte, its character's game bytes
    std::array<std::uint8_t, 256> firstBytes{}; // per byte, its character's first game byte
    CountingPlan plan;
    std::vector<std::pair<CountingUnit*, unsigned>> fileJobs;
    std::vector<std::pair<CountingUnit*, unsigned>> finishJobs;
    std::unique_ptr<WorkProgress[]> progress; // one per job of either kind, read by no one
    std::vector<std::pair<std::int64_t, std::size_t>> parts;
};

template <typename Visit> void ByteCharacterCount::VisitPart(std::size_t part, Visit&& visit) const
{
    const auto [length, section] = parts[part];
    const auto* text = reinterpret_cast<const unsigned char*>(bytes->Data());
    plan.unitOf.at(length)->ForEachIn(length, section, [&](const CountedString& counted) {
        const std::uint64_t position = counted.order; // the plan's units give it so
        std::uint32_t gameBytes = 0;
        for (std::int64_t i = 0; i < length; ++i) {
            gameBytes += widths[text[position + static_cast<std::uint64_t>(i)]];
        }
        visit(gameBytes, counted.hits, firstBytes[text[position]], position);
    });
}

} // namespace kestrin
