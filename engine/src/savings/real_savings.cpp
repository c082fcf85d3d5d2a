#include "savings/real_savings.h"

#include "large_memory.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <divsufsort.h>
#include <exception>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace kestrin {
namespace {

constexpr std::int64_t longestLength = 65535;
constexpr std::uint32_t noCandidate = std::numeric_limits<std::uint32_t>::max();
// Long loops look at the cancel flag once per this many steps.
constexpr std::size_t cancelStride = std::size_t{1} << 18;
// Up to this longest length, neighbouring suffixes are compared byte by byte; above it, a linear-time
// method spares repetitive text from comparing up to the longest length at every suffix.
constexpr std::size_t comparedCap = 32;

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool Stopped(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// A set of positions 0 to size - 1, one bit each.
class PositionSet
{
public:
    explicit PositionSet(std::size_t size) : words(size / 64 + 1, 0) {}

    [[nodiscard]] bool Has(std::size_t p) const { return (words[p >> 6] >> (p & 63)) & 1; }
    void Add(std::size_t p) { words[p >> 6] |= std::uint64_t{1} << (p & 63); }
    void Prefetch(std::size_t p) const { __builtin_prefetch(words.data() + (p >> 6)); }
    // The first position of the set in [p, limit), or limit when there is none.
    [[nodiscard]] std::size_t NextFrom(std::size_t p, std::size_t limit) const
    {
        std::size_t w = p >> 6;
        if (p >= limit || w >= words.size()) {
            return limit;
        }
        std::uint64_t bits = words[w] & (~std::uint64_t{0} << (p & 63));
        while (bits == 0) {
            ++w;
            if (w >= words.size() || (w << 6) >= limit) {
                return limit;
            }
            bits = words[w];
        }
        return std::min(limit, (w << 6) + static_cast<std::size_t>(std::countr_zero(bits)));
    }

private:
    LargeVector<std::uint64_t> words; // read at random all over a large text
};

// The entries in a trie, for finding every entry that starts at a position of the text.
class EntryTrie
{
public:
    explicit EntryTrie(std::span<const CodedEntry> entries)
    {
        std::vector<std::uint32_t> order;
        for (std::uint32_t i = 0; i < entries.size(); ++i) {
            const std::string_view text = entries[i].text;
            if (!text.empty() && text.find_first_of("\r\n") == std::string_view::npos) {
                order.push_back(i);
            }
        }
        // Sorted texts make every node's edges come in ascending byte order.
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return entries[a].text < entries[b].text; });
        struct BuildNode {
            std::int32_t entry = -1;
            int code = 0;
            std::vector<std::pair<unsigned char, std::uint32_t>> edges;
        };
        std::vector<BuildNode> build(1);
        for (const std::uint32_t i : order) {
            std::uint32_t node = 0;
            for (const char c : entries[i].text) {
                const auto byte = static_cast<unsigned char>(c);
                auto& edges = build[node].edges;
                if (edges.empty() || edges.back().first != byte) {
                    edges.emplace_back(byte, static_cast<std::uint32_t>(build.size()));
                    node = static_cast<std::uint32_t>(build.size());
                    build.emplace_back();
                } else {
                    node = edges.back().second;
                }
            }
            const int code = std::max(0, entries[i].codeBytes);
            if (build[node].entry < 0 || code < build[node].code) {
                build[node].entry = static_cast<std::int32_t>(i);
                build[node].code = code;
            }
            longest = std::max(longest, entries[i].text.size());
        }
        nodes.resize(build.size());
        for (std::size_t n = 0; n < build.size(); ++n) {
            nodes[n] = {build[n].entry, build[n].code, static_cast<std::uint32_t>(edgeBytes.size()),
                        static_cast<std::uint32_t>(build[n].edges.size())};
            for (const auto& [byte, child] : build[n].edges) {
                edgeBytes.push_back(byte);
                edgeTargets.push_back(child);
            }
        }
        rootChild.fill(0);
        for (const auto& [byte, child] : build[0].edges) {
            rootChild[byte] = child;
        }
    }

    [[nodiscard]] std::size_t Longest() const { return longest; }

    // Calls found(length, entry, codeBytes) for each entry that text[0, size) starts with, shortest first.
    template <typename Found> void ForEachMatch(const char* text, std::size_t size, Found&& found) const
    {
        if (size == 0) {
            return;
        }
        std::uint32_t node = rootChild[static_cast<unsigned char>(text[0])];
        for (std::size_t depth = 1; node != 0; ++depth) {
            const Node& at = nodes[node];
            if (at.entry >= 0) {
                found(depth, at.entry, at.code);
            }
            if (depth == size || at.edgeCount == 0) {
                return;
            }
            node = Child(at, static_cast<unsigned char>(text[depth]));
        }
    }

private:
    struct Node {
        std::int32_t entry;
        int code;
        std::uint32_t firstEdge;
        std::uint32_t edgeCount;
    };

    // The child along the byte, or 0 (the root is nobody's child).
    [[nodiscard]] std::uint32_t Child(const Node& node, unsigned char byte) const
    {
        const auto* begin = edgeBytes.data() + node.firstEdge;
        const auto* end = begin + node.edgeCount;
        const auto* found =
            node.edgeCount <= 8 ? std::find(begin, end, byte) : std::lower_bound(begin, end, byte);
        return found != end && *found == byte
                   ? edgeTargets[static_cast<std::size_t>(found - edgeBytes.data())]
                   : 0;
    }

    std::array<std::uint32_t, 256> rootChild{};
    std::vector<Node> nodes;
    std::vector<unsigned char> edgeBytes;
    std::vector<std::uint32_t> edgeTargets;
    std::size_t longest = 0;
};

