// SPDX-License-Identifier: MIT
#pragma once

#include "text/character_map.h"
#include "text/entry_trie.h"
#include "text/game_table.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrin {

// A script as the game stores it: its bytes and where its characters start.
struct GameText {
    std::string bytes;
    CharacterMap characterMap;
};

// Script text that no entry of the table matches, where the encoding stopped.
struct UnmappedText {
    std::int64_t offset = 0; // in the script's bytes, from 0
    std::int64_t line = 1;   // from 1; CR LF, a lone CR and a lone LF each end a line
    std::int64_t column = 1; // in characters of the encoding, from 1
    // From the offset, the characters at which no entry matches (up to 16, never a line end).
    std::string text;

    bool operator==(const UnmappedText&) const = default;
};

// What a script's line ends take in the game, beside the one byte per CR and per LF that the encoding
// keeps for each (a break no entry crosses). A line end is CR LF, a lone CR or a lone LF. One that follows
// an end-of-string code, with nothing but line ends between, is layout and takes nothing; every other one
// takes the table's newline code (nothing without one: the game keeps no line end). Carried from one
// piece of a file to the next, so that CR LF split between two pieces is still one line end.
struct LineEndPrices {
    enum class After : std::uint8_t {
        Text,    // a character, or nothing yet
        Cr,      // a CR that was priced: an LF next joins it
        EndCode, // an end code, maybe with line ends after it
    };
    std::int64_t newlineBytes = 0; // the newline code's bytes, 0 without one
    // The game's bytes of the line ends so far less their bytes in the encoding: what every size of the
    // script, measured with one byte per CR and per LF, takes in addition (mostly negative).
    std::int64_t correction = 0;
    After after = After::Text;
};

// The script encoded through the game table by longest match, as an inserter does it: at each
// position the entry of the longest text that the script holds there (texts are matched byte for byte
// in the table's encoding), its code going into the game's bytes as one character. CR and LF stay one byte
// each, line-end characters, never part of an entry; an end-of-string code is a character and a break like
// them. The first position at which no entry matches stops the encoding.
class GameEncoder
{
public:
    // Takes what it needs of the table: entries added to the table later are not seen.
    explicit GameEncoder(const GameTable& table);

    // Appends the encoding of script to `into` (without Finish on its character map, so that pieces can
    // follow). On unmapped text, returns where it is, measured in script; `into` then holds the
    // encoding of the script before it. With `prices`, its line ends are priced into it as they go.
    [[nodiscard]] std::optional<UnmappedText> Append(std::string_view script, GameText& into,
                                                     LineEndPrices* prices = nullptr) const;

    // The fewest game bytes that any split of the script into the table's texts and line ends (one
    // byte each) reaches: what the best inserter could do with this table. Nothing when no split exists.
    [[nodiscard]] std::optional<std::int64_t> BestParseBytes(std::string_view script) const;

private:
    // An entry's code as the encoding loop writes it.
    struct Code {
        std::array<char, 4> bytes{};
        std::uint8_t length = 0;
        CharacterKind kind = CharacterKind::Character;
    };
    [[nodiscard]] UnmappedText Unmapped(std::string_view script, std::size_t at) const;

    TextEncoding encoding;
    std::vector<Code> codes; // by entry
    EntryTrie trie;
};

// The whole script encoded (its character map finished), or the first unmapped text.
[[nodiscard]] std::variant<GameText, UnmappedText> EncodeScript(std::string_view script,
                                                                const GameTable& table);

// The text of the characters of an encoded script that start in [begin, end): each code's text, each line
// end its byte. Decoding a whole encoding gives the script back.
[[nodiscard]] std::string DecodeGameText(const GameText& encoded, const GameTable& table, std::size_t begin,
                                         std::size_t end);

} // namespace kestrin
