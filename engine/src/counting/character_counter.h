// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/byte_character_count.h"
#include "counting/wide_character_count.h"
#include "large_memory.h"
#include "ranking.h"
#include "text/character_map.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin {

// One string of whole characters as the ranking takes it: its game bytes and its hits.
struct CharacterString {
    std::string_view bytes;
    std::int64_t hits = 0;

    bool operator==(const CharacterString&) const = default;
};

// Counts the strings of whole characters of each sample length over the game's bytes: every window of
// k characters inside one stretch that holds no break (line end or end-of-string code). A string is
// keyed by its game bytes, which the codes being prefix-free make one string of characters.
//
// Method: a text of few different characters is counted by the byte count's units over one byte a
// character (ByteCharacterCount), and one of many, up to 8 characters, by sorting records of 16-bit numbers
// of its characters (WideCharacterCount), a job a shard. Otherwise the windows of one string lie side by side
// in the suffix array of the character starts, so a pass over it finds every string of every length with its
// hits and where it was first met, and keeps the best as it goes. The array and, per suffix, the bytes it
// shares with the one before, its room to the next boundary and its windows' bytes take 6 bytes a character
// and one more per length (for windows of fewer than 256 bytes).
class CharacterCounter
{
public:
    // lengths: sorted, each once; those below 1 count nothing. listedLengths: as listed, a length listed
    // twice ranked twice. most: the most results the request can give (0: none are ranked). utf8: the bytes
    // are UTF-8 text itself (no game table), whose characters and line ends the bytes tell apart, which is
    // quicker than asking the map at positions all over the text. threads: the workers the jobs will run on.
    // The bytes and the map must outlive this.
    CharacterCounter(std::string_view gameBytes, const CharacterMap& characterMap,
                     std::span<const std::size_t> stretchEnds, std::vector<std::int16_t> lengths,
                     std::vector<std::int16_t> listedLengths, std::size_t longestCharacter, bool utf8,
                     std::size_t most, unsigned threads);

    // The count in four steps, each stopping early (incomplete) when cancel is set: the sort, or the text
    // made one byte a character (throws std::length_error for 2 GiB of bytes or more); what each suffix
    // shares with the one before, its room and its windows' bytes, or the byte units' count of the file;
    // the byte units' finish (no jobs after a sort); and the strings, each job taking its share of the
    // lengths. The jobs of a step may run side by side.
    void Sort(const CancelFlag& cancel);
    [[nodiscard]] std::size_t MeasureJobs() const;
    void MeasureJob(std::size_t job, std::size_t jobs, const CancelFlag& cancel);
    [[nodiscard]] std::size_t FinishJobs() const { return inBytes ? inBytes->FinishJobs() : 0; }
    void FinishJob(std::size_t job, const CancelFlag& cancel) { inBytes->FinishJob(job, cancel); }
    void CountJob(std::size_t job, std::size_t jobs, const CancelFlag& cancel);
    // The jobs of CountJob for this many threads: one length (or one part of a byte unit, or one shard of
    // the numbers' records) each at most.
    [[nodiscard]] std::size_t CountJobs(unsigned threads) const;

    // The different strings of a length.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

    // The best `count` strings (no more than `most`) over the listed lengths by space saved, game bytes
    // times hits, best first. Ties go as the byte count's ranking sends them: the earlier listed length,
    // then the lower first byte, then the string met first.
    [[nodiscard]] std::vector<CharacterString> Best(std::size_t count) const;

private:
    struct Group {
        std::uint32_t bytes;
        std::int64_t hits;
        std::uint32_t first; // the earliest position of its windows
    };
    struct Ranked {
        std::int64_t total;
        std::size_t column;
        unsigned char firstByte;
        std::uint64_t order; // where the string was first met
        Group group;
    };
    void Offer(BestKept<Ranked>& best, std::size_t k, const Group& group, unsigned char firstByte,
               std::uint64_t order) const;
    [[nodiscard]] bool SortCharacters(const CancelFlag& cancel);
    void SortBytes(const CancelFlag& cancel);
    template <typename OnGroup>
    void ForEachGroup(std::size_t kBegin, std::size_t kEnd, const CancelFlag& cancel,
                      OnGroup&& onGroup) const;
    void WindowBytes(std::size_t p, std::uint32_t fits, std::vector<std::uint32_t>& bytes) const;
    [[nodiscard]] std::uint32_t Room(std::size_t p) const;
    [[nodiscard]] bool IsWindowStart(std::size_t p) const;
    [[nodiscard]] std::size_t NextCharacter(std::size_t p) const;

    std::string_view text;
    const CharacterMap& map;
    std::span<const std::size_t> ends;
    std::vector<std::int16_t> counted;
    std::vector<std::vector<std::size_t>> columns; // per counted length, the listed places it ranks in
    bool utf8 = false;
    std::size_t cap = 0;  // the most bytes a window can take
    std::size_t keep = 0; // the most strings ranked
    unsigned workers = 1;
    std::unique_ptr<ByteCharacterCount> inBytes; // the count over one byte a character, when it is made
    std::unique_ptr<WideCharacterCount> wide;    // or the count over the characters' numbers
    std::vector<std::vector<std::int64_t>> wideDistinct; // then per shard, per length
    // Read at random all over, so on large pages.
    UnfilledVector<std::int32_t> suffixes; // character starts that are no break, in suffix order
    // Per suffix, when cap is 256 or more: the bytes it shares with the one before, up to cap, and the
    // bytes to the next break or stretch end, up to cap.
    UnfilledVector<std::uint32_t> common;
    UnfilledVector<std::uint32_t> room;
    // The same when cap is below 256, a byte each and then the bytes of its window of each length (as
    // WindowBytes gives them), Stride() bytes a suffix: the pass over the groups reads them in order
    // instead of walking the characters again.
    UnfilledVector<std::uint8_t> measures;
    [[nodiscard]] std::size_t Stride() const { return 2 + counted.size(); }
    std::vector<std::int64_t> distinct; // per length of `counted`
    std::vector<BestKept<Ranked>> kept; // per job of CountJob (as many as lengths)
};

} // namespace kestrin
