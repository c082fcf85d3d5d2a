// SPDX-License-Identifier: MIT
#pragma once

#include "prefetch.h"
#include "text/text_encoding.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin {

// What one character (one character of the game) of a text of bytes is.
enum class CharacterKind : std::uint8_t {
    Character, // a code of the game table, or one character of the text's encoding
    LineEnd,   // a CR or an LF of the script: one byte
    StringEnd, // an end-of-string code of the game table
};

// Where the characters of a text of bytes start, with one bit per byte, and which characters are breaks (line
// ends and end-of-string codes), which no dictionary entry may hold. The bytes themselves are kept
// elsewhere (the game's bytes of an encoded script, or the script itself for UTF-8 without a table).
//
// Positions are byte offsets 0 to Bytes(); Bytes() counts as a character start. Asking about a position is
// O(1); going from a character's index to its offset and back takes a rank directory (a count per 512 bits)
// and a binary search. Memory: an eighth of a byte per byte for the starts, the same for the breaks,
// and the same again for end-of-string codes only when there are any; the directory adds 1/64.
class CharacterMap
{
public:
    CharacterMap() = default;

    // Appends a character of `bytes` bytes (1 or more) of the kind. Then Finish before any query by index.
    void Append(std::size_t bytes, CharacterKind kind)
    {
        const std::size_t start = size;
        size += bytes;
        if (size / 64 >= starts.size()) {
            Grow();
        }
        Set(starts, start);
        ++characterCount;
        if (kind != CharacterKind::Character) {
            AppendBreak(start, kind);
        }
    }
    // Appends the characters of another map after these (for pieces encoded apart, such as the files of a
    // run or stretches of one file encoded on several workers). Then Finish.
    void AppendMap(const CharacterMap& tail);
    // Builds the rank directory. Queries by offset work without it.
    void Finish();

    [[nodiscard]] std::size_t Bytes() const { return size; }
    [[nodiscard]] std::int64_t Characters() const { return characterCount; }
    [[nodiscard]] std::size_t MemoryBytes() const;

    [[nodiscard]] bool IsCharacterStart(std::size_t p) const { return p >= size || Bit(starts, p); }
    // true when a break character starts at p.
    [[nodiscard]] bool IsBreak(std::size_t p) const { return p < size && Bit(breaks, p); }
    // The kind of the character that starts at p (p must be a character start below Bytes()).
    [[nodiscard]] CharacterKind KindAt(std::size_t p) const;
    // true when [begin, end) is made of whole characters: neither edge falls inside one.
    [[nodiscard]] bool IsWhole(std::size_t begin, std::size_t end) const
    {
        return IsCharacterStart(begin) && IsCharacterStart(end);
    }
    // The first character start after p, or Bytes().
    [[nodiscard]] std::size_t NextCharacterStart(std::size_t p) const { return NextSet(starts, p + 1, size); }
    // The first break character that starts in [p, limit), or limit when there is none.
    [[nodiscard]] std::size_t NextBreak(std::size_t p, std::size_t limit) const
    {
        return NextSet(breaks, p, std::min(limit, size));
    }
    // true when some character of [begin, end) is a break.
    [[nodiscard]] bool HoldsBreak(std::size_t begin, std::size_t end) const
    {
        return NextBreak(begin, end) < end;
    }

    // Asks for the words that the queries about p read, ahead of a visit at random.
    void Prefetch(std::size_t p) const
    {
        if (p < size) {
            PrefetchForRead(starts.data() + (p >> 6));
            PrefetchForRead(breaks.data() + (p >> 6));
        }
    }

    // The index of the character that holds byte p (of Characters() for p == Bytes()). Needs Finish.
    [[nodiscard]] std::int64_t CharacterIndex(std::size_t p) const;
    // The offset of character i, or Bytes() for i == Characters(). Needs Finish.
    [[nodiscard]] std::size_t CharacterOffset(std::int64_t i) const;
    // The end of the window of k characters that starts at the character start p, or npos when fewer than k
    // characters follow p. Needs Finish.
    [[nodiscard]] std::size_t WindowEnd(std::size_t p, std::int64_t k) const;

