// SPDX-License-Identifier: MIT
// The index of the savings choice: every string of a requested length that occurs twice, found at once.
// Method: a suffix array of the whole text (libdivsufsort) puts equal windows side by side; the bytes each
// suffix shares with the one before (compared directly up to a longest length of 32, by Kärkkäinen's
// permuted method above) mark the groups of equal windows of each length, and one pass over the array
// groups them into candidates, each nested in the candidate of the next shorter length around it.

#include "savings/savings_index.h"

#include "cancel_flag.h"
#include "suffix_sort.h"

#include <cassert>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace kestrin::savings {
namespace {

static_assert(std::is_same_v<saidx_t, std::int32_t>);

// Up to this longest length, neighbouring suffixes are compared byte by byte; above it, a linear-time
// method spares repetitive text from comparing up to the longest length at every suffix.
constexpr std::size_t comparedCap = 32;

// Builds one index; its passes share the index and the text's size.
class IndexBuilder
{
public:
    IndexBuilder(SavingsIndex& built, const std::function<bool(std::string_view)>& isForbidden,
                 const CancelFlag& cancelFlag)
        : index(built), forbidden(isForbidden), cancel(cancelFlag),
          n(static_cast<std::size_t>(built.textSize)), cap(static_cast<std::size_t>(built.longest))
    {
    }

    [[nodiscard]] bool Build(std::span<const std::string_view> stretches, int cheapestCode)
    {
        MarkBoundaries(stretches); // kept entries are placed by them even when nothing is counted
        if (index.lengths.empty()) {
            return true;
        }
        if (!SortSuffixes(index.text, index.suffixes, cancel)) {
            return false;
        }
        if (index.characterMap != nullptr && !KeepCharacterStarts()) {
            return false;
        }
        LargeVector<std::uint32_t> byRank(index.suffixes.size());
        // A suffix array of character starts only has no permuted order to walk.
        if (!(cap <= comparedCap || index.characterMap != nullptr ? CompareNeighbours(byRank)
                                                                  : PermutedCommonPrefixes(byRank))) {
            return false;
        }
        const std::uint64_t most =
            index.characterMap != nullptr ? MostCharacterCandidates(byRank) : MostCandidates(byRank);
        if (cancel.IsSet()) {
            return false;
        }
        index.nodes.reserve(most);
        index.records.reserve(most);
        // A grouping cut short leaves suffixes with no candidate number: nothing after it may run.
        if (!GroupIntoCandidates(byRank)) {
            return false;
        }
        const LargeVector<std::uint32_t> kept = DropHopeless(cheapestCode);
        return !cancel.IsSet() && MapDeepest(byRank, kept);
    }

private:
    void MarkBoundaries(std::span<const std::string_view> stretches)
    {
        index.boundaries = PositionSet(n + 1);
        std::size_t offset = 0;
        for (const std::string_view stretch : stretches) {
            offset += stretch.size();
            index.boundaries.Add(offset);
        }
        if (const CharacterMap* characterMap = index.characterMap) {
            // A break holds no window, and no window runs into one.
            for (std::size_t p = characterMap->NextBreak(0, n); p < n;
                 p = characterMap->NextBreak(p + 1, n)) {
                index.boundaries.Add(p);
                index.boundaries.Add(characterMap->NextCharacterStart(p));
            }
            return;
        }
        for (std::size_t p = 0; p < n; ++p) {
            if (IsLineEnd(index.text[p])) {
                index.boundaries.Add(p);
            }
        }
    }

    [[nodiscard]] bool IsBreak(std::size_t p) const
    {
        return index.characterMap != nullptr ? index.characterMap->IsBreak(p) : IsLineEnd(index.text[p]);
    }

    // How many bytes from p on a window may cover, given the first boundary after p.
    [[nodiscard]] std::size_t Room(std::size_t p, std::size_t nextBoundary) const
    {
        return IsBreak(p) ? 0 : std::min(nextBoundary - p, cap);
    }

    // Counting in characters, only the suffixes at character starts are windows: the others leave the
    // array, which keeps the rest in order.
    [[nodiscard]] bool KeepCharacterStarts()
    {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < index.suffixes.size(); ++i) {
            if (i % cancelStride == 0 && cancel.IsSet()) {
                return false;
            }
            const std::int32_t p = index.suffixes[i];
            if (index.characterMap->IsCharacterStart(static_cast<std::size_t>(p))) {
                index.suffixes[kept++] = p;
            }
        }
        index.suffixes.resize(kept);
        return true;
    }

