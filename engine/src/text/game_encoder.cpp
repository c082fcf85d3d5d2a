// SPDX-License-Identifier: MIT
// The inserter's encoding: a script turned into the game's bytes through the character table by
// longest match, with the unit map that says where each game character starts, and the decoding
// back to text. The table's texts sit in a byte trie whose busiest nodes index their children directly.

#include "text/game_encoder.h"

#include "text/line_ends.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kestrin {
namespace {

// A node with more children than this gets a direct table of 256 children.
constexpr std::size_t denseFrom = 3;
// The most characters an unmapped text reports.
constexpr std::size_t unmappedShown = 16;

} // namespace

GameEncoder::GameEncoder(const GameTable& table) : encoding(table.TableEncoding())
{
    const auto& entries = table.Entries();
    for (const GameTableEntry& entry : entries) {
        Code& code = codes.emplace_back();
        std::copy_n(entry.code.begin(), std::min<std::size_t>(entry.code.size(), 4), code.bytes.begin());
        code.length = static_cast<std::uint8_t>(std::min<std::size_t>(entry.code.size(), 4));
        code.kind = entry.stringEnd ? UnitKind::StringEnd : UnitKind::Character;
    }
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < entries.size(); ++i) {
        // A text with a line end (only an entry added by the program could hold one) would match
        // across it, and a code of no byte or more than four is no code: such entries never match.
        const std::string& text = entries[i].text;
        const std::size_t codeBytes = entries[i].code.size();
        if (!text.empty() && text.find_first_of("\r\n") == std::string::npos && codeBytes >= 1 &&
            codeBytes <= 4) {
            order.push_back(i);
        }
    }
    // Sorted texts give every node its children in ascending byte order.
    std::sort(order.begin(), order.end(),
              [&](std::uint32_t a, std::uint32_t b) { return entries[a].text < entries[b].text; });
    std::vector<std::vector<std::pair<unsigned char, std::uint32_t>>> children(1);
    std::vector<std::int32_t> entryOf(1, -1);
    for (const std::uint32_t i : order) {
        std::uint32_t node = 0;
        for (const char c : entries[i].text) {
            const auto byte = static_cast<unsigned char>(c);
            if (children[node].empty() || children[node].back().first != byte) {
                const auto child = static_cast<std::uint32_t>(children.size());
                children[node].emplace_back(byte, child);
                children.emplace_back();
                entryOf.push_back(-1);
                node = child;
            } else {
                node = children[node].back().second;
            }
        }
        entryOf[node] = static_cast<std::int32_t>(i); // texts are unique in a table
        longestText = std::max(longestText, entries[i].text.size());
    }
    nodes.resize(children.size());
    for (std::size_t n = 0; n < children.size(); ++n) {
        Node& node = nodes[n];
        node.entry = entryOf[n];
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

std::uint32_t GameEncoder::Child(const Node& node, unsigned char byte) const
{
    if (node.dense >= 0) {
        return denseChildren[static_cast<std::size_t>(node.dense)][byte];
    }
    const auto* begin = edgeBytes.data() + node.firstEdge;
    const auto* end = begin + node.edgeCount;
    for (const auto* at = begin; at != end && *at <= byte; ++at) {
        if (*at == byte) {
            return edgeTargets[static_cast<std::size_t>(at - edgeBytes.data())];
        }
    }
    return 0; // the root is nobody's child
}

std::int32_t GameEncoder::LongestMatch(std::string_view text, std::size_t at, std::size_t& length) const
{
    std::int32_t found = -1;
    length = 0;
    std::uint32_t node = 0;
    for (std::size_t depth = 0; at + depth < text.size(); ++depth) {
        node = Child(nodes[node], static_cast<unsigned char>(text[at + depth]));
        if (node == 0) {
            break;
        }
        if (nodes[node].entry >= 0) {
            found = nodes[node].entry;
            length = depth + 1;
        }
    }
    return found;
}

std::optional<UnmappedText> GameEncoder::Append(std::string_view script, GameText& into) const
{
    // Room for about one game byte per script byte, grown by doubling so that many small pieces
    // appended one after another cost no more than one large one.
    const std::size_t wanted = into.bytes.size() + script.size();
    if (into.bytes.capacity() < wanted) {
        into.bytes.reserve(std::max(wanted, into.bytes.capacity() * 2));
    }
    std::size_t at = 0;
    while (at < script.size()) {
        if (IsLineEnd(script[at])) {
            into.bytes += script[at];
            into.units.Append(1, UnitKind::LineEnd);
            ++at;
            continue;
        }
        std::size_t length = 0;
        const std::int32_t index = LongestMatch(script, at, length);
        if (index < 0) {
            return Unmapped(script, at);
        }
        const Code& code = codes[static_cast<std::size_t>(index)];
        if (code.length == 1) {
            into.bytes += code.bytes[0];
        } else {
            into.bytes.append(code.bytes.data(), code.length);
        }
        into.units.Append(code.length, code.kind);
        at += length;
    }
    return std::nullopt;
}

std::optional<std::int64_t> GameEncoder::BestParseBytes(std::string_view script) const
{
    // Forward over the script, the cheapest cost of reaching each of the next positions that a text
    // can end at, in a ring: a script of tens of MiB needs no array of its own size.
    constexpr std::int64_t unreached = std::numeric_limits<std::int64_t>::max();
    const std::size_t ring = longestText + 2;
    std::vector<std::int64_t> cost(ring, unreached);
    cost[0] = 0;
    const auto reach = [&](std::size_t to, std::int64_t total) {
        std::int64_t& slot = cost[to % ring];
        slot = std::min(slot, total);
    };
    for (std::size_t at = 0; at < script.size(); ++at) {
        const std::int64_t here = std::exchange(cost[at % ring], unreached);
        if (here == unreached) {
            continue;
        }
        if (IsLineEnd(script[at])) {
            reach(at + 1, here + 1);
            continue;
        }
        std::uint32_t node = 0;
        for (std::size_t depth = 0; at + depth < script.size(); ++depth) {
            node = Child(nodes[node], static_cast<unsigned char>(script[at + depth]));
            if (node == 0) {
                break;
            }
            if (const std::int32_t entry = nodes[node].entry; entry >= 0) {
                reach(at + depth + 1, here + codes[static_cast<std::size_t>(entry)].length);
            }
        }
    }
    const std::int64_t total = cost[script.size() % ring];
    return total == unreached ? std::nullopt : std::optional(total);
}

UnmappedText GameEncoder::Unmapped(std::string_view script, std::size_t at) const
{
    UnmappedText unmapped;
    unmapped.offset = static_cast<std::int64_t>(at);
    unmapped.line = LineOfOffset(script, at);
    unmapped.column = ColumnOfOffset(script, at, encoding);
    std::size_t end = at;
    std::size_t length = 0;
    for (std::size_t shown = 0; shown < unmappedShown && end < script.size() && !IsLineEnd(script[end]);
         ++shown) {
        if (end > at && LongestMatch(script, end, length) >= 0) {
            break;
        }
        end += CharacterBytes(script, end, encoding);
    }
    unmapped.text = std::string(script.substr(at, end - at));
    return unmapped;
}

std::variant<GameText, UnmappedText> EncodeScript(std::string_view script, const GameTable& table)
{
    const GameEncoder encoder(table);
    GameText encoded;
    if (auto unmapped = encoder.Append(script, encoded)) {
        return *unmapped;
    }
    encoded.units.Finish();
    return encoded;
}

std::string DecodeGameText(const GameText& encoded, const GameTable& table, std::size_t begin,
                           std::size_t end)
{
    const UnitMap& units = encoded.units;
    end = std::min(end, units.Bytes());
    std::string text;
    for (std::size_t at = units.IsUnitStart(begin) ? begin : units.NextUnitStart(begin); at < end;) {
        const std::size_t next = units.NextUnitStart(at);
        const std::string_view code = std::string_view(encoded.bytes).substr(at, next - at);
        if (units.KindAt(at) == UnitKind::LineEnd) {
            text += code;
        } else if (const GameTableEntry* entry = table.FindCode(code)) {
            text += entry->text;
        }
        at = next;
    }
    return text;
}

} // namespace kestrin
