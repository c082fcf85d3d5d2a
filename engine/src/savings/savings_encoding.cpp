// SPDX-License-Identifier: MIT
// The encoders of the savings choice: how many bytes the text takes once the chosen entries replace
// what they match, by longest match and by best parse. Method: the entries go into a trie whose walk
// from a position yields every entry that starts there, shortest first; longest match keeps the last,
// best parse is a dynamic programme run backwards over each line, its costs kept in a ring as long as
// the longest entry.

#include "savings/savings_encoding.h"

#include "cancel_flag.h"
#include "savings/savings_text.h"

#include <algorithm>
#include <array>
#include <bit>

namespace kestrin {
namespace savings {
namespace {

// The entries in a trie, for finding every entry that starts at a position of the text.
class EntryTrie
{
public:
    explicit EntryTrie(std::span<const CodedEntry> entries)
    {
        std::vector<BuildNode> build(1);
        for (const std::uint32_t i : MatchableInTextOrder(entries)) {
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
        Flatten(build);
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
    struct BuildNode {
        std::int32_t entry = -1;
        int code = 0;
        std::vector<std::pair<unsigned char, std::uint32_t>> edges;
    };
    struct Node {
        std::int32_t entry;
        int code;
        std::uint32_t firstEdge;
        std::uint32_t edgeCount;
    };

    // The entries that can match, their texts sorted, so that every node's edges come in ascending byte
    // order.
    static std::vector<std::uint32_t> MatchableInTextOrder(std::span<const CodedEntry> entries)
    {
        std::vector<std::uint32_t> order;
        for (std::uint32_t i = 0; i < entries.size(); ++i) {
            const std::string_view text = entries[i].text;
            if (!text.empty() && text.find_first_of("\r\n") == std::string_view::npos) {
                order.push_back(i);
            }
        }
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return entries[a].text < entries[b].text; });
        return order;
    }

    // Lays the built nodes out in flat arrays, edges of a node side by side.
    void Flatten(const std::vector<BuildNode>& build)
    {
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

// Encodes one segment (a line, or a part of one between stretch ends) at a time.
class SegmentEncoder
{
public:
    SegmentEncoder(std::span<const CodedEntry> codedEntries, std::vector<std::int32_t>* parse)
        : entries(codedEntries), trie(codedEntries), pieces(parse), cost(std::bit_ceil(trie.Longest() + 1))
    {
    }

    // The segment's size by longest match.
    std::int64_t LongestMatch(const char* text, std::size_t size)
    {
        std::int64_t bytes = 0;
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
        return bytes;
    }

    // The segment's size by best parse, backwards: cost[p] is the smallest size of the rest of the
    // segment from p. Only the costs of the next Longest() positions are needed, so they live in a ring.
    std::int64_t BestParse(const char* text, std::size_t size)
    {
        const std::size_t mask = cost.size() - 1;
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
        if (pieces) {
            for (std::size_t p = 0; p < size;) {
                pieces->push_back(choice[p]);
                p += choice[p] < 0 ? 1 : entries[static_cast<std::size_t>(choice[p])].text.size();
            }
        }
        return cost[0];
    }

    // A line end stays one byte.
    void LineEnd()
    {
        if (pieces) {
            pieces->push_back(-1);
        }
    }

private:
    std::span<const CodedEntry> entries;
    const EntryTrie trie;
    std::vector<std::int32_t>* pieces;
    std::vector<std::int64_t> cost;   // best parse: the ring of costs
    std::vector<std::int32_t> choice; // best parse with pieces: the entry taken at each position
};

} // namespace

std::int64_t EncodeText(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                        ParseRule rule, std::vector<std::int32_t>* pieces, const CancelFlag* cancel)
{
    SegmentEncoder encoder(entries, pieces);
    std::int64_t bytes = 0;
    bool stopped = false;
    std::size_t done = 0;
    const auto segment = [&](const char* text, std::size_t size) {
        // A look at the flag per segment that ends a stride of text: a line is short to encode.
        if (!stopped && done / cancelStride != (done + size) / cancelStride) {
            stopped = Stopped(cancel);
        }
        done += size;
        if (!stopped) {
            bytes += rule == ParseRule::LongestMatch ? encoder.LongestMatch(text, size)
                                                     : encoder.BestParse(text, size);
        }
    };
    ForEachSegment(stretches, segment, [&] {
        ++bytes;
        encoder.LineEnd();
    });
    return stopped ? -1 : bytes;
}

} // namespace savings

std::int64_t EncodeLongestMatch(std::span<const std::string_view> stretches,
                                std::span<const CodedEntry> entries)
{
    return savings::EncodeText(stretches, entries, ParseRule::LongestMatch, nullptr, nullptr);
}

std::int64_t EncodeBestParse(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries)
{
    return savings::EncodeText(stretches, entries, ParseRule::BestParse, nullptr, nullptr);
}

Encoding EncodeWithParse(std::span<const std::string_view> stretches, std::span<const CodedEntry> entries,
                         ParseRule rule)
{
    Encoding encoding;
    encoding.bytes = savings::EncodeText(stretches, entries, rule, &encoding.pieces, nullptr);
    return encoding;
}

} // namespace kestrin