    // The bytes of the window of each requested length (in characters) from the character start p, into
    // `bytes`; 0 from the first that runs past the text or `most` bytes on (the longest window or less:
    // the passes walk no further than they look).
    void CharacterWindowBytes(std::size_t p, std::size_t most, std::vector<std::uint32_t>& bytes) const
    {
        const CharacterMap& map = *index.characterMap;
        WindowBytes(
            p, index.lengths, n, std::min(cap, most),
            [&map](std::size_t q) { return map.NextCharacterStart(q); }, bytes);
    }

    // Fills byRank, per suffix in rank order, with the bytes it shares with the suffix before it (capped
    // at the longest length) and, in the high half, its room; false when cancelled. Each suffix is
    // compared with its neighbour directly.
    // Look-ahead: the bytes of the suffix 16 ranks further down, and its boundary word, are fetched
    // before they are compared, as they lie anywhere in the text. With the direct comparison this took
    // the index of generated 16 MiB (2-8) from 3.9 s to 2.5 s (bench/README.md, "Where the time went").
    [[nodiscard]] bool CompareNeighbours(LargeVector<std::uint32_t>& byRank) const
    {
        constexpr std::size_t ahead = 16;
        const std::string_view text = index.text;
        const std::size_t windows = index.suffixes.size();
        for (std::size_t i = 0; i < windows; ++i) {
            if (i % cancelStride == 0 && cancel.IsSet()) {
                return false;
            }
            if (i + ahead < windows) {
                const auto later = static_cast<std::size_t>(index.suffixes[i + ahead]);
                PrefetchForRead(text.data() + later);
                index.boundaries.Prefetch(later + 1);
            }
            const auto p = static_cast<std::size_t>(index.suffixes[i]);
            std::size_t h = 0;
            if (i > 0) {
                const auto before = static_cast<std::size_t>(index.suffixes[i - 1]);
                h = CommonBytes(text.data() + p, text.data() + before, std::min({cap, n - p, n - before}));
            }
            const std::size_t room =
                IsBreak(p) ? 0 : std::min(index.boundaries.NextFrom(p + 1, p + 1 + cap) - p, cap);
            byRank[i] = static_cast<std::uint32_t>(h | (room << 16));
        }
        return true;
    }

    // The same as CompareNeighbours in time linear in the text whatever the longest length (Kärkkäinen's
    // permuted LCP): in text order, each suffix shares at least one byte less with its neighbour than the
    // suffix before it did.
    [[nodiscard]] bool PermutedCommonPrefixes(LargeVector<std::uint32_t>& byRank) const
    {
        const std::string_view text = index.text;
        const LargeVector<std::int32_t>& suffixes = index.suffixes;
        LargeVector<std::uint32_t> shared(n);
        shared[static_cast<std::size_t>(suffixes[0])] = noCandidate;
        for (std::size_t i = 1; i < n; ++i) {
            shared[static_cast<std::size_t>(suffixes[i])] = static_cast<std::uint32_t>(suffixes[i - 1]);
        }
        std::size_t h = 0;
        std::size_t nextBoundary = 0; // the first boundary after p
        for (std::size_t p = 0; p < n; ++p) {
            if (p % cancelStride == 0 && cancel.IsSet()) {
                return false;
            }
            const std::uint32_t before = shared[p];
            if (before == noCandidate) {
                h = 0;
            } else {
                // The h bytes shared already lie inside the text.
                h += CommonBytes(text.data() + p + h, text.data() + before + h,
                                 std::min({cap, n - p, n - before}) - h);
            }
            if (nextBoundary <= p) {
                nextBoundary = index.boundaries.NextFrom(p + 1, n + 1);
            }
            shared[p] = static_cast<std::uint32_t>(h | (Room(p, nextBoundary) << 16));
            h = h > 0 ? h - 1 : 0;
        }
        // Gathering in a loop of its own lets the memory accesses overlap.
        for (std::size_t i = 0; i < n; ++i) {
            byRank[i] = shared[static_cast<std::size_t>(suffixes[i])];
        }
        return true;
    }

    // A candidate of length L is a group of suffixes that share L bytes with the one before: counting where
    // such groups end bounds the number of candidates, so that their arrays never move.
    [[nodiscard]] std::uint64_t MostCandidates(const LargeVector<std::uint32_t>& byRank) const
    {
        // lengthsUpTo[h]: how many requested lengths are h or less.
        std::vector<std::uint64_t> lengthsUpTo(cap + 1, 0);
        for (const std::int16_t l : index.lengths) {
            ++lengthsUpTo[static_cast<std::size_t>(l)];
        }
        for (std::size_t l = 1; l <= cap; ++l) {
            lengthsUpTo[l] += lengthsUpTo[l - 1];
        }
        std::uint64_t most = 0;
        for (std::size_t i = 1; i < n; ++i) {
            const std::uint32_t after = i + 1 < n ? byRank[i + 1] & 0xFFFF : 0;
            most += lengthsUpTo[byRank[i] & 0xFFFF] -
                    std::min(lengthsUpTo[byRank[i] & 0xFFFF], lengthsUpTo[after]);
        }
        return most;
    }

