// SPDX-License-Identifier: MIT
// The greedy choice of the savings mode, its heap and its bounds: entry after entry, the candidate that
// gains most with the tokens as they are. Method: a lazy greedy. The heap holds bounds that never fall
// below a candidate's gain; the top is counted exactly and taken when nothing can beat it. Only the
// candidates that may still be chosen are in the heap and kept up to date; the others come in when the
// choice gets down to them.

#include "savings/lazy_greedy.h"

#include "cancel_flag.h"
#include "text/entry_trie.h"
#include "text/line_ends.h"

#include <algorithm>

namespace kestrin::savings {
namespace {

// The documented order: larger gain, then shorter, then first met earlier.
bool RanksAbove(const Ranked& a, const Ranked& b)
{
    if (a.gain != b.gain) {
        return a.gain > b.gain;
    }
    if (a.length != b.length) {
        return a.length < b.length;
    }
    return a.firstPosition < b.firstPosition;
}

bool Below(const Ranked& a, const Ranked& b)
{
    return RanksAbove(b, a);
}

} // namespace

LazyGreedy::LazyGreedy(SavingsIndex&& built, std::int64_t trackShareOfLast, std::int64_t dictionaryBytes,
                       std::int64_t entryOverhead, const CancelFlag& cancelFlag)
    : index(std::move(built)), trackShare(trackShareOfLast), room(dictionaryBytes), overhead(entryOverhead),
      cancel(cancelFlag)
{
}

bool LazyGreedy::Choose(std::span<const CodedEntry> kept, const std::vector<int>& codes,
                        std::atomic<std::int64_t>* chosenSoFar, std::vector<SavingsEntry>& entries)
{
    const bool choosing = !codes.empty() && !index.lengths.empty();
    if (!choosing && kept.empty()) {
        return true;
    }
    const std::vector<int> floors = StartTokens(codes);
    if (cancel.IsSet() || !PlaceKept(kept, entries)) {
        return false;
    }
    if (!choosing) {
        RecordHeldOccurrences(entries);
        return true;
    }
    // A kept code of more bytes than its text makes the windows across its tokens save more than the
    // bounds the choice started from: every bound is counted again.
    if (std::any_of(
            kept.begin(), kept.end(),
            [](const CodedEntry& k) { return static_cast<std::size_t>(k.codeBytes) > k.text.size(); }) &&
        !KeepUpToDate(std::numeric_limits<std::int64_t>::min())) {
        return false;
    }
    // Only the candidates that may still be chosen are kept up to date: at first those whose bound gains
    // at least a share of what the last entry could gain at best; more come in when the choice gets down
    // to that.
    const std::int64_t lastBest = NthBestBound(codes.size());
    if (cancel.IsSet() ||
        !KeepUpToDate(std::max<std::int64_t>(1, lastBest / std::max<std::int64_t>(1, trackShare)))) {
        return false;
    }
    heapCode = floor;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int code = codes[i];
        if (floors[i] != floor) {
            // Every bound was counted at the old, lower floor: count them again at the new one. They only
            // fall, so the outsiders stay below the threshold.
            floor = floors[i];
            if (!RecountBounds()) {
                return false;
            }
            Rekey();
        } else if (code < heapCode) {
            Rekey();
        }
        std::optional<Ranked> best;
        if (!PickBest(code, 2 * (codes.size() - i) + 4, best)) {
            return false;
        }
        if (!best || best->gain <= 0) {
            break;
        }
        TakeEntry(*best, code, entries);
        if (chosenSoFar) {
            chosenSoFar->store(static_cast<std::int64_t>(entries.size() - kept.size()));
        }
    }
    RecordHeldOccurrences(entries);
    return true;
}

// Sets the text up as tokens of one byte each and the bounds at the floor code. Returns the floors:
// floors[i] is the smallest code from entry i on.
std::vector<int> LazyGreedy::StartTokens(const std::vector<int>& codes)
{
    const auto n = static_cast<std::size_t>(index.textSize);
    cost.assign(n + 1, 1);
    inside = PositionSet(n + 1);
    if (!FillWithLooks(tokenEntry, n, noCandidate, cancel)) {
        return codes; // the caller looks at the flag before it goes on
    }
    if (const CharacterMap* characterMap = index.characterMap) {
        // Counting in characters, each character is a token of its bytes. A cancel leaves the tokens half
        // set up, and the caller looks at the flag before it goes on.
        for (std::size_t p = 0, step = 0; p < n; ++step) {
            if (step % cancelStride == 0 && cancel.IsSet()) {
                break;
            }
            const std::size_t next = characterMap->NextCharacterStart(p);
            cost[p] = static_cast<std::uint8_t>(next - p);
            for (std::size_t q = p + 1; q < next; ++q) {
                cost[q] = 0;
                inside.Add(q);
            }
            p = next;
        }
    }
    // The bounds hold at the floor; a candidate whose bound gains nothing there never will again, since
    // covered costs only fall.
    std::vector<int> floors(codes);
    for (std::size_t i = floors.size(); i-- > 1;) {
        floors[i - 1] = std::min(floors[i - 1], floors[i]);
    }
    floor = floors.empty() ? 0 : floors[0];
    // At first every window starts and ends at token edges and covers its length in bytes.
    for (CandidateNode& node : index.nodes) {
        node.bound *= std::max(0, int{node.length} - floor); // from the number of windows
    }
    return floors;
}

