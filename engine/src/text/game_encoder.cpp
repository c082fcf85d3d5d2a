// SPDX-License-Identifier: MIT
// The inserter's encoding: a script turned into the game's bytes through the character table by
// longest match, with the character map that says where each game character starts, and the decoding
// back to text. The table's texts sit in the entry trie (text/entry_trie.h).

#include "text/game_encoder.h"

#include "text/line_ends.h"

#include <algorithm>

namespace kestrin {
namespace {

// The most characters an unmapped text reports.
constexpr std::size_t unmappedShown = 16;

// The table's entries as the trie takes them. A code of no byte or of more than four is no code: such
// an entry never matches (the trie leaves an empty text out).
std::vector<CodedEntry> TableEntries(const GameTable& table)
{
    std::vector<CodedEntry> coded;
    for (const GameTableEntry& entry : table.Entries()) {
        const bool usable = !entry.code.empty() && entry.code.size() <= 4;
        coded.push_back({usable ? std::string_view(entry.text) : std::string_view(),
                         static_cast<int>(entry.code.size())});
    }
    return coded;
}

} // namespace

GameEncoder::GameEncoder(const GameTable& table) : encoding(table.TableEncoding()), trie(TableEntries(table))
{
    for (const GameTableEntry& entry : table.Entries()) {
        Code& code = codes.emplace_back();
        std::copy_n(entry.code.begin(), std::min<std::size_t>(entry.code.size(), 4), code.bytes.begin());
        code.length = static_cast<std::uint8_t>(std::min<std::size_t>(entry.code.size(), 4));
        code.kind = entry.stringEnd ? CharacterKind::StringEnd : CharacterKind::Character;
    }
}

std::optional<UnmappedText> GameEncoder::Append(std::string_view script, GameText& into,
                                                LineEndPrices* prices) const
{
    using After = LineEndPrices::After;
    // Room for about one game byte per script byte, grown by doubling so that many small pieces
    // appended one after another cost no more than one large one.
    const std::size_t wanted = into.bytes.size() + script.size();
    if (into.bytes.capacity() < wanted) {
        into.bytes.reserve(std::max(wanted, into.bytes.capacity() * 2));
    }
    std::optional<UnmappedText> unmapped;
    const std::int64_t newlineBytes = prices != nullptr ? prices->newlineBytes : 0;
    After after = prices != nullptr ? prices->after : After::Text;
    std::int64_t correction = 0;
    EncodeByLongestMatch(trie, script, [&](std::size_t at, const EntryTrie::Match& match) {
        if (match.entry < 0) {
            const char c = script[at];
            if (!IsLineEnd(c)) {
                unmapped = Unmapped(script, at);
                return false;
            }
            into.bytes += c;
            into.characterMap.Append(1, CharacterKind::LineEnd);
            --correction;
            if (after == After::Cr && c == '\n') {
                after = After::Text; // the LF of CR LF: the line end was priced at its CR
            } else if (after != After::EndCode) {
                correction += newlineBytes;
                after = c == '\r' ? After::Cr : After::Text;
            }
            return true;
        }
        const Code& code = codes[static_cast<std::size_t>(match.entry)];
        after = code.kind == CharacterKind::StringEnd ? After::EndCode : After::Text;
        if (code.length == 1) {
            into.bytes += code.bytes[0];
        } else {
            into.bytes.append(code.bytes.data(), code.length);
        }
        into.characterMap.Append(code.length, code.kind);
        return true;
    });
    if (prices != nullptr) {
        prices->after = after;
        prices->correction += correction;
    }
    return unmapped;
}

std::optional<std::int64_t> GameEncoder::BestParseBytes(std::string_view script) const
{
    BestParser parser(trie, false);
    std::int64_t total = 0;
    bool split = true;
    ForEachLine(
        std::span(&script, 1),
        [&](std::string_view line) {
            const std::int64_t bytes = split ? parser.Line(line, nullptr) : 0;
            split = split && bytes >= 0;
            total += bytes;
        },
        [&](char) { ++total; });
    return split ? std::optional(total) : std::nullopt;
}

UnmappedText GameEncoder::Unmapped(std::string_view script, std::size_t at) const
{
    UnmappedText unmapped;
    unmapped.offset = static_cast<std::int64_t>(at);
    unmapped.line = LineOfOffset(script, at);
    unmapped.column = ColumnOfOffset(script, at, encoding);
    std::size_t end = at;
    for (std::size_t shown = 0; shown < unmappedShown && end < script.size() && !IsLineEnd(script[end]);
         ++shown) {
        if (end > at && trie.LongestMatch(script, end).entry >= 0) {
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
    encoded.characterMap.Finish();
    return encoded;
}

std::string DecodeGameText(const GameText& encoded, const GameTable& table, std::size_t begin,
                           std::size_t end)
{
    const CharacterMap& characterMap = encoded.characterMap;
    end = std::min(end, characterMap.Bytes());
    std::string text;
    for (std::size_t at = characterMap.IsCharacterStart(begin) ? begin
                                                               : characterMap.NextCharacterStart(begin);
         at < end;) {
        const std::size_t next = characterMap.NextCharacterStart(at);
        const std::string_view code = std::string_view(encoded.bytes).substr(at, next - at);
        if (characterMap.KindAt(at) == CharacterKind::LineEnd) {
            text += code;
        } else if (const GameTableEntry* entry = table.FindCode(code)) {
            text += entry->text;
        }
        at = next;
    }
    return text;
}

} // namespace kestrin