    // The same bound counting in characters: a candidate is a group of suffixes that share its bytes, and
    // is counted at the group's last suffix, whose window of the length is those bytes. Stops early, with
    // a bound too small, when cancelled.
    [[nodiscard]] std::uint64_t MostCharacterCandidates(const LargeVector<std::uint32_t>& byRank) const
    {
        std::vector<std::uint32_t> bytes(index.lengths.size());
        std::uint64_t most = 0;
        for (std::size_t i = 1; i < byRank.size(); ++i) {
            if (i % cancelStride == 0 && cancel.IsSet()) {
                break;
            }
            const std::uint32_t common = byRank[i] & 0xFFFF;
            const std::uint32_t after = i + 1 < byRank.size() ? byRank[i + 1] & 0xFFFF : 0;
            // A window longer than the bytes shared is no candidate's last.
            CharacterWindowBytes(static_cast<std::size_t>(index.suffixes[i]), common, bytes);
            for (const std::uint32_t l : bytes) {
                if (l == 0) {
                    break;
                }
                most += l <= common && l > after ? 1 : 0;
            }
        }
        return most;
    }

    // What the index keeps of a group of equal windows while the pass goes on.
    struct GroupRanks {
        std::uint32_t begin = 0; // the rank of its first window
        std::uint32_t end = 0;   // one past the rank of its last
        std::uint32_t candidate = noCandidate;
    };

    // One pass over the suffix array finds the groups of every length at once; a group's second window
    // makes it a candidate, which learns its windows when the group closes, so that the pass touches only
    // the open groups while a group grows. byRank holds, per suffix, its packed common prefix and room;
    // each is replaced by the suffix's longest candidate. False when cancelled, with byRank left half
    // replaced.
    [[nodiscard]] bool GroupIntoCandidates(LargeVector<std::uint32_t>& byRank)
    {
        const std::size_t kinds = index.lengths.size();
        index.distinct.assign(kinds, 0);
        using Group = WindowGroup<GroupRanks>;
        struct Events {
            SavingsIndex& index;
            LargeVector<std::uint32_t>& byRank;
            const std::function<bool(std::string_view)>& forbidden;
            const std::vector<Group>& open;

            void Open(std::size_t k, Group& group, std::uint32_t rank, std::uint32_t)
            {
                group.extra = {rank, rank + 1, noCandidate};
                ++index.distinct[k];
            }
            void Join(std::size_t k, Group& group, std::uint32_t rank, std::uint32_t l)
            {
                GroupRanks& ranks = group.extra;
                ranks.end = rank + 1;
                if (group.windows == 2) {
                    ranks.candidate = static_cast<std::uint32_t>(index.nodes.size());
                    const bool excluded = forbidden && forbidden(index.text.substr(group.first, l));
                    index.nodes.push_back({0, noCandidate, static_cast<std::uint16_t>(l)});
                    index.records.push_back({0, ranks.begin, 0,
                                             k == 0 ? noCandidate : open[k - 1].extra.candidate,
                                             excluded ? excludedState : std::uint8_t{0}});
                    assert(k == 0 || index.records.back().parent != noCandidate);
                    byRank[ranks.begin] = ranks.candidate;
                }
                byRank[rank] = ranks.candidate;
            }
            void Close(std::size_t, const Group& group)
            {
                if (const std::uint32_t c = group.extra.candidate; c != noCandidate) {
                    index.nodes[c].bound = group.windows;
                    index.records[c].firstPosition = group.first;
                    index.records[c].rangeEnd = group.extra.end;
                }
            }
        };
        std::vector<Group> open(kinds);
        Events events{index, byRank, forbidden, open};
        // The bytes of each length's window at the suffix: the length itself, unless counting in
        // characters.
        std::vector<std::uint32_t> bytes(index.lengths.begin(), index.lengths.end());
        for (std::size_t i = 0; i < byRank.size(); ++i) {
            if (i % cancelStride == 0 && cancel.IsSet()) {
                return false;
            }
            const auto p = static_cast<std::uint32_t>(index.suffixes[i]);
            const std::uint32_t packed = byRank[i];
            byRank[i] = noCandidate;
            if (index.characterMap != nullptr) {
                CharacterWindowBytes(p, packed >> 16, bytes); // a window past its room is no window
            }
            GroupWindows<GroupRanks>(open, static_cast<std::uint32_t>(i), p, packed & 0xFFFF, packed >> 16,
                                     bytes.data(), 0, kinds, events);
        }
        CloseGroups<GroupRanks>(open, events);
        return true;
    }