// Puts the kept entries first, each taking its bytes of the dictionary, and encodes the text by longest
// match over them alone: at each character start of a line, the longest kept text there becomes a token
// at its code. Returns false when cancelled.
bool LazyGreedy::PlaceKept(std::span<const CodedEntry> kept, std::vector<SavingsEntry>& entries)
{
    for (const CodedEntry& k : kept) {
        entries.push_back({std::string(k.text), 0, 0, std::max(0, k.codeBytes), true});
        held.push_back(0);
        room -= static_cast<std::int64_t>(k.text.size()) + overhead;
    }
    if (kept.empty()) {
        return true;
    }
    const EntryTrie trie(kept);
    const auto n = static_cast<std::size_t>(index.textSize);
    std::vector<std::int64_t> saved(kept.size(), 0);
    const CharacterMap* characterMap = index.characterMap;
    std::size_t lineEnd = 0; // where the line of p ends: a line end, a break or a stretch end
    for (std::size_t p = 0, step = 0; p < n; ++step) {
        if (step % cancelStride == 0 && cancel.IsSet()) {
            return false;
        }
        const std::size_t next = characterMap != nullptr ? characterMap->NextCharacterStart(p) : p + 1;
        if (characterMap != nullptr ? characterMap->IsBreak(p) : IsLineEnd(index.text[p])) {
            p = next;
            continue;
        }
        if (lineEnd <= p) {
            lineEnd = index.boundaries.NextFrom(p + 1, n);
        }
        const EntryTrie::Match match = trie.LongestMatch(index.text.substr(0, lineEnd), p);
        if (match.entry < 0) {
            p = next;
            continue;
        }
        const auto e = static_cast<std::uint32_t>(match.entry);
        saved[e] += Covered(p, match.length) - entries[e].codeBytes;
        CoverTokens(p, match.length, entries[e].codeBytes, e);
        ++held[e];
        p += match.length;
    }
    for (const std::int64_t one : saved) {
        running.push_back((running.empty() ? index.textSize : running.back()) - one);
    }
    replacedAny = true;
    return true;
}

// Every key of the heap becomes its bound at the floor, which holds at this code and at dearer ones.
void LazyGreedy::Rekey()
{
    for (Ranked& r : heap) {
        r.gain = BoundGain(r.candidate);
    }
    std::make_heap(heap.begin(), heap.end(), Below);
    heapCode = floor;
}

// Finds the candidate to take at the code: the top of the heap, counted exactly, once nothing can beat
// it (a stale key above it, a candidate outside the heap, or one not kept up to date). best stays empty
// when no candidate is left. `batch` is about how many candidates come into the heap at a time. Returns
// false when cancelled.
bool LazyGreedy::PickBest(int code, std::size_t batch, std::optional<Ranked>& best)
{
    while (!best) {
        if (cancel.IsSet()) {
            return false;
        }
        if (heap.empty()) {
            if (threshold > 1) {
                RefillHeap(batch);
            } else if (outdatedBelow > 1) {
                if (!KeepUpToDate(1)) {
                    return false;
                }
            } else {
                return true;
            }
            continue;
        }
        std::pop_heap(heap.begin(), heap.end(), Below);
        Ranked top = heap.back();
        heap.pop_back();
        CandidateRecord& record = index.records[top.candidate];
        // A candidate that does not fit what is left of the dictionary never will: the room only shrinks.
        if (BoundGain(top.candidate) <= 0 || EntryBytes(top.candidate) > room) {
            record.state = (record.state & notInHeap) | excludedState;
            continue;
        }
        top.gain = CountGain(top.candidate, code, nullptr);
        const bool staleAbove = !heap.empty() && RanksAbove(heap.front(), top);
        // The best of the heap may still lose to a candidate left out of it: let more in first.
        const bool outsiderMayWin = top.gain < threshold && threshold > 1;
        // Or to a candidate not kept up to date: bring in those that may.
        const bool outdatedMayWin = !staleAbove && top.gain < outdatedBelow && outdatedBelow > 1;
        if (!staleAbove && !outsiderMayWin && !outdatedMayWin) {
            best = top;
            return true;
        }
        heapCode = std::max(heapCode, code);
        heap.push_back(top);
        std::push_heap(heap.begin(), heap.end(), Below);
        if (outdatedMayWin) {
            if (!KeepUpToDate(std::max<std::int64_t>(1, top.gain / 2))) {
                return false;
            }
        } else if (!staleAbove) {
            RefillHeap(batch);
        }
    }
    return true;
}