// Calls segment(text, size) for every run of bytes between line ends and stretch ends, and lineEnd()
// for every line end, in text order.
template <typename Segment, typename LineEnd>
void ForEachSegment(std::span<const std::string_view> stretches, Segment&& segment, LineEnd&& lineEnd)
{
    for (const std::string_view stretch : stretches) {
        std::size_t start = 0;
        while (start <= stretch.size()) {
            const std::size_t end = std::min(stretch.find_first_of("\r\n", start), stretch.size());
            if (end > start) {
                segment(stretch.data() + start, end - start);
            }
            if (end < stretch.size()) {
                lineEnd();
            }
            start = end + 1;
        }
    }
}

// One encoding; pieces, when given, receive the parse. Returns -1 when cancelled.
std::int64_t Encode(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                    ParseRule rule, std::vector<std::int32_t>* pieces, const std::atomic<bool>* cancel)
{
    const EntryTrie trie(entries);
    std::int64_t bytes = 0;
    bool stopped = false;
    // Best parse, backwards: cost[p] is the smallest size of the rest of the segment from p. Only the
    // costs of the next Longest() positions are needed, so they live in a ring.
    std::size_t ringSize = std::bit_ceil(trie.Longest() + 1);
    std::vector<std::int64_t> cost(ringSize);
    std::vector<std::int32_t> choice;
    std::size_t done = 0;
    const auto segment = [&](const char* text, std::size_t size) {
        // A look at the flag per segment that ends a stride of text: a line is short to encode.
        if (!stopped && done / cancelStride != (done + size) / cancelStride) {
            stopped = Stopped(cancel);
        }
        done += size;
        if (stopped) {
            return;
        }
        if (rule == ParseRule::LongestMatch) {
            for (std::size_t p = 0; p < size;) {
                std::size_t length = 0;
                std::int32_t entry = -1;
                int code = 1;
                trie.ForEachMatch(text + p, size - p, [&](std::size_t l, std::int32_t e, int c) {
                    length = l;
                    entry = e;
                    code = c;
                });
                bytes += code;
                p += std::max<std::size_t>(length, 1);
                if (pieces) {
                    pieces->push_back(entry);
                }
            }
            return;
        }
        const std::size_t mask = ringSize - 1;
        if (pieces) {
            choice.assign(size, -1);
        }
        cost[size & mask] = 0;
        for (std::size_t p = size; p-- > 0;) {
            std::int64_t best = 1 + cost[(p + 1) & mask];
            std::int32_t chosen = -1;
            trie.ForEachMatch(text + p, size - p, [&](std::size_t l, std::int32_t e, int c) {
                if (c + cost[(p + l) & mask] < best) {
                    best = c + cost[(p + l) & mask];
                    chosen = e;
                }
            });
            cost[p & mask] = best;
            if (pieces) {
                choice[p] = chosen;
            }
        }
        bytes += cost[0];
        if (pieces) {
            for (std::size_t p = 0; p < size;) {
                pieces->push_back(choice[p]);
                p += choice[p] < 0 ? 1 : entries[static_cast<std::size_t>(choice[p])].text.size();
            }
        }
    };
    ForEachSegment(stretches, segment, [&] {
        ++bytes;
        if (pieces) {
            pieces->push_back(-1);
        }
    });
    return stopped ? -1 : bytes;
}

// Heap entries of the greedy choice; the gain may be stale, but never below the true gain.
struct Ranked {
    std::int64_t gain;
    std::int32_t length;
    std::uint32_t firstPosition;
    std::uint32_t candidate;
};

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

std::int64_t Gain(std::int64_t occurrences, std::int64_t length, int code)
{
    return occurrences * (length - code) - length;
}

} // namespace

// The greedy choice over an index of every string that occurs at least twice.
//
// The index: a suffix array of the whole text groups equal windows of each length as runs of suffixes
// sharing that many bytes. Every group of two or more windows is a candidate; the candidate of a
// length nests in the candidate of the next shorter requested length (its parent), so a position
// needs to know only its longest candidate (deepest) to reach all of them.
//
// The choice works on the text as tokens (see cost below). Each candidate keeps a bound: the sum over
// its windows of what each would save at the floor code (the cheapest still to come). Replacing an
// occurrence changes the savings of the windows across it only, and those are counted again there, so
// the bound stays exact at the floor for a string that cannot overlap itself, and above the true gain
// otherwise; a candidate is counted in full only when it comes to the top of the heap under a dearer
// code, or when its occurrences overlap somewhere in the text.
class SavingsChooser
{
    using Positions = LargeVector<std::uint32_t>; // of the text

public:
    SavingsChooser(const SavingsRequest& request, const std::atomic<bool>& cancelFlag)
        : cancel(cancelFlag), forbidden(request.forbidden), trackShare(request.trackShare)
    {
        std::size_t size = 0;
        for (const std::string_view stretch : request.stretches) {
            size += stretch.size();
        }
        if (size >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            throw std::length_error("the counted text is too long for the savings choice");
        }
        bytes.reserve(size);
        for (const std::string_view stretch : request.stretches) {
            bytes.insert(bytes.end(), stretch.begin(), stretch.end());
        }
        text = {bytes.data(), bytes.size()};
        textSize = static_cast<std::int64_t>(size);
        for (const std::int64_t requested : request.lengths) {
            if (requested >= 1 && requested <= longestLength && requested <= textSize) {
                lengths.push_back(static_cast<std::int32_t>(requested));
            }
        }
        std::sort(lengths.begin(), lengths.end());
        lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
        longest = lengths.empty() ? 0 : lengths.back();
    }

    // The text is a view into the chooser's own buffer: a copy would point into the original's.
    SavingsChooser(const SavingsChooser&) = delete;
    SavingsChooser& operator=(const SavingsChooser&) = delete;