    // Calls window(begin, end) for every window of k characters (k >= 1) that starts in [from, to) and
    // ends by Bytes(), in order, in one pass: the way a counting character walks its positions. With
    // skipBreaks, windows that hold a break are left out.
    template <typename Window>
    void ForEachWindow(std::int64_t k, std::size_t from, std::size_t to, bool skipBreaks,
                       Window&& window) const;

private:
    friend CharacterMap TextCharacters(std::string_view text, TextEncoding encoding);

    static bool Bit(const std::vector<std::uint64_t>& bits, std::size_t p)
    {
        return (bits[p >> 6] >> (p & 63)) & 1;
    }
    static void Set(std::vector<std::uint64_t>& bits, std::size_t p)
    {
        bits[p >> 6] |= std::uint64_t{1} << (p & 63);
    }
    void Grow();
    void AppendBreak(std::size_t start, CharacterKind kind);
    // The first set bit in [p, limit), or limit.
    static std::size_t NextSet(const std::vector<std::uint64_t>& bits, std::size_t p, std::size_t limit);

    std::vector<std::uint64_t> starts;
    std::vector<std::uint64_t> breaks;
    std::vector<std::uint64_t> stringEnds; // empty while there is no end-of-string character
    std::vector<std::uint64_t> blockRanks; // characters that start before each block of 8 words
    std::size_t size = 0;
    std::int64_t characterCount = 0;
};

// The characters of a text valid in the encoding, without a game table: one character each (a UTF-8
// sequence, or a byte for Latin-1), CR and LF line-end characters. The text is the game's bytes as they are.
[[nodiscard]] CharacterMap TextCharacters(std::string_view text, TextEncoding encoding);

// The bytes of the window of each of the lengths (in characters, ascending) from the character start p,
// into `bytes`: 0 from the first that runs past `end` or takes more than `cap` bytes on. next(q) is the
// start of the character after the one at q. The suffix groupers of the count and of the savings index
// measure their windows with it.
template <typename Next>
[[gnu::always_inline]] inline void WindowBytes(std::size_t p, std::span<const std::int16_t> lengths,
                                               std::size_t end, std::size_t cap, const Next& next,
                                               std::span<std::uint32_t> bytes)
{
    std::size_t q = p;
    std::int64_t characters = 0;
    for (std::size_t k = 0; k < lengths.size(); ++k) {
        while (characters < lengths[k] && q < end && q - p <= cap) {
            q = next(q);
            ++characters;
        }
        bytes[k] = characters == lengths[k] && q - p <= cap ? static_cast<std::uint32_t>(q - p) : 0;
    }
}

template <typename Window>
void CharacterMap::ForEachWindow(std::int64_t k, std::size_t from, std::size_t to, bool skipBreaks,
                                 Window&& window) const
{
    if (k < 1 || from >= size) {
        return;
    }
    std::size_t begin = IsCharacterStart(from) ? from : NextCharacterStart(from);
    // end runs k characters ahead of begin; the breaks between them are counted as they enter and leave.
    std::size_t end = begin;
    std::int64_t held = 0;
    std::int64_t breaksHeld = 0;
    while (held < k && end < size) {
        breaksHeld += IsBreak(end) ? 1 : 0;
        end = NextCharacterStart(end);
        ++held;
    }
    while (held == k && begin < to) {
        if (!skipBreaks || breaksHeld == 0) {
            window(begin, end);
        }
        breaksHeld -= IsBreak(begin) ? 1 : 0;
        begin = NextCharacterStart(begin);
        if (end >= size) {
            break;
        }
        breaksHeld += IsBreak(end) ? 1 : 0;
        end = NextCharacterStart(end);
    }
}

} // namespace kestrin