// Makes the candidate the next entry at the code: its occurrences become tokens of the entry.
void LazyGreedy::TakeEntry(const Ranked& best, int code, std::vector<SavingsEntry>& entries)
{
    CandidateRecord& record = index.records[best.candidate];
    record.state = (record.state & notInHeap) | chosenState;
    const std::int64_t saved = CountGain(best.candidate, code, &taken) + EntryBytes(best.candidate);
    running.push_back((running.empty() ? index.textSize : running.back()) - saved);
    const auto entry = static_cast<std::uint32_t>(entries.size());
    held.push_back(static_cast<std::int64_t>(taken.size()));
    const auto length = static_cast<std::size_t>(best.length);
    ReplaceAll(taken, length, code, entry);
    room -= EntryBytes(best.candidate);
    entries.push_back({std::string(index.text.substr(best.firstPosition, length)), 0, 0, code});
}

// An entry keeps the occurrences that no later entry took over.
void LazyGreedy::RecordHeldOccurrences(std::vector<SavingsEntry>& entries) const
{
    for (std::size_t e = 0; e < entries.size(); ++e) {
        SavingsEntry& entry = entries[e];
        entry.occurrences = held[e];
        entry.saved = held[e] * (static_cast<std::int64_t>(entry.text.size()) - entry.codeBytes);
    }
}

// Lets in the candidates outside the heap whose bound reaches a new threshold, chosen so that about
// `batch` come in (all when fewer are left). The heap holds only the candidates with a chance: as long as
// its best true gain reaches the threshold, no candidate outside can beat it.
void LazyGreedy::RefillHeap(std::size_t batch)
{
    const auto outside = [&](std::uint32_t c) {
        return (index.records[c].state & (excludedState | chosenState | heapState | upToDateState)) ==
               upToDateState;
    };
    LargeVector<std::int64_t> bounds;
    for (std::uint32_t c = 0; c < index.nodes.size(); ++c) {
        if (outside(c) && BoundGain(c) > 0) {
            bounds.push_back(BoundGain(c));
        }
    }
    threshold = 1;
    if (bounds.size() > batch) {
        std::nth_element(bounds.begin(), bounds.begin() + static_cast<std::ptrdiff_t>(batch - 1),
                         bounds.end(), std::greater<>());
        threshold = bounds[batch - 1];
    }
    for (std::uint32_t c = 0; c < index.nodes.size(); ++c) {
        if (outside(c) && BoundGain(c) >= threshold) {
            index.records[c].state |= heapState;
            heap.push_back({BoundGain(c), index.nodes[c].length, index.records[c].firstPosition, c});
        }
    }
    std::make_heap(heap.begin(), heap.end(), Below);
}

// The bound gain of the nth best candidate at the floor, or 0 when there are fewer.
std::int64_t LazyGreedy::NthBestBound(std::size_t nth) const
{
    LargeVector<std::int64_t> bounds;
    bounds.reserve(index.nodes.size());
    for (std::uint32_t c = 0; c < index.nodes.size(); ++c) {
        if (!(index.records[c].state & excludedState)) {
            bounds.push_back(BoundGain(c));
        }
    }
    if (nth == 0 || bounds.size() < nth) {
        return 0;
    }
    std::nth_element(bounds.begin(), bounds.begin() + static_cast<std::ptrdiff_t>(nth - 1), bounds.end(),
                     std::greater<>());
    return bounds[nth - 1];
}

// Keeps up to date, from now on, every candidate that may still be chosen and whose bound gains at least
// `below`: the chains that replacing an occurrence walks hold only these, and their bounds are counted
// again. The bounds of the others are stale, but never below the truth, as gains only fall. Returns
// false when cancelled.
bool LazyGreedy::KeepUpToDate(std::int64_t below)
{
    LargeVector<CandidateNode>& nodes = index.nodes;
    LargeVector<CandidateRecord>& records = index.records;
    const auto keep = [&](std::uint32_t c) {
        return (records[c].state & (excludedState | chosenState)) == 0 &&
               ((records[c].state & upToDateState) || BoundGain(c) >= below);
    };
    // A parent comes before its children, so the nearest kept ancestor of each is known in one pass.
    for (std::uint32_t c = 0; c < nodes.size(); ++c) {
        if (c % cancelStride == 0 && cancel.IsSet()) {
            return false;
        }
        records[c].state &= static_cast<std::uint8_t>(~upToDateState);
        const std::uint32_t parent = records[c].parent;
        nodes[c].chain =
            parent == noCandidate || (records[parent].state & upToDateState) ? parent : nodes[parent].chain;
        if (keep(c)) {
            records[c].state |= upToDateState;
        }
    }
    const LargeVector<std::uint32_t>& deepest = index.deepest;
    chainHead.resize(deepest.size());
    for (std::size_t p = 0; p < deepest.size(); ++p) {
        if (p % cancelStride == 0 && cancel.IsSet()) {
            return false;
        }
        const std::uint32_t c = deepest[p];
        chainHead[p] = c == noCandidate || (records[c].state & upToDateState) ? c : nodes[c].chain;
    }
    outdatedBelow = below;
    threshold = std::numeric_limits<std::int64_t>::max(); // newly kept ones may beat the heap's best
    // Before the first replacement every bound is still the one the choice started from.
    return !replacedAny || RecountBounds();
}

} // namespace kestrin::savings
