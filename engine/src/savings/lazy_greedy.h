// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "savings/real_savings.h"
#include "savings/savings_index.h"

#include <optional>
#include <span>
#include <unordered_map>

namespace kestrin::savings {

// Heap entries of the greedy choice; the gain may be stale, but never below the true gain.
struct Ranked {
    std::int64_t gain;
    std::int32_t length;
    std::uint32_t firstPosition;
    std::uint32_t candidate;
};

// The greedy choice over an index of every string that occurs at least twice (the documented choice of
// ChooseEntries in real_savings.h).
//
// The choice works on the text as tokens (see cost below). Each candidate keeps a bound: the sum over
// its windows of what each would save at the floor code (the cheapest still to come). Replacing an
// occurrence changes the savings of the windows across it only, and those are counted again there, so
// the bound stays exact at the floor for a string that cannot overlap itself, and above the true gain
// otherwise; a candidate is counted in full only when it comes to the top of the heap under a dearer
// code, or when its occurrences overlap somewhere in the text. The candidate of a length nests in the
// candidate of the next shorter length around it, so a position needs to know only its longest candidate
// to reach all of them.
//
// lazy_greedy.cpp holds the heap and the bounds, greedy_occurrences.cpp what counts and replaces a
// candidate's occurrences.
class LazyGreedy
{
public:
    using Positions = LargeVector<std::uint32_t>; // of the text

    // dictionaryBytes: the most bytes the entries may take together, each its length and entryOverhead.
    LazyGreedy(SavingsIndex&& built, std::int64_t trackShareOfLast, std::int64_t dictionaryBytes,
               std::int64_t entryOverhead, const CancelFlag& cancel);
    LazyGreedy(const LazyGreedy&) = delete;
    LazyGreedy& operator=(const LazyGreedy&) = delete;

    // Puts the kept entries in place, then chooses the entries at the codes (each 0 or more); false when
    // cancelled.
    [[nodiscard]] bool Choose(std::span<const CodedEntry> kept, const std::vector<int>& codes,
                              std::atomic<std::int64_t>* chosenSoFar, std::vector<SavingsEntry>& entries);
    // After Choose: per entry, the text's bytes once it was in place (SavingsResult::runningBytes).
    [[nodiscard]] std::vector<std::int64_t> RunningBytes() { return std::move(running); }

private:
    // lazy_greedy.cpp: the steps of Choose.
    [[nodiscard]] std::vector<int> StartTokens(const std::vector<int>& codes);
    [[nodiscard]] bool PlaceKept(std::span<const CodedEntry> kept, std::vector<SavingsEntry>& entries);
    [[nodiscard]] bool PickBest(int code, std::size_t batch, std::optional<Ranked>& best);
    void TakeEntry(const Ranked& best, int code, std::vector<SavingsEntry>& entries);
    void RecordHeldOccurrences(std::vector<SavingsEntry>& entries) const;
    void Rekey();
    void RefillHeap(std::size_t batch);
    [[nodiscard]] std::int64_t NthBestBound(std::size_t nth) const;
    [[nodiscard]] bool KeepUpToDate(std::int64_t below);
    // The gain the candidate's bound promises at the floor code: never below its true gain.
    [[nodiscard]] std::int64_t BoundGain(std::uint32_t c) const
    {
        return index.nodes[c].bound - EntryBytes(c);
    }
    // What the candidate takes in the dictionary as an entry.
    [[nodiscard]] std::int64_t EntryBytes(std::uint32_t c) const { return index.nodes[c].length + overhead; }

    // greedy_occurrences.cpp: weighing and replacing occurrences.
    [[nodiscard]] std::int64_t CountGain(std::uint32_t c, int code, Positions* occurrences);
    [[nodiscard]] std::int64_t CountGainApart(std::uint32_t c, int code, Positions* occurrences) const;
    [[nodiscard]] std::int64_t CountGainOverlapping(std::uint32_t c, int code, Positions* occurrences);
    void FindOverlaps(std::uint32_t c);
    void SortPositions(Positions& positions) const;
    template <typename Visit> void ForEachWindow(std::uint32_t c, Visit&& visit) const;
    template <typename Visit> void ForEachWindowFrom(std::size_t from, std::size_t to, Visit&& visit) const;
    [[nodiscard]] std::int64_t Saving(std::size_t p, std::size_t l, std::int64_t covered, int code) const;
    [[nodiscard]] std::int64_t Covered(std::size_t p, std::size_t l) const;
    [[nodiscard]] std::size_t FirstReaching(std::size_t q) const;
    [[nodiscard]] bool RecountBounds();
    void ReplaceAll(std::span<const std::uint32_t> occurrences, std::size_t l, int code, std::uint32_t entry);
    void PrefetchAroundOccurrence(std::size_t q, std::size_t l) const;
    void PrefetchChainsAround(std::size_t q, std::size_t l) const;
    void ReplaceOccurrence(std::size_t q, std::size_t l, int code, std::uint32_t entry);
    void SumCosts(std::size_t from, std::size_t end, std::size_t q, std::size_t l, int code);
    void RecountWindowsAcross(std::size_t from, std::size_t q, std::size_t l);
    void CoverTokens(std::size_t q, std::size_t l, int code, std::uint32_t entry);

    // For the whole choice: the index (its bounds and states change as the choice goes), and its settings.
    SavingsIndex index;
    const std::int64_t trackShare;
    std::int64_t room;           // the bytes the dictionary has left for entries
    const std::int64_t overhead; // per entry, beyond its text
    const CancelFlag& cancel;

    // The text as tokens, from the start of Choose: every byte is one, at cost 1, until an entry replaces
    // an occurrence by one token at the cost of its code. cost[p] is the cost of the token starting at p
    // (0 inside a token), inside holds the positions within a token but its first, tokenEntry the entry
    // of a token's first byte.
    LargeVector<std::uint8_t> cost;
    PositionSet inside{0};
    LargeVector<std::uint32_t> tokenEntry;
    std::vector<std::int64_t> held;    // per entry: the occurrences it holds now
    std::vector<std::int64_t> running; // per entry: the tokens' cost once it was in place
    int floor = 0;                     // the cheapest code still to come
    bool replacedAny = false;

    // Which candidates are kept up to date, from the first KeepUpToDate on: the chains of those, per
    // position its longest (the next shorter one is the candidate's chain). Every other candidate gains
    // less than outdatedBelow at the floor code.
    UnfilledVector<std::uint32_t> chainHead; // written whole before it is read, so never filled first
    std::int64_t outdatedBelow = 0;

    // The heap of the lazy greedy. Every candidate outside it gains less than threshold at the floor
    // code; 1 when all that can gain are in.
    std::vector<Ranked> heap;
    std::int64_t threshold = std::numeric_limits<std::int64_t>::max();
    int heapCode = 0; // every key holds at this code and at dearer ones

    // Learnt once per candidate: the sorted positions of those whose occurrences overlap.
    std::unordered_map<std::uint32_t, Positions> overlapping;

    // Working arrays kept from one call to the next, as a text such as "aaaa" makes them large.
    Positions taken;                      // TakeEntry: the occurrences of the entry just chosen
    std::vector<std::int64_t> costBefore; // ReplaceOccurrence: the costs summed before and after
    std::vector<std::int64_t> costAfter;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> walking; // ReplaceOccurrence: position, candidate
    LargeVector<std::int64_t> savingAt;                           // CountGainOverlapping
    LargeVector<std::uint32_t> afterAt;
    LargeVector<std::int64_t> mostFrom;
};

} // namespace kestrin::savings
