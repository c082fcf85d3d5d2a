// SPDX-License-Identifier: MIT
// The count of strings of whole characters over one byte a character, by the byte count's own units.

#include "counting/byte_character_count.h"

#include <absl/container/flat_hash_map.h>
#include <algorithm>
#include <cstring>

namespace kestrin {

namespace {

constexpr unsigned char breakValue = 255; // the byte of every break; characters take 0 to 254

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

std::unique_ptr<ByteCharacterCount> ByteCharacterCount::Map(std::string_view gameBytes, const UnitMap& units,
                                                            std::span<const std::size_t> stretchEnds,
                                                            bool utf8,
                                                            const std::vector<std::int16_t>& lengths,
                                                            unsigned threads, const CancelFlag& cancel)
{
    const std::size_t n = gameBytes.size();
    std::unique_ptr<ByteCharacterCount> mapped(new ByteCharacterCount());
    mapped->map = &units;
    // A character's byte: looked up directly for characters of one and two bytes, the most common.
    std::size_t kinds = 0;
    std::vector<std::int16_t> shortOnes(256 + 65536, -1);
    absl::flat_hash_map<std::uint32_t, std::uint8_t> longer[2]; // of three and four bytes
    const auto symbol = [&](std::size_t p, std::size_t width) -> std::size_t {
        const auto byte = [&](std::size_t i) {
            return std::size_t{static_cast<unsigned char>(gameBytes[p + i])};
        };
        if (width <= 2) {
            std::int16_t& slot = shortOnes[width == 1 ? byte(0) : 256 + (byte(0) << 8 | byte(1))];
            if (slot < 0) {
                slot = static_cast<std::int16_t>(kinds++);
            }
            return static_cast<std::size_t>(slot);
        }
        std::uint32_t key = 0;
        std::memcpy(&key, gameBytes.data() + p, width);
        auto& table = longer[width - 3];
        auto at = table.find(key);
        if (at == table.end()) {
            at = table.emplace(key, static_cast<std::uint8_t>(kinds++)).first;
        }
        return at->second;
    };
    // At most one byte a game byte, and a break byte for each stretch.
    const std::size_t most = n + stretchEnds.size() + 1;
    LargeBytes text = AllocateLargeBytes(most);
    std::size_t m = 0;
    std::size_t nextEnd = 0;
    const auto closeStretches = [&](std::size_t p) {
        for (; nextEnd < stretchEnds.size() && stretchEnds[nextEnd] <= p; ++nextEnd) {
            mapped->separators.push_back(m);
            text[m++] = static_cast<char>(breakValue);
        }
    };
    for (std::size_t p = 0, seen = 0; p < n; ++seen) {
        if ((seen & 0xFFFF) == 0 && cancel.IsSet()) {
            return nullptr;
        }
        closeStretches(p);
        std::size_t next = 0;
        bool isBreak = false;
        if (utf8) {
            const auto lead = static_cast<unsigned char>(gameBytes[p]);
            next = p + (lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4);
            isBreak = IsLineEnd(gameBytes[p]);
        } else {
            next = units.NextUnitStart(p);
            isBreak = units.IsBreak(p);
        }
        if (isBreak) {
            text[m++] = static_cast<char>(breakValue);
        } else {
            const std::size_t c = symbol(p, next - p);
            if (kinds > breakValue) {
                return nullptr;
            }
            if (c + 1 == kinds) {
                mapped->widths[c] = static_cast<std::uint8_t>(next - p);
                mapped->firstBytes[c] = static_cast<std::uint8_t>(gameBytes[p]);
            }
            text[m++] = static_cast<char>(c);
        }
        p = next;
    }
    closeStretches(n);
    if (m == 0 || static_cast<unsigned char>(text[m - 1]) != breakValue) {
        mapped->separators.push_back(m);
        text[m++] = static_cast<char>(breakValue);
    }

    InputShape shape;
    shape.files = 1;
    shape.largestFile = static_cast<std::int64_t>(m);
    shape.ordersArePositions = true;
    for (std::size_t i = 0; i < m; i += 7) {
        ++shape.histogram[static_cast<unsigned char>(text[i])];
    }
    const std::int64_t longest = lengths.empty() ? 0 : lengths.back();
    mapped->bytes = InputFile::FromBytes(std::move(text), static_cast<std::int64_t>(m),
                                         std::max<std::int64_t>(longest + 1, 16));
    mapped->breakByte.assign(1, static_cast<char>(breakValue));
    mapped->scan.runs.push_back({0, static_cast<std::int64_t>(m), &mapped->breakByte});
    mapped->scan.countedPositions = static_cast<std::int64_t>(m);
    mapped->scan.lastHandledPosition = static_cast<std::int64_t>(m) - 1;
    mapped->plan = PlanCounting(lengths, threads, shape);
    for (const auto& unit : mapped->plan.units) {
        for (unsigned j = 0; j < unit->FileJobs(); ++j) {
            mapped->fileJobs.emplace_back(unit.get(), j);
        }
        for (unsigned j = 0; j < unit->FinishJobs(); ++j) {
            mapped->finishJobs.emplace_back(unit.get(), j);
        }
    }
    mapped->progress = std::make_unique<WorkProgress[]>(mapped->fileJobs.size() + mapped->finishJobs.size());
    for (const std::int16_t length : lengths) {
        for (std::size_t section = 0; section < mapped->plan.unitOf.at(length)->Sections(length); ++section) {
            mapped->parts.emplace_back(length, section);
        }
    }
    return mapped;
}

void ByteCharacterCount::FileJob(std::size_t job, const CancelFlag& cancel)
{
    (void)fileJobs[job].first->CountFile(fileJobs[job].second, *bytes, 0, scan, 0, progress[job], cancel);
}

void ByteCharacterCount::FinishJob(std::size_t job, const CancelFlag& cancel)
{
    (void)finishJobs[job].first->Finish(finishJobs[job].second, progress[fileJobs.size() + job], cancel);
}

std::int64_t ByteCharacterCount::Distinct(std::int64_t length) const
{
    return plan.unitOf.at(length)->Distinct(length);
}

std::size_t ByteCharacterCount::GameOffset(std::uint64_t position) const
{
    const auto before = std::lower_bound(separators.begin(), separators.end(), position) - separators.begin();
    return map->UnitOffset(static_cast<std::int64_t>(position) - before);
}

} // namespace kestrin