    [[nodiscard]] std::int64_t TextSize() const { return textSize; }

    // Builds the index for entries that cost at least cheapestCode bytes; false when cancelled.
    [[nodiscard]] bool BuildIndex(std::span<const std::string_view> stretches, int cheapestCode)
    {
        const auto n = static_cast<std::size_t>(textSize);
        if (lengths.empty()) {
            return true;
        }
        // A boundary at x: no window holds both x - 1 and x, and a line end at x holds no window either.
        boundaries = PositionSet(n + 1);
        std::size_t offset = 0;
        for (const std::string_view stretch : stretches) {
            offset += stretch.size();
            boundaries.Add(offset);
        }
        for (std::size_t p = 0; p < n; ++p) {
            if (IsLineEnd(text[p])) {
                boundaries.Add(p);
            }
        }

        suffixes.resize(n);
        if (divsufsort(reinterpret_cast<const sauchar_t*>(text.data()), suffixes.data(),
                       static_cast<saidx_t>(n)) != 0) {
            throw std::bad_alloc();
        }
        if (Stopped(&cancel)) {
            return false;
        }

        const auto cap = static_cast<std::size_t>(longest);
        LargeVector<std::uint32_t> byRank(n);
        if (!(cap <= comparedCap ? CompareNeighbours(byRank) : PermutedCommonPrefixes(byRank))) {
            return false;
        }
        // lengthsUpTo[h]: how many requested lengths are h or less.
        std::vector<std::uint64_t> lengthsUpTo(cap + 1, 0);
        for (const std::int32_t l : lengths) {
            ++lengthsUpTo[static_cast<std::size_t>(l)];
        }
        for (std::size_t l = 1; l <= cap; ++l) {
            lengthsUpTo[l] += lengthsUpTo[l - 1];
        }
        // A candidate of length L is a run of suffixes that share L bytes with the one before: counting
        // where such runs end bounds the number of candidates, so that their arrays never move.
        std::uint64_t most = 0;
        for (std::size_t i = 1; i < n; ++i) {
            const std::uint32_t after = i + 1 < n ? byRank[i + 1] & 0xFFFF : 0;
            most += lengthsUpTo[byRank[i] & 0xFFFF] -
                    std::min(lengthsUpTo[byRank[i] & 0xFFFF], lengthsUpTo[after]);
        }
        nodes.reserve(most);
        candidates.reserve(most);
        Group(byRank);
        const LargeVector<std::uint32_t> kept = KeepViable(cheapestCode);
        deepest.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            if (i + 16 < n) {
                __builtin_prefetch(deepest.data() + suffixes[i + 16], 1);
            }
            deepest[static_cast<std::size_t>(suffixes[i])] =
                byRank[i] == noCandidate ? noCandidate : kept[byRank[i]];
        }
        return !Stopped(&cancel);
    }

    // Chooses the entries; false when cancelled.
    [[nodiscard]] bool Choose(const std::vector<int>& codes, std::atomic<std::int64_t>* chosenSoFar,
                              std::vector<SavingsEntry>& entries)
    {
        if (codes.empty() || lengths.empty()) {
            return true;
        }
        const auto n = static_cast<std::size_t>(textSize);
        cost.assign(n + 1, 1);
        inside = PositionSet(n + 1);
        tokenEntry.assign(n, noCandidate);
        // floors[i]: the smallest code from entry i on. The bounds hold at the floor; a candidate whose
        // bound gains nothing there never will again, since covered costs only fall.
        std::vector<int> floors(codes);
        for (std::size_t i = floors.size() - 1; i-- > 0;) {
            floors[i] = std::min(floors[i], floors[i + 1]);
        }
        floor = floors[0];
        // At first every window starts and ends at token edges and covers its length in bytes.
        for (Node& node : nodes) {
            node.bound *= std::max(0, int{node.length} - floor); // from the number of windows
        }
        // Only the candidates that may still be chosen are kept up to date: at first those whose bound
        // gains at least a share of what the last entry could gain at best; more come in when the choice
        // gets down to that.
        if (!Track(std::max<std::int64_t>(1, NthBestBound(codes.size()) /
                                                 std::max<std::int64_t>(1, trackShare)))) {
            return false;
        }
        // Every key of the heap is at least the gain of its candidate at this code and at dearer ones: the
        // bounds hold at the floor, and a key counted in full holds at its code.
        int heapCode = floor;
        const auto rekey = [&] {
            for (Ranked& r : heap) {
                r.gain = BoundGain(r.candidate);
            }
            std::make_heap(heap.begin(), heap.end(), Below);
            heapCode = floor;
        };
        Positions occurrences; // of the entry just chosen
        for (std::size_t i = 0; i < codes.size(); ++i) {
            const int code = codes[i];
            if (floors[i] != floor) {
                // Every bound was counted at the old, lower floor: count them again at the new one. They
                // only fall, so the outsiders stay below the threshold.
                floor = floors[i];
                if (!RecountBounds()) {
                    return false;
                }
                rekey();
            } else if (code < heapCode) {
                rekey();
            }
            const std::size_t batch = 2 * (codes.size() - i) + 4;
            std::optional<Ranked> best;
            while (!best) {
                if (Stopped(&cancel)) {
                    return false;
                }
                if (heap.empty()) {
                    if (threshold > 1) {
                        Refill(batch);
                    } else if (untrackedBelow > 1) {
                        if (!Track(1)) {
                            return false;
                        }
                    } else {
                        break;
                    }
                    continue;
                }
                std::pop_heap(heap.begin(), heap.end(), Below);
                Ranked top = heap.back();
                heap.pop_back();
                if (BoundGain(top.candidate) <= 0) {
                    candidates[top.candidate].state =
                        (candidates[top.candidate].state & notInHeap) | excludedState;
                    continue;
                }
                top.gain = Evaluate(top.candidate, code, nullptr);
                const bool staleAbove = !heap.empty() && RanksAbove(heap.front(), top);
                // The best of the heap may still lose to a candidate left out of it: let more in first.
                const bool outsiderMayWin = top.gain < threshold && threshold > 1;
                // Or to a candidate not kept up to date: bring in those that may.
                const bool untrackedMayWin = !staleAbove && top.gain < untrackedBelow && untrackedBelow > 1;
                if (staleAbove || outsiderMayWin || untrackedMayWin) {
                    heapCode = std::max(heapCode, code);
                    heap.push_back(top);
                    std::push_heap(heap.begin(), heap.end(), Below);
                    if (untrackedMayWin) {
                        if (!Track(std::max<std::int64_t>(1, top.gain / 2))) {
                            return false;
                        }
                    } else if (!staleAbove) {
                        Refill(batch);
                    }
                    continue;
                }
                best = top;
            }
            if (!best || best->gain <= 0) {
                break;
            }
            candidates[best->candidate].state = (candidates[best->candidate].state & notInHeap) | chosenState;
            (void)Evaluate(best->candidate, code, &occurrences);
            const auto entry = static_cast<std::uint32_t>(entries.size());
            held.push_back(static_cast<std::int64_t>(occurrences.size()));
            ReplaceAll(occurrences, static_cast<std::size_t>(best->length), code, entry);
            entries.push_back(
                {std::string(text.substr(best->firstPosition, static_cast<std::size_t>(best->length))), 0, 0,
                 code});
            if (chosenSoFar) {
                chosenSoFar->store(static_cast<std::int64_t>(entries.size()));
            }
        }
        // An entry keeps the occurrences that no later entry took over.
        for (std::size_t e = 0; e < entries.size(); ++e) {
            SavingsEntry& entry = entries[e];
            entry.occurrences = held[e];
            entry.saved = held[e] * (static_cast<std::int64_t>(entry.text.size()) - entry.codeBytes);
        }
        return true;
    }

