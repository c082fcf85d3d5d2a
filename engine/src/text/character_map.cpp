// SPDX-License-Identifier: MIT
// The character map: where the game's characters start in a text of bytes and which of them are breaks,
// one bit per byte, with a rank directory for going between character indexes and byte offsets. It is
// what lets the counting ask, cheaply, whether a window starts or ends inside a character.

#include "text/character_map.h"

#include "text/line_ends.h"

#include <algorithm>
#include <cassert>
#include <string>

namespace kestrin {
namespace {

constexpr std::size_t wordsPerBlock = 8;

// The offset in the word of its n-th set bit (from 0); the word has more than n set bits.
std::size_t NthSetBit(std::uint64_t word, std::int64_t n)
{
    for (; n > 0; --n) {
        word &= word - 1;
    }
    return static_cast<std::size_t>(std::countr_zero(word));
}

} // namespace

void CharacterMap::Grow()
{
    // Doubling keeps appends amortised O(1) over a script of tens of MiB.
    const std::size_t words = std::max<std::size_t>(size / 64 + 1, starts.size() * 2);
    starts.resize(words, 0);
    breaks.resize(words, 0);
    if (!stringEnds.empty()) {
        stringEnds.resize(words, 0);
    }
}

void CharacterMap::AppendBreak(std::size_t start, CharacterKind kind)
{
    Set(breaks, start);
    if (kind == CharacterKind::StringEnd) {
        stringEnds.resize(starts.size(), 0);
        Set(stringEnds, start);
    }
}

void CharacterMap::AppendMap(const CharacterMap& tail)
{
    const std::size_t base = size / 64;
    const std::size_t shift = size % 64;
    const std::size_t words = (size + tail.size) / 64 + 2;
    const auto shifted = [&](std::vector<std::uint64_t>& into, const std::vector<std::uint64_t>& from) {
        into.resize(std::max(into.size(), words), 0);
        for (std::size_t w = 0; w < from.size() && base + w < words; ++w) {
            into[base + w] |= from[w] << shift;
            if (shift != 0 && base + w + 1 < words) {
                into[base + w + 1] |= from[w] >> (64 - shift);
            }
        }
    };
    shifted(starts, tail.starts);
    shifted(breaks, tail.breaks);
    if (!tail.stringEnds.empty() || !stringEnds.empty()) {
        stringEnds.resize(starts.size(), 0);
        shifted(stringEnds, tail.stringEnds);
    }
    size += tail.size;
    characterCount += tail.characterCount;
}

void CharacterMap::Finish()
{
    // The words past the last byte were only room to grow into.
    const std::size_t words = size / 64 + 1;
    starts.resize(words);
    breaks.resize(words);
    if (!stringEnds.empty()) {
        stringEnds.resize(words);
        stringEnds.shrink_to_fit();
    }
    starts.shrink_to_fit();
    breaks.shrink_to_fit();
    // One count per block that starts inside the words, so that the counts only ever rise.
    blockRanks.assign((starts.size() + wordsPerBlock - 1) / wordsPerBlock, 0);
    std::uint64_t count = 0;
    for (std::size_t w = 0; w < starts.size(); ++w) {
        if (w % wordsPerBlock == 0) {
            blockRanks[w / wordsPerBlock] = count;
        }
        count += static_cast<std::uint64_t>(std::popcount(starts[w]));
    }
}

std::size_t CharacterMap::MemoryBytes() const
{
    return (starts.capacity() + breaks.capacity() + stringEnds.capacity() + blockRanks.capacity()) *
           sizeof(std::uint64_t);
}

CharacterKind CharacterMap::KindAt(std::size_t p) const
{
    if (!IsBreak(p)) {
        return CharacterKind::Character;
    }
    return !stringEnds.empty() && Bit(stringEnds, p) ? CharacterKind::StringEnd : CharacterKind::LineEnd;
}

std::size_t CharacterMap::NextSet(const std::vector<std::uint64_t>& bits, std::size_t p, std::size_t limit)
{
    if (p >= limit) {
        return limit;
    }
    std::size_t w = p >> 6;
    std::uint64_t word = bits[w] & (~std::uint64_t{0} << (p & 63));
    while (word == 0) {
        ++w;
        if ((w << 6) >= limit) {
            return limit;
        }
        word = bits[w];
    }
    return std::min(limit, (w << 6) + static_cast<std::size_t>(std::countr_zero(word)));
}

std::int64_t CharacterMap::CharacterIndex(std::size_t p) const
{
    assert(!blockRanks.empty() || size == 0);
    if (p >= size) {
        return characterCount;
    }
    const std::size_t w = p >> 6;
    auto count = static_cast<std::int64_t>(blockRanks[w / wordsPerBlock]);
    for (std::size_t i = w - w % wordsPerBlock; i < w; ++i) {
        count += std::popcount(starts[i]);
    }
    // The starts up to and including p, less one: the character that holds p.
    const std::uint64_t upTo = (p & 63) == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << (p & 63)) - 1;
    return count + std::popcount(starts[w] & upTo) - 1;
}

std::size_t CharacterMap::CharacterOffset(std::int64_t i) const
{
    if (i <= 0 || i >= characterCount) {
        return i <= 0 ? 0 : size; // the first character always starts at 0
    }
    // The last block that starts with at most i characters before it holds character i.
    const auto after = std::upper_bound(blockRanks.begin(), blockRanks.end(), static_cast<std::uint64_t>(i));
    std::size_t w = static_cast<std::size_t>(after - blockRanks.begin() - 1) * wordsPerBlock;
    auto left = i - static_cast<std::int64_t>(blockRanks[w / wordsPerBlock]);
    for (;; ++w) {
        const int here = std::popcount(starts[w]);
        if (left < here) {
            return (w << 6) + NthSetBit(starts[w], left);
        }
        left -= here;
    }
}

std::size_t CharacterMap::WindowEnd(std::size_t p, std::int64_t k) const
{
    const std::int64_t last = CharacterIndex(p) + k;
    return k < 0 || last > characterCount ? std::string::npos : CharacterOffset(last);
}

CharacterMap TextCharacters(std::string_view text, TextEncoding encoding)
{
    // Built a word of 64 bytes at a time rather than a character at a time: a character starts at every byte
    // that is not a UTF-8 continuation byte (at every byte for Latin-1), and the first byte always
    // starts one, so that even invalid text makes a consistent map.
    CharacterMap map;
    map.size = text.size();
    const std::size_t words = map.size / 64 + 1;
    map.starts.assign(words, 0);
    map.breaks.assign(words, 0);
    const bool utf8 = encoding == TextEncoding::Utf8;
    for (std::size_t w = 0; w < words; ++w) {
        std::uint64_t starts = 0;
        std::uint64_t breaks = 0;
        const std::size_t end = std::min(map.size, (w + 1) * 64);
        for (std::size_t p = w * 64; p < end; ++p) {
            const auto byte = static_cast<std::uint8_t>(text[p]);
            const std::uint64_t bit = std::uint64_t{1} << (p & 63);
            starts |= utf8 && IsContinuation(byte) ? 0 : bit;
            breaks |= IsLineEnd(text[p]) ? bit : 0;
        }
        map.starts[w] = starts;
        map.breaks[w] = breaks;
        map.characterCount += std::popcount(starts);
    }
    if (map.size > 0 && (map.starts[0] & 1) == 0) {
        map.starts[0] |= 1;
        ++map.characterCount;
    }
    map.Finish();
    return map;
}

} // namespace kestrin
