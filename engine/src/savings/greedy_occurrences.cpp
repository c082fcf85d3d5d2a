// SPDX-License-Identifier: MIT
// The occurrences of the greedy choice: what a candidate's occurrences save with the tokens as they are,
// and replacing an entry's occurrences by its tokens. Method: a window saves the cost of the tokens it
// covers less the code when it starts and ends at token edges; occurrences that may overlap are chosen by
// a dynamic programme over their sorted positions. Replacing an occurrence recounts, along the chains
// of the kept candidates, only the windows across it.

#include "cancel_flag.h"
#include "savings/lazy_greedy.h"

#include <algorithm>

namespace kestrin::savings {

// The positions of the candidate's windows, in suffix order.
// Look-ahead: they lie anywhere in the text, so what the visits look up there (the boundary and token
// words, the costs) is fetched 16 windows ahead. Listing an entry's occurrences on generated 16 MiB
// (2-8, 1024 x 2) went from 0.9 s to 0.4 s (bench/README.md, "Where the time went").
template <typename Visit> void LazyGreedy::ForEachWindow(std::uint32_t c, Visit&& visit) const
{
    constexpr std::uint32_t ahead = 16;
    const auto l = static_cast<std::size_t>(index.nodes[c].length);
    const std::uint32_t end = index.records[c].rangeEnd;
    for (std::uint32_t i = index.records[c].rangeBegin; i < end; ++i) {
        if (i + ahead < end) {
            const auto later = static_cast<std::size_t>(index.suffixes[i + ahead]);
            index.boundaries.Prefetch(later + 1);
            inside.Prefetch(later);
            PrefetchForRead(cost.data() + later);
        }
        const auto p = static_cast<std::size_t>(index.suffixes[i]);
        // Suffixes in the range that run into a stretch end share the bytes but are no window.
        if (index.boundaries.NextFrom(p + 1, p + l) == p + l) {
            visit(static_cast<std::uint32_t>(p));
        }
    }
}

// Calls visit(candidate, saving) for every window of a kept candidate that starts in [from, to), with
// what it saves at the floor code now.
template <typename Visit>
void LazyGreedy::ForEachWindowFrom(std::size_t from, std::size_t to, Visit&& visit) const
{
    for (std::size_t p = from; p < to; ++p) {
        std::uint32_t c = chainHead[p];
        if (c == noCandidate || inside.Has(p)) {
            continue;
        }
        // The running cost of the bytes from p, for the chain's lengths from the longest down.
        auto l = static_cast<std::size_t>(index.nodes[c].length);
        std::int64_t covered = Covered(p, l);
        for (; c != noCandidate; c = index.nodes[c].chain) {
            const auto lc = static_cast<std::size_t>(index.nodes[c].length);
            while (l > lc) {
                covered -= cost[p + --l];
            }
            visit(c, Saving(p, lc, covered, floor));
        }
    }
}

// What the window [p, p + l) would save at the code: the cost of the tokens it covers less the code, when
// it starts and ends at token edges and saves anything; else 0. covered is the sum of the costs of the
// bytes from p, where a token's first byte carries its whole cost.
std::int64_t LazyGreedy::Saving(std::size_t p, std::size_t l, std::int64_t covered, int code) const
{
    if (inside.Has(p) || inside.Has(p + l)) {
        return 0;
    }
    return std::max<std::int64_t>(0, covered - code);
}

std::int64_t LazyGreedy::Covered(std::size_t p, std::size_t l) const
{
    std::int64_t sum = 0;
    for (std::size_t q = p; q < p + l; ++q) {
        sum += cost[q];
    }
    return sum;
}

// The candidate's gain now at the code: the occurrences that start and end at token edges and save
// anything, without overlap, as many and as saving as can be (the earliest among equal choices), less
// the entry's own bytes in the dictionary. occurrences, when given, receives their positions, ascending.
std::int64_t LazyGreedy::CountGain(std::uint32_t c, int code, Positions* occurrences)
{
    if (!(index.records[c].state & overlapsKnownState)) {
        FindOverlaps(c);
    }
    if (occurrences) {
        occurrences->clear();
    }
    return index.records[c].state & overlapState ? CountGainOverlapping(c, code, occurrences)
                                                 : CountGainApart(c, code, occurrences);
}

// Occurrences that never overlap: each one that saves anything counts. At the floor the bound is the
// exact sum already.
std::int64_t LazyGreedy::CountGainApart(std::uint32_t c, int code, Positions* occurrences) const
{
    if (code == floor && !occurrences) {
        return BoundGain(c);
    }
    const auto l = static_cast<std::size_t>(index.nodes[c].length);
    std::int64_t saved = 0;
    ForEachWindow(c, [&](std::uint32_t p) {
        const std::int64_t one = Saving(p, l, Covered(p, l), code);
        if (one > 0) {
            saved += one;
            if (occurrences) {
                occurrences->push_back(p);
            }
        }
    });
    if (occurrences) {
        SortPositions(*occurrences);
    }
    return saved - EntryBytes(c);
}

// Occurrences that overlap: the non-overlapping choice that saves most, found from the right (most[j]:
// the best from occurrence j on), then taken from the left, earliest first on a tie.
std::int64_t LazyGreedy::CountGainOverlapping(std::uint32_t c, int code, Positions* occurrences)
{
    const auto l = static_cast<std::size_t>(index.nodes[c].length);
    const Positions& positions = overlapping.at(c);
    const std::size_t k = positions.size();
    LargeVector<std::int64_t>& saving = savingAt;
    LargeVector<std::uint32_t>& after = afterAt; // after[j]: the first occurrence that does not overlap j
    LargeVector<std::int64_t>& most = mostFrom;
    saving.resize(std::max(saving.size(), k));
    after.resize(std::max(after.size(), k));
    most.resize(std::max(most.size(), k + 1));
    for (std::size_t j = 0, next = 0; j < k; ++j) {
        saving[j] = Saving(positions[j], l, Covered(positions[j], l), code);
        next = std::max(next, j + 1);
        while (next < k && positions[next] < positions[j] + l) {
            ++next;
        }
        after[j] = static_cast<std::uint32_t>(next);
    }
    most[k] = 0;
    for (std::size_t j = k; j-- > 0;) {
        most[j] = most[j + 1];
        if (saving[j] > 0) {
            most[j] = std::max(most[j], saving[j] + most[after[j]]);
        }
    }
    if (occurrences) {
        for (std::size_t j = 0; j < k;) {
            if (saving[j] > 0 && saving[j] + most[after[j]] == most[j]) {
                occurrences->push_back(positions[j]);
                j = after[j];
            } else {
                ++j;
            }
        }
    }
    return most[0] - EntryBytes(c);
}

// Finds out whether two occurrences of the candidate overlap anywhere; if so, keeps its positions.
void LazyGreedy::FindOverlaps(std::uint32_t c)
{
    index.records[c].state |= overlapsKnownState;
    const std::string_view s =
        index.text.substr(index.records[c].firstPosition, static_cast<std::size_t>(index.nodes[c].length));
    // Occurrences can overlap only when the string has a proper border (a prefix that is also a suffix).
    std::vector<std::size_t> border(s.size(), 0);
    for (std::size_t i = 1, b = 0; i < s.size(); ++i) {
        while (b > 0 && s[i] != s[b]) {
            b = border[b - 1];
        }
        b += s[i] == s[b] ? 1U : 0U;
        border[i] = b;
    }
    if (border.back() == 0) {
        return;
    }
    Positions positions;
    positions.reserve(index.records[c].rangeEnd - index.records[c].rangeBegin);
    ForEachWindow(c, [&](std::uint32_t p) { positions.push_back(p); });
    SortPositions(positions);
    for (std::size_t i = 1; i < positions.size(); ++i) {
        if (positions[i] - positions[i - 1] < s.size()) {
            index.records[c].state |= overlapState;
            overlapping.emplace(c, std::move(positions));
            return;
        }
    }
}

// Sorts distinct positions of the text. When they are many for the text's size (a text such as "aaaa"
// gives millions), marking them in a set and reading it in order is faster than sorting.
void LazyGreedy::SortPositions(Positions& positions) const
{
    const auto n = static_cast<std::size_t>(index.textSize);
    if (positions.size() < n / 64) {
        std::sort(positions.begin(), positions.end());
        return;
    }
    PositionSet marked(n);
    for (const std::uint32_t p : positions) {
        marked.Add(p);
    }
    positions.clear();
    for (std::size_t p = marked.NextFrom(0, n); p < n; p = marked.NextFrom(p + 1, n)) {
        positions.push_back(static_cast<std::uint32_t>(p));
    }
}

// Counts every kept candidate's bound again, at the current floor and with the tokens as they are;
// false when cancelled.
bool LazyGreedy::RecountBounds()
{
    for (std::uint32_t c = 0; c < index.nodes.size(); ++c) {
        if (index.records[c].state & upToDateState) {
            index.nodes[c].bound = 0;
        }
    }
    const auto n = static_cast<std::size_t>(index.textSize);
    for (std::size_t p = 0; p < n; p += cancelStride) {
        if (cancel.IsSet()) {
            return false;
        }
        ForEachWindowFrom(p, std::min(n, p + cancelStride),
                          [&](std::uint32_t c, std::int64_t saving) { index.nodes[c].bound += saving; });
    }
    return true;
}

// The first position where a window of some length may start and still hold position q.
std::size_t LazyGreedy::FirstReaching(std::size_t q) const
{
    const auto cap = static_cast<std::size_t>(index.longest);
    return q >= cap - 1 ? q - (cap - 1) : 0;
}

// Replaces every occurrence, in ascending order.
// Look-ahead: the occurrences lie anywhere in the text, so what ReplaceOccurrence will look up around an
// occurrence is fetched 8 occurrences ahead, and the candidates of the chains there 4 ahead. With the
// chain links in the 16-byte nodes this took replacing on generated 16 MiB (2-8, 1024 x 2) from 3.0 s to
// 1.5 s (bench/README.md, "Where the time went").
void LazyGreedy::ReplaceAll(std::span<const std::uint32_t> occurrences, std::size_t l, int code,
                            std::uint32_t entry)
{
    replacedAny = true;
    constexpr std::size_t textsAhead = 8;
    constexpr std::size_t chainsAhead = 4;
    for (std::size_t j = 0; j < occurrences.size(); ++j) {
        if (j + textsAhead < occurrences.size()) {
            PrefetchAroundOccurrence(occurrences[j + textsAhead], l);
        }
        if (j + chainsAhead < occurrences.size()) {
            PrefetchChainsAround(occurrences[j + chainsAhead], l);
        }
        ReplaceOccurrence(occurrences[j], l, code, entry);
    }
}

// Asks for the chain heads, tokens, costs and token words that replacing [q, q + l) reads and writes.
void LazyGreedy::PrefetchAroundOccurrence(std::size_t q, std::size_t l) const
{
    const auto cap = static_cast<std::size_t>(index.longest);
    const std::size_t from = FirstReaching(q);
    for (std::size_t x = from; x < q + l; x += 16) {
        PrefetchForRead(chainHead.data() + x);
    }
    PrefetchForRead(chainHead.data() + q + l - 1);
    PrefetchForWrite(tokenEntry.data() + q);
    PrefetchForWrite(tokenEntry.data() + q + l - 1);
    PrefetchForWrite(cost.data() + from);
    PrefetchForWrite(cost.data() + std::min(q + l + cap - 2, cost.size() - 1));
    inside.Prefetch(from);
}

// Asks for the first candidates of the chains of the windows across [q, q + l), whose bounds will change.
void LazyGreedy::PrefetchChainsAround(std::size_t q, std::size_t l) const
{
    for (std::size_t x = FirstReaching(q); x < q + l; ++x) {
        const std::uint32_t c = chainHead[x];
        if (c != noCandidate) {
            PrefetchForWrite(index.nodes.data() + c);
        }
    }
}

// Replaces the occurrence [q, q + l) by a token of the entry: the tokens it covers give way (their
// entries hold one occurrence less), and every window across it has its saving counted again.
void LazyGreedy::ReplaceOccurrence(std::size_t q, std::size_t l, int code, std::uint32_t entry)
{
    const auto cap = static_cast<std::size_t>(index.longest);
    const std::size_t from = FirstReaching(q);
    const std::size_t end = std::min(static_cast<std::size_t>(index.textSize), q + l - 1 + cap);
    SumCosts(from, end, q, l, code);
    RecountWindowsAcross(from, q, l);
    CoverTokens(q, l, code, entry);
}

// The costs from `from` to `end`, summed, before and after replacing [q, q + l) at the code.
void LazyGreedy::SumCosts(std::size_t from, std::size_t end, std::size_t q, std::size_t l, int code)
{
    costBefore.resize(std::max(costBefore.size(), end - from + 1));
    costAfter.resize(costBefore.size());
    costBefore[0] = costAfter[0] = 0;
    for (std::size_t x = from; x < end; ++x) {
        const std::int64_t now = cost[x];
        const std::int64_t then = x == q ? code : (x > q && x < q + l ? 0 : now);
        costBefore[x - from + 1] = costBefore[x - from] + now;
        costAfter[x - from + 1] = costAfter[x - from] + then;
    }
}

// The bound of every kept candidate with a window across [q, q + l) changes by what that window saves
// after the replacement less what it saved before. The chains of the positions are walked side by side,
// one step of each in turn, so that the look-ups of their candidates, which lie anywhere in memory,
// overlap. Windows that start inside a token saved nothing, and still do not.
void LazyGreedy::RecountWindowsAcross(std::size_t from, std::size_t q, std::size_t l)
{
    const auto insideAfter = [&](std::size_t x) { return (x > q && x < q + l) || inside.Has(x); };
    walking.clear();
    for (std::size_t p = from; p < q + l; ++p) {
        if (chainHead[p] != noCandidate && !inside.Has(p)) {
            walking.emplace_back(static_cast<std::uint32_t>(p), chainHead[p]);
        }
    }
    while (!walking.empty()) {
        std::size_t kept = 0;
        for (const auto& [start, c] : walking) {
            CandidateNode& node = index.nodes[c];
            const std::size_t p = start;
            const std::size_t e = p + node.length;
            if (e <= q) {
                continue; // this and every shorter window end before the replaced text
            }
            const std::int64_t was =
                inside.Has(e)
                    ? 0
                    : std::max<std::int64_t>(0, costBefore[e - from] - costBefore[p - from] - floor);
            const std::int64_t is =
                insideAfter(p) || insideAfter(e)
                    ? 0
                    : std::max<std::int64_t>(0, costAfter[e - from] - costAfter[p - from] - floor);
            node.bound += is - was;
            if (node.chain != noCandidate) {
                walking[kept++] = {start, node.chain};
            }
        }
        walking.resize(kept);
    }
}

// The bytes of [q, q + l) become one token of the entry; the entries of the tokens it covers hold one
// occurrence less.
void LazyGreedy::CoverTokens(std::size_t q, std::size_t l, int code, std::uint32_t entry)
{
    for (std::size_t p = q; p < q + l; ++p) {
        if (tokenEntry[p] != noCandidate) {
            --held[tokenEntry[p]];
            tokenEntry[p] = noCandidate;
        }
        cost[p] = 0;
        if (p > q) {
            inside.Add(p);
        }
    }
    cost[q] = static_cast<std::uint8_t>(code);
    tokenEntry[q] = entry;
}

} // namespace kestrin::savings
