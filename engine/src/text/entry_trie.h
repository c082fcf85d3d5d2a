// SPDX-License-Identifier: MIT
#pragma once

#include "text/line_ends.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kestrin {

// A table entry as the encoders see it: its text and how many bytes its code takes. Entries that are
// empty or hold a CR or LF never match; of a text listed twice, the smaller code bytes count (the first
// entry of equal ones); code bytes below 0 count as 0.
struct CodedEntry {
    std::string_view text;
    int codeBytes = 1;
};

// The entries' texts in a byte trie, for finding the entries that start at a position of a text: the
// one encoding through a table, be it the game's character table, the entries the savings choice took,
// or both read as one table. The busiest nodes index their children directly. Holds no view of the
// entries once built.
class EntryTrie
{
public:
    explicit EntryTrie(std::span<const CodedEntry> entries);

    // What matches at a position: the entry (an index into the entries), its text's length and its code
    // bytes; entry -1, length 0 and 1 byte when no entry does (the byte stays as it is).
    struct Match {
        std::size_t length = 0;
        std::int32_t entry = -1;
        int codeBytes = 1;
    };

    // The longest text of all entries.
    [[nodiscard]] std::size_t Longest() const { return longest; }

    // The entry of the longest text that text[at, end) starts with.
    [[nodiscard]] Match LongestMatch(std::string_view text, std::size_t at) const
    {
        Match found;
        std::uint32_t node = 0;
        for (std::size_t depth = 0; at + depth < text.size(); ++depth) {
            node = Child(nodes[node], static_cast<unsigned char>(text[at + depth]));
            if (node == 0) {
                break;
            }
            if (nodes[node].entry >= 0) {
                found = {depth + 1, nodes[node].entry, nodes[node].code};
            }
        }
        return found;
    }

    // Calls found(match) for each entry that text[at, end) starts with, shortest first.
    template <typename Found> void ForEachMatch(std::string_view text, std::size_t at, Found&& found) const
    {
        std::uint32_t node = 0;
        for (std::size_t depth = 0; at + depth < text.size(); ++depth) {
            const Node& from = nodes[node];
            if (from.edgeCount == 0) {
                return;
            }
            node = Child(from, static_cast<unsigned char>(text[at + depth]));
            if (node == 0) {
                return;
            }
            if (nodes[node].entry >= 0) {
                found(Match{depth + 1, nodes[node].entry, nodes[node].code});
            }
        }
    }

private:
    struct Node {
        std::int32_t entry = -1;
        int code = 0;
        std::int32_t dense = -1; // index into denseChildren for a node of many children
        std::uint32_t firstEdge = 0;
        std::uint32_t edgeCount = 0;
    };

    // The child along the byte, or 0 (the root is nobody's child).
    [[nodiscard]] std::uint32_t Child(const Node& node, unsigned char byte) const
    {
        if (node.dense >= 0) {
            return denseChildren[static_cast<std::size_t>(node.dense)][byte];
        }
        const unsigned char* const begin = edgeBytes.data() + node.firstEdge;
        const unsigned char* const end = begin + node.edgeCount;
        for (const unsigned char* at = begin; at != end && *at <= byte; ++at) {
            if (*at == byte) {
                return edgeTargets[static_cast<std::size_t>(at - edgeBytes.data())];
            }
        }
        return 0;
    }

    std::size_t longest = 0;
    std::vector<Node> nodes; // node 0 is the root
    std::vector<unsigned char> edgeBytes;
    std::vector<std::uint32_t> edgeTargets;
    std::vector<std::array<std::uint32_t, 256>> denseChildren;
};

// Longest match, as an inserter encodes: from the start of text, at each position the longest entry
// that the text holds there, else the byte as it is (a line end, or a byte that no entry starts with).
// Calls piece(at, match) for each piece in text order, match.entry -1 for a byte, and stops at the first
// piece for which it returns false.
template <typename Piece>
void EncodeByLongestMatch(const EntryTrie& trie, std::string_view text, Piece&& piece)
{
    for (std::size_t at = 0; at < text.size();) {
        const EntryTrie::Match match = trie.LongestMatch(text, at);
        if (!piece(at, match)) {
            return;
        }
        at += std::max<std::size_t>(match.length, 1);
    }
}

// Best parse: the fewest bytes that any split of a line (text without line ends) into entries, each
// its code bytes, reaches; with bytesStay, also any byte may stay as it is, at 1 byte. Method: a dynamic
// programme backwards over the line, its costs kept in a ring as long as the longest entry, so that a
// line of tens of MiB needs no array of its size.
class BestParser
{
public:
    BestParser(const EntryTrie& entries, bool bytesStay);

    // The line's size, or -1 when no split of it exists (only without bytesStay). pieces, when given,
    // receive the split in text order: entries, or -1 for a byte.
    [[nodiscard]] std::int64_t Line(std::string_view line, std::vector<std::int32_t>* pieces);

private:
    const EntryTrie& trie;
    bool single;
    std::vector<std::int64_t> cost;       // the ring of costs of the rest of the line
    std::vector<EntryTrie::Match> choice; // with pieces: what the best split takes at each position
};

// Calls line(text) for every run of bytes between line ends and stretch ends that is not empty, and
// lineEnd(byte) for every line end, in text order. No entry spans either.
template <typename Line, typename LineEnd>
void ForEachLine(std::span<const std::string_view> stretches, Line&& line, LineEnd&& lineEnd)
{
    for (const std::string_view stretch : stretches) {
        std::size_t start = 0;
        while (start <= stretch.size()) {
            const std::size_t end = NextLineEnd(stretch, start, stretch.size());
            if (end > start) {
                line(stretch.substr(start, end - start));
            }
            if (end < stretch.size()) {
                lineEnd(stretch[end]);
            }
            start = end + 1;
        }
    }
}

} // namespace kestrin
