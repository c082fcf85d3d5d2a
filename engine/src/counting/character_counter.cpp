// SPDX-License-Identifier: MIT
// The count of strings of whole characters (UTF-8 sequences, or the codes of a game table), whose windows
// take different numbers of bytes: a text of few different characters goes to the byte count's units one
// byte a character, one of many (up to 8 characters) to sorted records of its characters' numbers, and
// otherwise a suffix array of the character starts (libdivsufsort) puts the windows of each string side
// by side, and one pass over it finds them all and keeps the best as it goes.

#include "counting/character_counter.h"

#include "cancel_flag.h"
#include "prefetch.h"
#include "ranking.h"
#include "suffix_sort.h"
#include "text/line_ends.h"
#include "text/text_encoding.h"

#include <absl/container/flat_hash_map.h>
#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

namespace kestrin {

CharacterCounter::CharacterCounter(std::string_view gameBytes, const CharacterMap& characterMap,
                                   std::span<const std::size_t> stretchEnds,
                                   std::vector<std::int16_t> lengths, std::vector<std::int16_t> listedLengths,
                                   std::size_t longestCharacter, bool utf8Text, std::size_t most,
                                   unsigned threads)
    : text(gameBytes), map(characterMap), ends(stretchEnds), counted(std::move(lengths)), utf8(utf8Text),
      keep(most), workers(std::max(1u, threads))
{
    std::erase_if(counted, [](std::int16_t k) { return k < 1; });
    distinct.assign(counted.size(), 0);
    columns.resize(counted.size());
    for (std::size_t column = 0; column < listedLengths.size(); ++column) {
        const auto at = std::lower_bound(counted.begin(), counted.end(), listedLengths[column]);
        if (at != counted.end() && *at == listedLengths[column]) {
            columns[static_cast<std::size_t>(at - counted.begin())].push_back(column);
        }
    }
    cap = counted.empty() ? 0 : static_cast<std::size_t>(counted.back()) * longestCharacter;
    kept.assign(std::max<std::size_t>(1, counted.size()), BestKept<Ranked>(keep));
}

std::size_t CharacterCounter::CountJobs(unsigned threads) const
{
    return wide ? kept.size() : std::clamp<std::size_t>(threads, 1, kept.size());
}

std::size_t CharacterCounter::MeasureJobs() const
{
    return inBytes ? inBytes->FileJobs() : wide ? 0 : workers;
}

void CharacterCounter::Sort(const CancelFlag& cancel)
{
    const std::size_t n = text.size();
    if (counted.empty() || n == 0) {
        return;
    }
    if (n >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw std::length_error("the counted text is too long to count in characters");
    }
    inBytes = ByteCharacterCount::Map(text, map, ends, utf8, counted, workers, cancel);
    if (inBytes) {
        kept.assign(std::max<std::size_t>(1, inBytes->Pieces()), BestKept<Ranked>(keep));
        return;
    }
    wide = WideCharacterCount::Map(text, map, ends, utf8, counted, workers, cancel);
    if (wide) {
        kept.assign(wide->Shards(), BestKept<Ranked>(keep));
        wideDistinct.assign(wide->Shards(), std::vector<std::int64_t>(counted.size(), 0));
        return;
    }
    if (cancel.IsSet()) {
        return;
    }
    if (!SortCharacters(cancel)) {
        SortBytes(cancel);
    }
    if (cancel.IsSet()) {
        return;
    }
    if (cap < 256) {
        measures.resize(suffixes.size() * Stride());
    } else {
        common.resize(suffixes.size());
        room.resize(suffixes.size());
    }
}

// A text of at most 256 different characters is sorted a byte a character: a shorter text for the
// suffix sort (a Cyrillic script takes half its UTF-8 bytes), whose every suffix is a character start.
// Equal windows still lie side by side, as a string of characters is one string of bytes and back.
// Returns false, having sorted nothing, for a text of more characters.
bool CharacterCounter::SortCharacters(const CancelFlag& cancel)
{
    const std::size_t n = text.size();
    if (!utf8 && map.Characters() == static_cast<std::int64_t>(n)) {
        return false; // every character is one byte already (a one-byte game font)
    }
    // A character's byte: looked up directly for characters of one and two bytes, the most common.
    std::size_t kinds = 0;
    std::vector<std::int16_t> shortOnes(256 + 65536, -1);
    absl::flat_hash_map<std::uint32_t, std::uint8_t> longer[2]; // of three and four bytes
    const auto symbol = [&](std::size_t p, std::size_t bytes) -> int {
        const auto byte = [&](std::size_t i) { return std::size_t{static_cast<unsigned char>(text[p + i])}; };
        std::int16_t* slot = nullptr;
        if (bytes <= 2) {
            slot = &shortOnes[bytes == 1 ? byte(0) : 256 + (byte(0) << 8 | byte(1))];
            if (*slot < 0) {
                *slot = static_cast<std::int16_t>(kinds++);
            }
            return *slot;
        }
        std::uint32_t key = 0;
        std::memcpy(&key, text.data() + p, bytes);
        auto& table = longer[bytes - 3];
        auto at = table.find(key);
        if (at == table.end()) {
            at = table.emplace(key, static_cast<std::uint8_t>(kinds++)).first;
        }
        return at->second;
    };
    std::vector<std::uint8_t> characters;
    UnfilledVector<std::uint32_t> offsets; // per character, where it starts
    for (std::size_t p = 0; p < n;) {
        const std::size_t next = NextCharacter(p);
        const int c = symbol(p, next - p);
        if (kinds > 256) {
            return false;
        }
        characters.push_back(static_cast<std::uint8_t>(c));
        offsets.push_back(static_cast<std::uint32_t>(p));
        p = next;
    }
    if (!SortSuffixes({reinterpret_cast<const char*>(characters.data()), characters.size()}, suffixes,
                      cancel)) {
        return true;
    }
    std::size_t windows = 0;
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        if ((i & 0x3FFF) == 0 && cancel.IsSet()) {
            return true;
        }
        const std::uint32_t p = offsets[static_cast<std::size_t>(suffixes[i])];
        if (IsWindowStart(p)) {
            suffixes[windows++] = static_cast<std::int32_t>(p);
        }
    }
    suffixes.resize(windows);
    suffixes.shrink_to_fit();
    return true;
}

