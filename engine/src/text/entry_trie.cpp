// SPDX-License-Identifier: MIT
// The one trie of table entries and the best parse over it, shared by the inserter's encoding through
// the game table and by the encoded sizes of the savings choice.

#include "text/entry_trie.h"

#include <bit>
#include <limits>
#include <utility>

namespace kestrin {
namespace {

// A node with at least this many children gets a direct table of 256 children.
constexpr std::size_t denseFrom = 3;

// Far above any line's size, and far enough below the largest value that adding a code keeps it so.
constexpr std::int64_t unreached = std::numeric_limits<std::int64_t>::max() / 4;

} // namespace

EntryTrie::EntryTrie(std::span<const CodedEntry> entries)
{
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        // A text with a line end would match across it.
        const std::string_view text = entries[i].text;
        if (!text.empty() && !HoldsLineEnd(text)) {
            order.push_back(i);
        }
    }
    // Sorted texts give every node its children in ascending byte order; stable, so that of equal texts
    // with equal codes the first entry stays.
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return entries[a].text < entries[b].text; });
    std::vector<std::vector<std::pair<unsigned char, std::uint32_t>>> children(1);
    nodes.resize(1);
    for (const std::uint32_t i : order) {
        std::uint32_t node = 0;
        for (const char c : entries[i].text) {
            const auto byte = static_cast<unsigned char>(c);
            if (children[node].empty() || children[node].back().first != byte) {
                const auto child = static_cast<std::uint32_t>(children.size());
                children[node].emplace_back(byte, child);
                children.emplace_back();
                nodes.emplace_back();
                node = child;
            } else {
                node = children[node].back().second;
            }
        }
        const int code = std::max(0, entries[i].codeBytes);
        if (nodes[node].entry < 0 || code < nodes[node].code) {
            nodes[node].entry = static_cast<std::int32_t>(i);
            nodes[node].code = code;
        }
        longest = std::max(longest, entries[i].text.size());
    }
    for (std::size_t n = 0; n < children.size(); ++n) {
        Node& node = nodes[n];
        node.firstEdge = static_cast<std::uint32_t>(edgeBytes.size());
        node.edgeCount = static_cast<std::uint32_t>(children[n].size());
        if (n == 0 || children[n].size() >= denseFrom) {
            node.dense = static_cast<std::int32_t>(denseChildren.size());
            auto& direct = denseChildren.emplace_back();
            direct.fill(0);
            for (const auto& [byte, child] : children[n]) {
                direct[byte] = child;
            }
            continue;
        }
        for (const auto& [byte, child] : children[n]) {
            edgeBytes.push_back(byte);
            edgeTargets.push_back(child);
        }
    }
}

BestParser::BestParser(const EntryTrie& entries, bool bytesStay)
    : trie(entries), single(bytesStay), cost(std::bit_ceil(entries.Longest() + 1))
{
}

std::int64_t BestParser::Line(std::string_view line, std::vector<std::int32_t>* pieces)
{
    // cost[p] is the smallest size of the rest of the line from p; only the next Longest() are needed.
    const std::size_t mask = cost.size() - 1;
    if (pieces) {
        choice.assign(line.size(), EntryTrie::Match{});
    }
    cost[line.size() & mask] = 0;
    for (std::size_t p = line.size(); p-- > 0;) {
        std::int64_t best = single ? 1 + cost[(p + 1) & mask] : unreached;
        EntryTrie::Match chosen;
        trie.ForEachMatch(line, p, [&](const EntryTrie::Match& match) {
            if (const std::int64_t size = match.codeBytes + cost[(p + match.length) & mask]; size < best) {
                best = size;
                chosen = match;
            }
        });
        cost[p & mask] = std::min(best, unreached);
        if (pieces) {
            choice[p] = chosen;
        }
    }
    if (cost[0] >= unreached) {
        return -1;
    }
    if (pieces) {
        for (std::size_t p = 0; p < line.size(); p += std::max<std::size_t>(choice[p].length, 1)) {
            pieces->push_back(choice[p].entry);
        }
    }
    return cost[0];
}

} // namespace kestrin