private:
    static constexpr std::uint8_t excludedState = 1; // never an entry: forbidden, or gains nothing any more
    static constexpr std::uint8_t examinedState = 2; // looked at for occurrences that overlap
    static constexpr std::uint8_t overlapState = 4;  // two of its occurrences overlap somewhere
    static constexpr std::uint8_t chosenState = 8;
    static constexpr std::uint8_t heapState = 16;    // in the heap
    static constexpr std::uint8_t trackedState = 32; // its bound is kept up to date
    static constexpr auto notInHeap = static_cast<std::uint8_t>(0xFF & ~heapState);

    // What replacing an occurrence needs of a candidate, apart from the rest, to keep it in fewer cache
    // lines.
    struct Node {
        // The sum over its windows of what each would save at the floor code; until the choice starts, the
        // number of its windows in the text.
        std::int64_t bound;
        std::uint32_t chain; // the next shorter candidate around it that is kept up to date
        std::uint16_t length;
    };
    struct Candidate {
        std::uint32_t firstPosition;
        std::uint32_t rangeBegin; // its windows lie in suffixes[rangeBegin, rangeEnd)
        std::uint32_t rangeEnd;
        std::uint32_t parent; // the candidate of the next shorter length around it
        std::uint8_t state;
    };

    static bool Below(const Ranked& a, const Ranked& b) { return RanksAbove(b, a); }

    // The gain the candidate's bound promises at the floor code: never below its true gain.
    [[nodiscard]] std::int64_t BoundGain(std::uint32_t c) const { return nodes[c].bound - nodes[c].length; }

    // Lets in the candidates outside the heap whose bound reaches a new threshold, chosen so that about
    // `batch` come in (all when fewer are left). The heap holds only the candidates with a chance: as long
    // as its best true gain reaches the threshold, no candidate outside can beat it.
    void Refill(std::size_t batch)
    {

        const auto outside = [&](std::uint32_t c) {
            return (candidates[c].state & (excludedState | chosenState | heapState | trackedState)) ==
                   trackedState;
        };
        LargeVector<std::int64_t> bounds;
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
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
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
            if (outside(c) && BoundGain(c) >= threshold) {
                candidates[c].state |= heapState;
                heap.push_back({BoundGain(c), nodes[c].length, candidates[c].firstPosition, c});
            }
        }
        std::make_heap(heap.begin(), heap.end(), Below);
    }

    // Fills byRank, per suffix in rank order, with the bytes it shares with the suffix before it (capped
    // at the longest length) and, in the high half, its room; false when cancelled. Each suffix is
    // compared with its neighbour directly; the bytes of the suffixes a little further down the array
    // are fetched ahead, as they lie anywhere in the text.
    [[nodiscard]] bool CompareNeighbours(LargeVector<std::uint32_t>& byRank) const
    {
        const auto n = static_cast<std::size_t>(textSize);
        const auto cap = static_cast<std::size_t>(longest);
        constexpr std::size_t ahead = 16;
        for (std::size_t i = 0; i < n; ++i) {
            if (i % cancelStride == 0 && Stopped(&cancel)) {
                return false;
            }
            if (i + ahead < n) {
                const auto later = static_cast<std::size_t>(suffixes[i + ahead]);
                __builtin_prefetch(text.data() + later);
                boundaries.Prefetch(later + 1);
            }
            const auto p = static_cast<std::size_t>(suffixes[i]);
            std::size_t h = 0;
            if (i > 0) {
                const auto before = static_cast<std::size_t>(suffixes[i - 1]);
                const std::size_t most = std::min({cap, n - p, n - before});
                while (h < most && text[p + h] == text[before + h]) {
                    ++h;
                }
            }
            // How many bytes from p on a window may cover.
            const std::size_t room =
                IsLineEnd(text[p]) ? 0 : std::min(boundaries.NextFrom(p + 1, p + 1 + cap) - p, cap);
            byRank[i] = static_cast<std::uint32_t>(h | (room << 16));
        }
        return true;
    }

    // The same as CompareNeighbours in time linear in the text whatever the longest length (Kärkkäinen's
    // permuted LCP): in text order, each suffix shares at least one byte less with its neighbour than the
    // suffix before it did.
    [[nodiscard]] bool PermutedCommonPrefixes(LargeVector<std::uint32_t>& byRank) const
    {
        const auto n = static_cast<std::size_t>(textSize);
        const auto cap = static_cast<std::size_t>(longest);
        LargeVector<std::uint32_t> shared(n);
        shared[static_cast<std::size_t>(suffixes[0])] = noCandidate;
        for (std::size_t i = 1; i < n; ++i) {
            shared[static_cast<std::size_t>(suffixes[i])] = static_cast<std::uint32_t>(suffixes[i - 1]);
        }
        std::size_t h = 0;
        std::size_t nextBoundary = 0; // the first boundary after p
        for (std::size_t p = 0; p < n; ++p) {
            if (p % cancelStride == 0 && Stopped(&cancel)) {
                return false;
            }
            const std::uint32_t before = shared[p];
            if (before == noCandidate) {
                h = 0;
            } else {
                while (h < cap && p + h < n && before + h < n && text[p + h] == text[before + h]) {
                    ++h;
                }
            }
            if (nextBoundary <= p) {
                nextBoundary = boundaries.NextFrom(p + 1, n + 1);
            }
            const std::size_t room = IsLineEnd(text[p]) ? 0 : std::min(nextBoundary - p, cap);
            shared[p] = static_cast<std::uint32_t>(h | (room << 16));
            h = h > 0 ? h - 1 : 0;
        }
        // Gathering in a loop of its own lets the memory accesses overlap.
        for (std::size_t i = 0; i < n; ++i) {
            byRank[i] = shared[static_cast<std::size_t>(suffixes[i])];
        }
        return true;
    }

    // One pass over the suffix array finds the groups of every length at once. byRank holds, per suffix,
    // its packed common prefix and room; each is replaced by the suffix's longest candidate.
    void Group(LargeVector<std::uint32_t>& byRank)
    {
        const std::size_t kinds = lengths.size();
        constexpr std::uint32_t unbounded = std::numeric_limits<std::uint32_t>::max();
        struct Open {
            std::uint32_t lowest = 0; // the smallest common prefix since the group's last window
            std::uint32_t windows = 0;
            std::uint32_t first = 0; // the earliest position of its windows
            std::uint32_t begin = 0; // the rank of the first window
            std::uint32_t end = 0;   // one past the rank of the last window
            std::uint32_t candidate = noCandidate;
        };
        // A group's candidate learns its windows when the group closes, so that the pass touches only
        // the open groups while a group grows.
        const auto close = [&](const Open& group) {
            if (group.candidate != noCandidate) {
                nodes[group.candidate].bound = group.windows;
                candidates[group.candidate].firstPosition = group.first;
                candidates[group.candidate].rangeEnd = group.end;
            }
        };
        std::vector<Open> open(kinds);
        for (std::size_t i = 0; i < byRank.size(); ++i) {
            if (i % cancelStride == 0 && Stopped(&cancel)) {
                return;
            }
            const auto p = static_cast<std::uint32_t>(suffixes[i]);
            const auto rank = static_cast<std::uint32_t>(i);
            const std::uint32_t packed = byRank[i];
            const std::uint32_t common = i == 0 ? 0 : packed & 0xFFFF;
            const std::uint32_t room = packed >> 16;
            byRank[i] = noCandidate;
            std::size_t k = 0;
            for (; k < kinds && static_cast<std::uint32_t>(lengths[k]) <= room; ++k) {
                Open& group = open[k];
                const auto l = static_cast<std::uint32_t>(lengths[k]);
                if (group.windows == 0 || std::min(group.lowest, common) < l) {
                    close(group);
                    group = {unbounded, 1, p, rank, rank + 1, noCandidate};
                    continue;
                }
                group.lowest = unbounded;
                group.first = std::min(group.first, p);
                group.end = rank + 1;
                if (++group.windows == 2) {
                    group.candidate = static_cast<std::uint32_t>(nodes.size());
                    const bool excluded = forbidden && forbidden(text.substr(p, l));
                    nodes.push_back({0, noCandidate, static_cast<std::uint16_t>(l)});
                    candidates.push_back({0, group.begin, 0, k == 0 ? noCandidate : open[k - 1].candidate,
                                          excluded ? excludedState : std::uint8_t{0}});
                    assert(k == 0 || candidates.back().parent != noCandidate);
                    byRank[group.begin] = group.candidate;
                }
                byRank[i] = group.candidate;
            }
            for (; k < kinds; ++k) {
                open[k].lowest = std::min(open[k].lowest, common);
            }
        }
        for (const Open& group : open) {
            close(group);
        }
    }

    // Drops the candidates that can never be chosen: forbidden ones and those that gain nothing even at
    // the cheapest code with all their windows. Their windows need no counting, so the parent chains skip
    // them. Returns, per old candidate, its new number, or for a dropped one the new number of its
    // nearest kept ancestor (noCandidate when there is none).
    LargeVector<std::uint32_t> KeepViable(int cheapestCode)
    {
        LargeVector<std::uint32_t> renumbered(nodes.size());
        std::uint32_t next = 0;
        // A parent is created before its children, so it is renumbered first.
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
            const std::uint32_t parent = candidates[c].parent;
            const std::uint32_t above = parent == noCandidate ? noCandidate : renumbered[parent];
            if ((candidates[c].state & excludedState) ||
                Gain(nodes[c].bound, nodes[c].length, cheapestCode) <= 0) {
                renumbered[c] = above;
                continue;
            }
            nodes[next] = nodes[c];
            candidates[next] = candidates[c];
            candidates[next].parent = above;
            renumbered[c] = next++;
        }
        nodes.resize(next);
        candidates.resize(next);
        return renumbered;
    }

    // The positions of the candidate's windows, in suffix order. They lie anywhere in the text: what the
    // visits look up there is fetched a few windows ahead.
    template <typename Visit> void ForEachWindow(std::uint32_t c, Visit&& visit) const
    {
        constexpr std::uint32_t ahead = 16;
        const auto l = static_cast<std::size_t>(nodes[c].length);
        const std::uint32_t end = candidates[c].rangeEnd;
        for (std::uint32_t i = candidates[c].rangeBegin; i < end; ++i) {
            if (i + ahead < end) {
                const auto later = static_cast<std::size_t>(suffixes[i + ahead]);
                boundaries.Prefetch(later + 1);
                inside.Prefetch(later);
                __builtin_prefetch(cost.data() + later);
            }
            const auto p = static_cast<std::size_t>(suffixes[i]);
            // Suffixes in the range that run into a stretch end share the bytes but are no window.
            if (boundaries.NextFrom(p + 1, p + l) == p + l) {
                visit(static_cast<std::uint32_t>(p));
            }
        }
    }

    // What the window [p, p + l) would save at the code: the cost of the tokens it covers less the code,
    // when it starts and ends at token edges and saves anything; else 0. covered is the sum of the costs
    // of the bytes from p, where a token's first byte carries its whole cost.
    [[nodiscard]] std::int64_t Saving(std::size_t p, std::size_t l, std::int64_t covered, int code) const
    {
        if (inside.Has(p) || inside.Has(p + l)) {
            return 0;
        }
        return std::max<std::int64_t>(0, covered - code);
    }

    [[nodiscard]] std::int64_t Covered(std::size_t p, std::size_t l) const
    {
        std::int64_t sum = 0;
        for (std::size_t q = p; q < p + l; ++q) {
            sum += cost[q];
        }
        return sum;
    }

    // The candidate's gain now at the code: the occurrences that start and end at token edges and save
    // anything, without overlap, as many and as saving as can be (the earliest among equal choices),
    // less the entry's own bytes. occurrences, when given, receives their positions, ascending.
    std::int64_t Evaluate(std::uint32_t c, int code, Positions* occurrences)
    {
        if (!(candidates[c].state & examinedState)) {
            Examine(c);
        }
        const auto l = static_cast<std::size_t>(nodes[c].length);
        if (occurrences) {
            occurrences->clear();
        }
        if (!(candidates[c].state & overlapState)) {
            // Occurrences never overlap: each one that saves anything counts. At the floor the bound is the
            // exact sum already.
            if (code == floor && !occurrences) {
                return BoundGain(c);
            }
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
            return saved - static_cast<std::int64_t>(l);
        }
        // Occurrences that overlap: the non-overlapping choice that saves most, found from the right
        // (most[j]: the best from occurrence j on), then taken from the left, earliest first on a tie.
        // The arrays are kept from one call to the next: a run such as "aaaa" has millions of occurrences.
        const Positions& positions = overlapping.at(c);
        const std::size_t k = positions.size();
        LargeVector<std::int64_t>& saving = savingAt;
        // after[j]: the first occurrence that does not overlap occurrence j.
        LargeVector<std::uint32_t>& after = afterAt;
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
        return most[0] - static_cast<std::int64_t>(l);
    }

    // Calls visit(candidate, saving) for every candidate window that starts in [from, to), with what it
    // saves at the floor code now.
    template <typename Visit> void ForEachWindowFrom(std::size_t from, std::size_t to, Visit&& visit)
    {
        for (std::size_t p = from; p < to; ++p) {
            std::uint32_t c = chainHead[p];
            if (c == noCandidate || inside.Has(p)) {
                continue;
            }
            // The running cost of the bytes from p, for the chain's lengths from the longest down.
            auto l = static_cast<std::size_t>(nodes[c].length);
            std::int64_t covered = Covered(p, l);
            for (; c != noCandidate; c = nodes[c].chain) {
                const auto lc = static_cast<std::size_t>(nodes[c].length);
                while (l > lc) {
                    covered -= cost[p + --l];
                }
                visit(c, Saving(p, lc, covered, floor));
            }
        }
    }

    // The first position where a window of some length may start and still hold position q.
    [[nodiscard]] std::size_t FirstReaching(std::size_t q) const
    {
        const auto cap = static_cast<std::size_t>(longest);
        return q >= cap - 1 ? q - (cap - 1) : 0;
    }

    // Replaces every occurrence, in ascending order. They lie anywhere in the text: what Replace will look
    // up is fetched a few occurrences ahead, and the candidates of the chains there a little later.
    void ReplaceAll(std::span<const std::uint32_t> occurrences, std::size_t l, int code, std::uint32_t entry)
    {
        replacedAny = true;
        constexpr std::size_t texts = 8;
        constexpr std::size_t chains = 4;
        const auto cap = static_cast<std::size_t>(longest);
        for (std::size_t j = 0; j < occurrences.size(); ++j) {
            if (j + texts < occurrences.size()) {
                const std::size_t q = occurrences[j + texts];
                const std::size_t from = FirstReaching(q);
                for (std::size_t x = from; x < q + l; x += 16) {
                    __builtin_prefetch(chainHead.data() + x);
                }
                __builtin_prefetch(chainHead.data() + q + l - 1);
                __builtin_prefetch(tokenEntry.data() + q, 1);
                __builtin_prefetch(tokenEntry.data() + q + l - 1, 1);
                __builtin_prefetch(cost.data() + from, 1);
                __builtin_prefetch(cost.data() + std::min(q + l + cap - 2, cost.size() - 1), 1);
                inside.Prefetch(from);
            }
            if (j + chains < occurrences.size()) {
                const std::size_t q = occurrences[j + chains];
                const std::size_t from = FirstReaching(q);
                for (std::size_t x = from; x < q + l; ++x) {
                    const std::uint32_t c = chainHead[x];
                    if (c != noCandidate) {
                        __builtin_prefetch(nodes.data() + c, 1);
                    }
                }
            }
            Replace(occurrences[j], l, code, entry);
        }
    }

    // Replaces the occurrence [q, q + l) by a token of the entry: the tokens it covers give way (their
    // entries hold one occurrence less), and every window across it has its saving counted again.
    void Replace(std::size_t q, std::size_t l, int code, std::uint32_t entry)
    {
        const auto cap = static_cast<std::size_t>(longest);
        const std::size_t from = FirstReaching(q);
        const std::size_t end = std::min(static_cast<std::size_t>(textSize), q + l - 1 + cap);
        // The costs from `from` on, summed, before and after the replacement.
        costBefore.resize(std::max(costBefore.size(), end - from + 1));
        costAfter.resize(costBefore.size());
        costBefore[0] = costAfter[0] = 0;
        for (std::size_t x = from; x < end; ++x) {
            const std::int64_t now = cost[x];
            const std::int64_t then = x == q ? code : (x > q && x < q + l ? 0 : now);
            costBefore[x - from + 1] = costBefore[x - from] + now;
            costAfter[x - from + 1] = costAfter[x - from] + then;
        }
        const auto insideAfter = [&](std::size_t x) { return (x > q && x < q + l) || inside.Has(x); };
        // The chains of the positions are walked side by side, one step of each in turn, so that the
        // look-ups of their candidates, which lie anywhere in memory, overlap. Windows that start inside a
        // token saved nothing, and still do not.
        walking.clear();
        for (std::size_t p = from; p < q + l; ++p) {
            if (chainHead[p] != noCandidate && !inside.Has(p)) {
                walking.emplace_back(static_cast<std::uint32_t>(p), chainHead[p]);
            }
        }
        while (!walking.empty()) {
            std::size_t kept = 0;
            for (const auto& [start, c] : walking) {
                Node& node = nodes[c];
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

    // The bound gain of the nth best candidate at the floor, or 0 when there are fewer.
    [[nodiscard]] std::int64_t NthBestBound(std::size_t nth) const
    {
        LargeVector<std::int64_t> bounds;
        bounds.reserve(nodes.size());
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
            if (!(candidates[c].state & excludedState)) {
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

    // Keeps up to date, from now on, every candidate that may still be chosen and whose bound gains at
    // least `below`: the chains that replacing an occurrence walks hold only these, and their bounds are
    // counted again. The bounds of the others are stale, but never below the truth, as gains only fall.
    [[nodiscard]] bool Track(std::int64_t below)
    {
        const auto keep = [&](std::uint32_t c) {
            return (candidates[c].state & (excludedState | chosenState)) == 0 &&
                   ((candidates[c].state & trackedState) || BoundGain(c) >= below);
        };
        // A parent comes before its children, so the nearest kept ancestor of each is known in one pass.
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
            candidates[c].state &= static_cast<std::uint8_t>(~trackedState);
            const std::uint32_t parent = candidates[c].parent;
            nodes[c].chain = parent == noCandidate || (candidates[parent].state & trackedState)
                                 ? parent
                                 : nodes[parent].chain;
            if (keep(c)) {
                candidates[c].state |= trackedState;
            }
        }
        chainHead.resize(deepest.size());
        for (std::size_t p = 0; p < deepest.size(); ++p) {
            const std::uint32_t c = deepest[p];
            chainHead[p] = c == noCandidate || (candidates[c].state & trackedState) ? c : nodes[c].chain;
        }
        untrackedBelow = below;
        threshold = std::numeric_limits<std::int64_t>::max(); // newly kept ones may beat the heap's best
        // Before the first replacement every bound is still the one the choice started from.
        return !replacedAny || RecountBounds();
    }

    // Counts every candidate's bound again, at the current floor and with the tokens as they are.
    [[nodiscard]] bool RecountBounds()
    {
        for (std::uint32_t c = 0; c < nodes.size(); ++c) {
            if (candidates[c].state & trackedState) {
                nodes[c].bound = 0;
            }
        }
        const auto n = static_cast<std::size_t>(textSize);
        for (std::size_t p = 0; p < n; p += cancelStride) {
            if (Stopped(&cancel)) {
                return false;
            }
            ForEachWindowFrom(p, std::min(n, p + cancelStride),
                              [&](std::uint32_t c, std::int64_t saving) { nodes[c].bound += saving; });
        }
        return true;
    }

    // Sorts distinct positions of the text. When they are many for the text's size (a run such as "aaaa"
    // gives millions), marking them in a set and reading it in order is faster than sorting.
    void SortPositions(Positions& positions) const
    {
        const auto n = static_cast<std::size_t>(textSize);
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

    // Finds out whether two occurrences of the candidate overlap anywhere; if so, keeps its positions.
    void Examine(std::uint32_t c)
    {
        candidates[c].state |= examinedState;
        const std::string_view s =
            text.substr(candidates[c].firstPosition, static_cast<std::size_t>(nodes[c].length));
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
        positions.reserve(candidates[c].rangeEnd - candidates[c].rangeBegin);
        ForEachWindow(c, [&](std::uint32_t p) { positions.push_back(p); });
        SortPositions(positions);
        for (std::size_t i = 1; i < positions.size(); ++i) {
            if (positions[i] - positions[i - 1] < s.size()) {
                candidates[c].state |= overlapState;
                overlapping.emplace(c, std::move(positions));
                return;
            }
        }
    }

    const std::atomic<bool>& cancel;
    const std::function<bool(std::string_view)>& forbidden;
    std::int64_t trackShare;
    // The counted text in one piece; it is read at random all over, so it lies on large pages.
    LargeVector<char> bytes;
    std::string_view text;
    std::int64_t textSize = 0;
    std::vector<std::int32_t> lengths; // sorted, distinct
    std::int32_t longest = 0;

    PositionSet boundaries{0};
    // The text as tokens: every byte is one, at cost 1, until an entry replaces an occurrence by one token
    // at the cost of its code. cost[p] is the cost of the token starting at p (0 inside a token), inside
    // holds the positions within a token but its first, tokenEntry the entry of a token's first byte.
    LargeVector<std::uint8_t> cost;
    PositionSet inside{0};
    LargeVector<std::uint32_t> tokenEntry;
    std::vector<std::int64_t> held; // per entry: the occurrences it holds now
    int floor = 0;                  // the cheapest code still to come
    // The chains of the kept-up-to-date candidates: per position its longest (the next shorter one is the
    // candidate's chain). Every other candidate gains less than untrackedBelow at the floor code.
    LargeVector<std::uint32_t> chainHead;
    std::int64_t untrackedBelow = 0;
    bool replacedAny = false;

    std::vector<std::int64_t> costBefore; // Replace: the costs summed before and after
    std::vector<std::pair<std::uint32_t, std::uint32_t>> walking; // Replace: position and candidate
    std::vector<std::int64_t> costAfter;

    LargeVector<saidx_t> suffixes;
    LargeVector<std::uint32_t> deepest; // per position: its longest candidate, or noCandidate

    LargeVector<Node> nodes; // one index for these two
    LargeVector<Candidate> candidates;
    std::unordered_map<std::uint32_t, Positions> overlapping; // sorted positions
    LargeVector<std::int64_t> savingAt;                       // Evaluate, for occurrences that overlap
    LargeVector<std::uint32_t> afterAt;
    LargeVector<std::int64_t> mostFrom;

    std::vector<Ranked> heap;
    // Every candidate outside the heap gains less than this at the floor code; 1 when all that can gain
    // are in.
    std::int64_t threshold = std::numeric_limits<std::int64_t>::max();
};

SavingsChoice::SavingsChoice(const SavingsRequest& request, int cheapestCode, const std::atomic<bool>& cancel)
    : stretches(request.stretches), stop(cancel)
{
    if (Stopped(&stop)) {
        return;
    }
    chooser = std::make_unique<SavingsChooser>(request, stop);
    built = chooser->BuildIndex(stretches, std::max(0, cheapestCode));
}

SavingsChoice::~SavingsChoice() = default;

SavingsResult SavingsChoice::Choose(const std::vector<int>& codeBytes, std::atomic<std::int64_t>* chosenSoFar)
{
    if (!built || Stopped(&stop)) {
        return {};
    }
    SavingsResult result;
    std::vector<int> codes;
    codes.reserve(codeBytes.size());
    for (const int code : codeBytes) {
        codes.push_back(std::max(0, code));
    }
    result.textBytes = chooser->TextSize();
    const bool chose = chooser->Choose(codes, chosenSoFar, result.entries);
    chooser.reset(); // the index is large, and done with
    if (!chose) {
        return {};
    }
    for (const SavingsEntry& entry : result.entries) {
        result.tableBytes += static_cast<std::int64_t>(entry.text.size());
    }
    // The two encodings side by side, when a second thread is to be had.
    const std::vector<CodedEntry> coded = CodedEntries(result);
    std::exception_ptr failure;
    std::optional<std::thread> helper;
    try {
        helper.emplace([&] {
            try {
                result.longestMatchBytes = Encode(stretches, coded, ParseRule::LongestMatch, nullptr, &stop);
            } catch (...) {
                failure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        result.longestMatchBytes = Encode(stretches, coded, ParseRule::LongestMatch, nullptr, &stop);
    }
    result.bestParseBytes = Encode(stretches, coded, ParseRule::BestParse, nullptr, &stop);
    if (helper) {
        helper->join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (result.longestMatchBytes < 0 || result.bestParseBytes < 0) {
        return {};
    }
    return result;
}

SavingsResult ChooseBySavings(const SavingsRequest& request, const std::atomic<bool>& cancel,
                              std::atomic<std::int64_t>* chosenSoFar)
{
    const auto cheapest = std::min_element(request.codeBytes.begin(), request.codeBytes.end());
    SavingsChoice choice(request, cheapest == request.codeBytes.end() ? 0 : *cheapest, cancel);
    return choice.Choose(request.codeBytes, chosenSoFar);
}

std::vector<CodedEntry> CodedEntries(const SavingsResult& result)
{
    std::vector<CodedEntry> coded;
    coded.reserve(result.entries.size());
    for (const SavingsEntry& entry : result.entries) {
        coded.push_back({entry.text, entry.codeBytes});
    }
    return coded;
}

std::int64_t EncodeLongestMatch(std::span<const std::string_view> stretches,
                                std::span<const CodedEntry> entries)
{
    return Encode(stretches, entries, ParseRule::LongestMatch, nullptr, nullptr);
}

std::int64_t EncodeBestParse(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries)
{
    return Encode(stretches, entries, ParseRule::BestParse, nullptr, nullptr);
}

Encoding EncodeWithParse(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                         ParseRule rule)
{
    Encoding encoding;
    encoding.bytes = Encode(stretches, entries, rule, &encoding.pieces, nullptr);
    return encoding;
}

} // namespace kestrin
