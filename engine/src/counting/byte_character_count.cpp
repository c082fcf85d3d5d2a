// SPDX-License-Identifier: MIT
// The count of strings of whole characters over one byte a character, by the byte count's own units.

#include "counting/byte_character_count.h"

#include "text/line_ends.h"
#include "text/text_encoding.h"

#include <absl/container/flat_hash_map.h>
#include <algorithm>
#include <cstring>
#include <numeric>

namespace kestrin {

namespace {

constexpr unsigned char breakValue = 255; // the byte of every break; characters take 0 to 254

} // namespace

std::unique_ptr<ByteCharacterCount>
ByteCharacterCount::Map(std::string_view gameBytes, const CharacterMap& characterMap,
                        std::span<const std::size_t> stretchEnds, bool utf8,
                        const std::vector<std::int16_t>& lengths, unsigned threads, const CancelFlag& cancel)
{
    const std::size_t n = gameBytes.size();
    std::unique_ptr<ByteCharacterCount> mapped(new ByteCharacterCount());
    mapped->map = &characterMap;
    // Calls each(p, next) for the character at p (next: where the one after it starts), or each(p, 0) for a
    // break, until each returns false. Returns false when cancelled or stopped so.
    const auto forEachCharacter = [&](auto&& each) {
        for (std::size_t p = 0, seen = 0; p < n; ++seen) {
            if ((seen & 0xFFFF) == 0 && cancel.IsSet()) {
                return false;
            }
            std::size_t next = 0;
            bool isBreak = false;
            if (utf8) {
                next = p + Utf8CharacterBytes(static_cast<unsigned char>(gameBytes[p]));
                isBreak = IsLineEnd(gameBytes[p]);
            } else {
                next = characterMap.NextCharacterStart(p);
                isBreak = characterMap.IsBreak(p);
            }
            if (!each(p, isBreak ? 0 : next)) {
                return false;
            }
            p = next;
        }
        return true;
    };
    // A character's kind: looked up directly for characters of one and two bytes, the most common.
    std::vector<std::int32_t> shortOnes(256 + 65536, -1);
    absl::flat_hash_map<std::uint32_t, std::int32_t> longer[2]; // of three and four bytes
    std::vector<std::int64_t> often;                            // per kind, its characters
    const auto kindOf = [&](std::size_t p, std::size_t width) -> std::size_t {
        const auto byte = [&](std::size_t i) {
            return std::size_t{static_cast<unsigned char>(gameBytes[p + i])};
        };
        std::int32_t* slot = nullptr;
        if (width <= 2) {
            slot = &shortOnes[width == 1 ? byte(0) : 256 + (byte(0) << 8 | byte(1))];
        } else {
            std::uint32_t key = 0;
            std::memcpy(&key, gameBytes.data() + p, width);
            slot = &longer[width - 3].try_emplace(key, -1).first->second;
        }
        if (*slot < 0) {
            *slot = static_cast<std::int32_t>(often.size());
            often.push_back(0);
            mapped->kindBytes.push_back(static_cast<std::uint8_t>(width));
            mapped->kindFirsts.push_back(static_cast<std::uint8_t>(gameBytes[p]));
        }
        return static_cast<std::size_t>(*slot);
    };
    std::int64_t lengthSum = 0;
    for (const std::int16_t length : lengths) {
        lengthSum += length;
    }
    // The count over the bytes pays only when few windows hold a rare character (see below). A text of
    // many different characters, such as Japanese, shows it in its first characters already: the pass
    // stops there, and the suffix sort counts it. Stopping is a question of speed only.
    constexpr std::int64_t sampled = 16384;
    std::int64_t characters = 0;
    const auto plainlyTooRare = [&] {
        if (often.size() <= breakValue) {
            return false;
        }
        std::vector<std::int64_t> counts(often);
        std::nth_element(counts.begin(), counts.begin() + breakValue, counts.end(), std::greater<>());
        const std::int64_t rare = std::accumulate(counts.begin() + breakValue, counts.end(), std::int64_t{0});
        return rare * lengthSum > characters / 2; // twice the bar the whole text is held to
    };
    if (!forEachCharacter([&](std::size_t p, std::size_t next) {
            if (next > 0) {
                ++often[kindOf(p, next - p)];
                if (++characters == sampled && plainlyTooRare()) {
                    return false;
                }
            }
            return true;
        })) {
        return nullptr;
    }
    // The 255 most frequent kinds get a byte each; the rest are rare, 255 like a break, and the windows
    // that hold one are counted apart, which is quick only while they are few.
    std::vector<std::size_t> byFrequency(often.size());
    std::iota(byFrequency.begin(), byFrequency.end(), std::size_t{0});
    std::stable_sort(byFrequency.begin(), byFrequency.end(),
                     [&](std::size_t a, std::size_t b) { return often[a] > often[b]; });
    std::vector<std::uint8_t> byteOf(often.size(), breakValue);
    std::int64_t rareCharacters = 0;
    for (std::size_t i = 0; i < byFrequency.size(); ++i) {
        const std::size_t kind = byFrequency[i];
        if (i < breakValue) {
            byteOf[kind] = static_cast<std::uint8_t>(i);
            mapped->widths[i] = mapped->kindBytes[kind];
            mapped->firstBytes[i] = mapped->kindFirsts[kind];
        } else {
            rareCharacters += often[kind];
        }
    }
    if (rareCharacters * lengthSum > characterMap.Characters() / 4) {
        return nullptr;
    }
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
    if (!forEachCharacter([&](std::size_t p, std::size_t next) {
            closeStretches(p);
            std::uint8_t byte = breakValue;
            if (next > 0) {
                byte = byteOf[kindOf(p, next - p)];
                if (byte == breakValue) {
                    mapped->rares.push_back({m});
                }
            }
            text[m++] = static_cast<char>(byte);
            return true;
        })) {
        return nullptr;
    }
    closeStretches(n);
    if (m == 0 || static_cast<unsigned char>(text[m - 1]) != breakValue) {
        mapped->separators.push_back(m);
        text[m++] = static_cast<char>(breakValue);
    }
    mapped->size = m;
    mapped->text = gameBytes;

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
    mapped->scan.stretches.push_back({0, static_cast<std::int64_t>(m), &mapped->breakByte});
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
            mapped->pieces.emplace_back(length, section);
        }
    }
    if (!mapped->CountRareWindows(lengths, cancel)) {
        return nullptr;
    }
    return mapped;
}