// The suffix sort of the bytes, keeping the suffixes at window starts.
void CharacterCounter::SortBytes(const CancelFlag& cancel)
{
    const std::size_t n = text.size();
    // Where windows start, a bit a byte, made in text order: the suffixes ask in sorted order, all over
    // the text, and an eighth of its size stays in the cache far better.
    std::vector<std::uint64_t> starts(n / 64 + 1, 0);
    for (std::size_t p = 0; p < n; ++p) {
        starts[p >> 6] |= std::uint64_t{IsWindowStart(p)} << (p & 63);
    }
    const auto Has = [](const std::vector<std::uint64_t>& bits, std::size_t p) {
        return (bits[p >> 6] >> (p & 63)) & 1;
    };
    if (!SortSuffixes(text, suffixes, cancel)) {
        return;
    }
    std::erase_if(suffixes, [&](std::int32_t p) { return !Has(starts, static_cast<std::size_t>(p)); });
    suffixes.shrink_to_fit();
}

void CharacterCounter::MeasureJob(std::size_t job, std::size_t jobs, const CancelFlag& cancel)
{
    if (inBytes) {
        inBytes->FileJob(job, cancel);
        return;
    }
    const std::size_t n = text.size();
    const std::size_t from = suffixes.size() * job / jobs;
    const std::size_t to = suffixes.size() * (job + 1) / jobs;
    std::vector<std::uint32_t> bytes(counted.size());
    for (std::size_t i = from; i < to; ++i) {
        if ((i & 0x3FFF) == 0 && cancel.IsSet()) {
            return;
        }
        // The suffixes lie anywhere in the text: what the visit 16 ahead reads is asked for now.
        if (i + 16 < to) {
            const auto later = static_cast<std::size_t>(suffixes[i + 16]);
            PrefetchForRead(text.data() + later);
            if (!utf8) {
                map.Prefetch(later);
            }
        }
        const auto p = static_cast<std::size_t>(suffixes[i]);
        std::size_t h = 0;
        if (i > 0) {
            const auto before = static_cast<std::size_t>(suffixes[i - 1]);
            h = CommonBytes(text.data() + p, text.data() + before, std::min({cap, n - p, n - before}));
        }
        if (measures.empty()) {
            common[i] = static_cast<std::uint32_t>(h);
            room[i] = Room(p);
            continue;
        }
        std::uint8_t* measured = measures.data() + i * Stride();
        measured[0] = static_cast<std::uint8_t>(h);
        const std::uint32_t fits = Room(p);
        measured[1] = static_cast<std::uint8_t>(fits);
        WindowBytes(p, fits, bytes);
        std::copy(bytes.begin(), bytes.end(), measured + 2);
    }
}