    // Drops the candidates that can never be chosen: forbidden ones and those that gain nothing even at
    // the cheapest code with all their windows. Their windows need no counting, so the parent chains skip
    // them. Returns, per old candidate, its new number, or for a dropped one the new number of its
    // nearest kept ancestor (noCandidate when there is none).
    LargeVector<std::uint32_t> DropHopeless(int cheapestCode)
    {
        LargeVector<CandidateNode>& nodes = index.nodes;
        LargeVector<CandidateRecord>& records = index.records;
        LargeVector<std::uint32_t> renumbered(nodes.size());
        std::uint32_t next = 0;
        // A parent is created before its children, so it is renumbered first.
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
            if (c % cancelStride == 0 && cancel.IsSet()) {
                return renumbered; // half done: the caller looks at the flag before using it
            }
            const std::uint32_t parent = records[c].parent;
            const std::uint32_t above = parent == noCandidate ? noCandidate : renumbered[parent];
            if ((records[c].state & excludedState) ||
                Gain(nodes[c].bound, nodes[c].length, cheapestCode) <= 0) {
                renumbered[c] = above;
                continue;
            }
            nodes[next] = nodes[c];
            records[next] = records[c];
            records[next].parent = above;
            renumbered[c] = next++;
        }
        nodes.resize(next);
        records.resize(next);
        return renumbered;
    }

    // Turns the longest candidate of each suffix rank into the kept one of each text position.
    // Look-ahead: the slot of the suffix 16 ranks further down is fetched for writing, as the positions
    // come in suffix order, anywhere in the text (part of the index's gain cited at CompareNeighbours; no
    // figure of its own was taken).
    [[nodiscard]] bool MapDeepest(const LargeVector<std::uint32_t>& byRank,
                                  const LargeVector<std::uint32_t>& kept)
    {
        constexpr std::size_t ahead = 16;
        LargeVector<std::uint32_t>& deepest = index.deepest;
        const std::size_t windows = index.suffixes.size();
        if (windows < n) {
            // No window starts inside a character.
            if (!FillWithLooks(deepest, n, noCandidate, cancel)) {
                return false;
            }
        } else {
            deepest.resize(n);
        }
        for (std::size_t i = 0; i < windows; ++i) {
            if (i % cancelStride == 0 && cancel.IsSet()) {
                return false;
            }
            if (i + ahead < windows) {
                PrefetchForWrite(deepest.data() + index.suffixes[i + ahead]);
            }
            deepest[static_cast<std::size_t>(index.suffixes[i])] =
                byRank[i] == noCandidate ? noCandidate : kept[byRank[i]];
        }
        return true;
    }

    SavingsIndex& index;
    const std::function<bool(std::string_view)>& forbidden;
    const CancelFlag& cancel;
    const std::size_t n;   // the text's size
    const std::size_t cap; // the longest length
};

} // namespace

SavingsIndex LoadText(std::span<const std::string_view> stretches,
                      std::span<const std::int16_t> requestedLengths, const CharacterMap* characterMap,
                      std::size_t longestCharacter)
{
    std::size_t size = 0;
    for (const std::string_view stretch : stretches) {
        size += stretch.size();
    }
    if (size >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw std::length_error("the counted text is too long for the savings choice");
    }
    SavingsIndex index;
    index.bytes.reserve(size);
    for (const std::string_view stretch : stretches) {
        index.bytes.insert(index.bytes.end(), stretch.begin(), stretch.end());
    }
    index.text = {index.bytes.data(), index.bytes.size()};
    index.textSize = static_cast<std::int64_t>(size);
    // Every length a run can ask for fits a window.
    static_assert(std::numeric_limits<std::int16_t>::max() <= longestWindow);
    for (const std::int16_t requested : requestedLengths) {
        if (requested >= 1 && requested <= index.textSize) {
            index.lengths.push_back(requested);
        }
    }
    index.longest = index.lengths.empty() ? 0 : index.lengths.back();
    index.characterMap = characterMap;
    if (characterMap != nullptr) {
        index.longest = static_cast<std::int32_t>(std::min<std::int64_t>(
            longestWindow, std::int64_t{index.longest} * static_cast<std::int64_t>(longestCharacter)));
    }
    return index;
}

bool BuildIndex(SavingsIndex& index, std::span<const std::string_view> stretches,
                const std::function<bool(std::string_view)>& forbidden, int cheapestCode,
                const CancelFlag& cancel)
{
    return IndexBuilder(index, forbidden, cancel).Build(stretches, cheapestCode);
}

} // namespace kestrin::savings