// The windows that hold a rare character and no break: each length's starts from k - 1 characters before a
// rare one up to it, in order, each start once.
bool ByteCharacterCount::CountRareWindows(const std::vector<std::int16_t>& lengths, const CancelFlag& cancel)
{
    if (rares.empty()) {
        return true;
    }
    const auto* bytesAt = reinterpret_cast<const unsigned char*>(bytes->Data());
    std::size_t checked = 0;
    for (const std::int16_t length : lengths) {
        const auto k = static_cast<std::size_t>(length);
        RareStrings& strings = rareStrings[length];
        absl::flat_hash_map<std::string_view, std::size_t> found;
        std::size_t nextStart = 0;
        std::size_t rareAt = 0; // the first rare character at or after the window being checked
        for (const Rare& rare : rares) {
            for (std::size_t s = std::max(rare.position + 1 >= k ? rare.position + 1 - k : 0, nextStart);
                 s <= rare.position && s + k <= size; ++s) {
                if ((++checked & 0xFFFF) == 0 && cancel.IsSet()) {
                    return false;
                }
                while (rares[rareAt].position < s) {
                    ++rareAt;
                }
                // A byte 255 that is no rare character is a break: the window and those up to it are out.
                std::size_t r = rareAt;
                std::size_t j = s;
                for (; j < s + k; ++j) {
                    if (bytesAt[j] != breakValue) {
                        continue;
                    }
                    if (r < rares.size() && rares[r].position == j) {
                        ++r;
                    } else {
                        break;
                    }
                }
                if (j < s + k) {
                    s = j; // the next start after the break
                    continue;
                }
                const std::size_t begin = GameOffset(s);
                const std::string_view window = text.substr(begin, GameOffset(s + k) - begin);
                const auto [at, added] = found.try_emplace(window, strings.size());
                if (added) {
                    strings.push_back({window, 0, s});
                }
                ++strings[at->second].hits;
            }
            nextStart = rare.position + 1;
        }
    }
    for (const std::int16_t length : lengths) {
        if (!rareStrings[length].empty()) {
            pieces.emplace_back(length, rarePart);
        }
    }
    return true;
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
    const auto rare = rareStrings.find(length);
    return plan.unitOf.at(length)->Distinct(length) +
           (rare == rareStrings.end() ? 0 : static_cast<std::int64_t>(rare->second.size()));
}

std::size_t ByteCharacterCount::GameOffset(std::uint64_t position) const
{
    const auto before = std::lower_bound(separators.begin(), separators.end(), position) - separators.begin();
    return map->CharacterOffset(static_cast<std::int64_t>(position) - before);
}

} // namespace kestrin