// The strings of this job's share of the lengths: how many of each, and the best of them.
void CharacterCounter::CountJob(std::size_t job, std::size_t jobs, const CancelFlag& cancel)
{
    BestKept<Ranked>& best = kept[job];
    if (inBytes) {
        if (keep == 0) {
            return; // the byte counting units have counted the strings; none is ranked
        }
        for (std::size_t part = inBytes->Pieces() * job / jobs; part < inBytes->Pieces() * (job + 1) / jobs;
             ++part) {
            const auto k = static_cast<std::size_t>(
                std::lower_bound(counted.begin(), counted.end(), inBytes->LengthOf(part)) - counted.begin());
            std::uint64_t visited = 0;
            bool stopped = false;
            inBytes->VisitPart(part, [&](std::uint32_t bytes, std::int64_t hits, unsigned char firstByte,
                                         std::uint64_t position) {
                if ((++visited & 0xFFFF) == 0 && cancel.IsSet()) {
                    stopped = true;
                }
                if (!stopped) {
                    Offer(best, k, {bytes, hits, static_cast<std::uint32_t>(position)}, firstByte, position);
                }
            });
        }
        return;
    }
    if (wide) {
        // A job a shard, as CountJobs gives them.
        std::vector<std::int64_t>& found = wideDistinct[job];
        (void)wide->CountShard(job, cancel,
                               [&](std::size_t k, std::uint32_t bytes, std::int64_t hits,
                                   unsigned char firstByte, std::uint32_t position) {
                                   ++found[k];
                                   if (keep > 0) {
                                       Offer(best, k, {bytes, hits, position}, firstByte, position);
                                   }
                               });
        return;
    }
    ForEachGroup(counted.size() * job / jobs, counted.size() * (job + 1) / jobs, cancel,
                 [&](std::size_t k, const Group& group) {
                     ++distinct[k];
                     if (keep > 0) {
                         Offer(best, k, group, static_cast<unsigned char>(text[group.first]), group.first);
                     }
                 });
}

// Offers a string of the k-th length to the best kept of a job, once for each column that lists the
// length. order: where it was first met, in any measure that keeps the order of the game's offsets.
void CharacterCounter::Offer(BestKept<Ranked>& best, std::size_t k, const Group& group,
                             unsigned char firstByte, std::uint64_t order) const
{
    for (const std::size_t column : columns[k]) {
        best.Offer({std::int64_t{group.bytes} * group.hits, column, firstByte, order, group});
    }
}

// A character that is no break starts at p.
bool CharacterCounter::IsWindowStart(std::size_t p) const
{
    if (utf8) {
        return !IsContinuation(static_cast<unsigned char>(text[p])) && !IsLineEnd(text[p]);
    }
    return map.IsCharacterStart(p) && !map.IsBreak(p);
}

// Where the character after the one at p starts.
std::size_t CharacterCounter::NextCharacter(std::size_t p) const
{
    if (utf8) {
        return p + Utf8CharacterBytes(static_cast<unsigned char>(text[p]));
    }
    return map.NextCharacterStart(p);
}

