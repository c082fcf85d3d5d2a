// SPDX-License-Identifier: MIT
// The count of strings of whole characters over 16-bit numbers of the characters, by sorting records.

#include "counting/wide_character_count.h"

#include "counting/radix_sort.h"
#include "text/line_ends.h"
#include "text/text_encoding.h"

#include <queue>

#include <absl/container/flat_hash_map.h>
#include <algorithm>
#include <cstring>
#include <numeric>

namespace kestrin {

namespace {

constexpr std::size_t mostNumbers = 65536;   // 0 is the break's
constexpr std::uint16_t unnumbered = 0xFFFF; // a character not numbered yet

std::uint64_t LoadKeyWord(const char* bytes)
{
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return __builtin_bswap64(word); // std::byteswap is C++23
}

} // namespace

std::unique_ptr<WideCharacterCount>
WideCharacterCount::Map(std::string_view gameBytes, const CharacterMap& characterMap,
                        std::span<const std::size_t> stretchEnds, bool utf8,
                        const std::vector<std::int16_t>& lengths, unsigned threads, const CancelFlag& cancel)
{
    if (lengths.empty() || lengths.back() > longest || cancel.IsSet()) {
        return nullptr;
    }
    const std::size_t n = gameBytes.size();
    std::unique_ptr<WideCharacterCount> counted(new WideCharacterCount());
    counted->map = &characterMap;
    counted->lengths = lengths;
    // A character's number: looked up directly for UTF-8 characters of up to three bytes and codes of one
    // or two, the most common (a UTF-8 character by its code point, a code by 256 + its bytes).
    std::vector<std::uint16_t> direct(256 + 65536, unnumbered);
    absl::flat_hash_map<std::uint32_t, std::uint16_t> longer[2]; // codes of three bytes, and of four
    std::vector<std::uint64_t> often(1, 0);                      // per number, the windows it starts
    counted->widths.push_back(0);
    counted->firstBytes.push_back(0);
    const auto numberOf = [&](std::size_t p, std::size_t width) -> std::size_t {
        const auto byte = [&](std::size_t i) {
            return std::uint32_t{static_cast<unsigned char>(gameBytes[p + i])};
        };
        std::uint16_t* slot = nullptr;
        if (utf8 && width <= 3) {
            const std::uint32_t point =
                width == 1   ? byte(0)
                : width == 2 ? (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F)
                             : (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
            slot = &direct[point];
        } else if (!utf8 && width <= 2) {
            slot = &direct[width == 1 ? byte(0) : 256 + (byte(0) << 8 | byte(1))];
        } else {
            std::uint32_t key = 0;
            std::memcpy(&key, gameBytes.data() + p, width);
            slot = &longer[width - 3].try_emplace(key, unnumbered).first->second;
        }
        if (*slot == unnumbered) {
            if (often.size() == mostNumbers - 1) {
                return 0; // more characters than 16 bits number (0 and 0xFFFF being taken)
            }
            *slot = static_cast<std::uint16_t>(often.size());
            often.push_back(0);
            counted->widths.push_back(static_cast<std::uint8_t>(width));
            counted->firstBytes.push_back(static_cast<std::uint8_t>(gameBytes[p]));
        }
        return *slot;
    };
    // Two bytes a character, a 0 after each stretch, and the 0s that end the last keys.
    counted->numbers = AllocateLargeBytes(2 * (n + stretchEnds.size() + 1 + longest));
    char* numbers = counted->numbers.get();
    std::size_t m = 0;
    std::size_t nextEnd = 0;
    const auto put = [&](std::size_t number) {
        numbers[2 * m] = static_cast<char>(number >> 8);
        numbers[2 * m + 1] = static_cast<char>(number & 0xFF);
        ++m;
    };
    const auto closeStretches = [&](std::size_t p) {
        for (; nextEnd < stretchEnds.size() && stretchEnds[nextEnd] <= p; ++nextEnd) {
            counted->separators.push_back(m);
            put(0);
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
            next = p + Utf8CharacterBytes(static_cast<unsigned char>(gameBytes[p]));
            isBreak = IsLineEnd(gameBytes[p]);
        } else {
            next = characterMap.NextCharacterStart(p);
            isBreak = characterMap.IsBreak(p);
        }
        std::size_t number = 0;
        if (!isBreak) {
            number = numberOf(p, next - p);
            if (number == 0) {
                return nullptr;
            }
            ++often[number];
        }
        put(number);
        p = next;
    }
    closeStretches(n);
    counted->places = m;
    std::memset(numbers + 2 * m, 0, 2 * longest);

    // Shards balanced by the windows their first characters start: the most frequent numbers first, each
    // to the shard with the fewest so far. Enough shards that those in hand on every thread stay small.
    std::uint64_t records = 0;
    for (const std::uint64_t windows : often) {
        records += windows;
    }
    constexpr std::uint64_t recordsAShard = std::uint64_t{1} << 19;
    const std::size_t shards = static_cast<std::size_t>(std::clamp<std::uint64_t>(
        std::max<std::uint64_t>(std::uint64_t{threads} * 4, records / recordsAShard), 1,
        std::max<std::size_t>(1, often.size() - 1)));
    std::vector<std::size_t> byWindows(often.size() - 1);
    std::iota(byWindows.begin(), byWindows.end(), std::size_t{1});
    std::stable_sort(byWindows.begin(), byWindows.end(),
                     [&](std::size_t a, std::size_t b) { return often[a] > often[b]; });
    counted->shardOf.assign(often.size(), 0);
    counted->shardSizes.assign(shards, 0);
    using Load = std::pair<std::uint64_t, std::size_t>; // windows, shard
    std::priority_queue<Load, std::vector<Load>, std::greater<>> lightest;
    for (std::size_t shard = 0; shard < shards; ++shard) {
        lightest.emplace(0, shard);
    }
    for (const std::size_t number : byWindows) {
        auto [load, shard] = lightest.top();
        lightest.pop();
        counted->shardOf[number] = static_cast<std::uint16_t>(shard);
        counted->shardSizes[shard] += often[number];
        lightest.emplace(load + often[number], shard);
    }
    return counted;
}

bool WideCharacterCount::SortedShard(std::size_t shard, Records& records, const CancelFlag& cancel) const
{
    records.reserve(shardSizes[shard]);
    const char* at = numbers.get();
    for (std::size_t place = 0; place < places; ++place) {
        if ((place & 0xFFFF) == 0 && cancel.IsSet()) {
            return false;
        }
        const std::size_t number = std::size_t{static_cast<unsigned char>(at[2 * place])} << 8 |
                                   static_cast<unsigned char>(at[2 * place + 1]);
        if (number == 0 || shardOf[number] != shard) {
            continue;
        }
        Record record{{LoadKeyWord(at + 2 * place), LoadKeyWord(at + 2 * place + 8)},
                      static_cast<std::uint32_t>(place),
                      1};
        while (record.whole < longest && Number(record.key[0], record.key[1], record.whole) != 0) {
            ++record.whole;
        }
        records.push_back(record);
    }
    RadixSortByKey(records.data(), records.data() + records.size(), cancel);
    return !cancel.IsSet();
}

std::size_t WideCharacterCount::GameOffset(std::uint64_t position) const
{
    const auto before = std::lower_bound(separators.begin(), separators.end(), position) - separators.begin();
    return map->CharacterOffset(static_cast<std::int64_t>(position) - before);
}

} // namespace kestrin