// The bytes from p to the first break or stretch end after it, up to cap.
std::uint32_t CharacterCounter::Room(std::size_t p) const
{
    const std::size_t stretchEnd = *std::upper_bound(ends.begin(), ends.end(), p);
    const std::size_t limit = std::min(stretchEnd, p + cap);
    if (utf8) {
        return static_cast<std::uint32_t>(NextLineEnd(text, p, limit) - p);
    }
    return static_cast<std::uint32_t>(map.NextBreak(p, limit) - p);
}

// The bytes of the window of each length (in characters) from the character start p, into `bytes`; 0
// from the first that would pass the text's end or its room on (the bytes to the next break or stretch
// end, which no window that counts passes).
void CharacterCounter::WindowBytes(std::size_t p, std::uint32_t fits, std::vector<std::uint32_t>& bytes) const
{
    kestrin::WindowBytes(
        p, counted, text.size(), std::min<std::size_t>(cap, fits),
        [this](std::size_t q) { return NextCharacter(q); }, bytes);
}

// Calls onGroup(k, group) for every string of the lengths kBegin to kEnd - 1: its windows that fit their
// room.
template <typename OnGroup>
void CharacterCounter::ForEachGroup(std::size_t kBegin, std::size_t kEnd, const CancelFlag& cancel,
                                    OnGroup&& onGroup) const
{
    // A group keeps its bytes, which a window of any length can take.
    struct Events {
        OnGroup& found;
        void Open(std::size_t, WindowGroup<std::uint32_t>& group, std::uint32_t, std::uint32_t bytes)
        {
            group.extra = bytes;
        }
        void Join(std::size_t, WindowGroup<std::uint32_t>&, std::uint32_t, std::uint32_t) {}
        void Close(std::size_t k, const WindowGroup<std::uint32_t>& group)
        {
            found(k, Group{group.extra, group.windows, group.first});
        }
    } events{onGroup};
    std::vector<WindowGroup<std::uint32_t>> open(counted.size());
    std::vector<std::uint32_t> bytes(counted.size());
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
        if ((i & 0x3FFF) == 0 && cancel.IsSet()) {
            return;
        }
        const auto p = static_cast<std::uint32_t>(suffixes[i]);
        std::uint32_t shared = 0;
        std::uint32_t fits = 0;
        if (measures.empty()) {
            shared = common[i];
            fits = room[i];
            WindowBytes(p, fits, bytes);
        } else {
            const std::uint8_t* measured = measures.data() + i * Stride();
            shared = measured[0];
            fits = measured[1];
            std::copy(measured + 2, measured + Stride(), bytes.begin());
        }
        GroupWindows<std::uint32_t>(open, static_cast<std::uint32_t>(i), p, shared, fits, bytes.data(),
                                    kBegin, kEnd, events);
    }
    CloseGroups<std::uint32_t>(open, events);
}

std::int64_t CharacterCounter::Distinct(std::int64_t length) const
{
    const auto at = std::lower_bound(counted.begin(), counted.end(), length);
    if (at == counted.end() || *at != length) {
        return 0;
    }
    const auto k = static_cast<std::size_t>(at - counted.begin());
    if (wide) {
        std::int64_t total = 0;
        for (const std::vector<std::int64_t>& shard : wideDistinct) {
            total += shard[k];
        }
        return total;
    }
    return inBytes ? inBytes->Distinct(length) : distinct[k];
}

std::vector<CharacterString> CharacterCounter::Best(std::size_t count) const
{
    std::vector<CharacterString> best;
    for (const Ranked& ranked : BestKept<Ranked>::Merge(kept, count)) {
        const std::size_t first = inBytes ? inBytes->GameOffset(ranked.group.first)
                                  : wide  ? wide->GameOffset(ranked.group.first)
                                          : ranked.group.first;
        best.push_back({text.substr(first, ranked.group.bytes), ranked.group.hits});
    }
    return best;
}

} // namespace kestrin
