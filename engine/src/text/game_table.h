// SPDX-License-Identifier: MIT
#pragma once

#include "text/text_encoding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrin {

// One code of the game's character table: the game's bytes and the text they stand for.
struct GameTableEntry {
    std::string code; // the game's bytes, 1 to 4
    std::string text; // in the table's encoding, never holding CR or LF; empty only for an end code
                      // that names no text (which no script can then hold)
    bool stringEnd = false;
    std::int64_t line = 0; // in the table file, from 1; 0 for an entry added by the program

    bool operator==(const GameTableEntry&) const = default;
};

// The game's character table: codes to texts and back, with a code or a text listed once.
class GameTable
{
public:
    explicit GameTable(TextEncoding textEncoding = TextEncoding::Latin1) : encoding(textEncoding) {}

    // Adds an entry (a code of 1 to 4 bytes; a text without CR or LF, or the encoder never matches it)
    // unless its code or its (non-empty) text is already in the table: the first one
    // wins, so that encoding never depends on anything but the order of the lines. Returns the index
    // of the entry that holds the code or text already, or nothing when the entry was added.
    std::optional<std::size_t> Add(GameTableEntry entry);

    [[nodiscard]] TextEncoding TableEncoding() const { return encoding; }
    [[nodiscard]] const std::vector<GameTableEntry>& Entries() const { return entries; }
    // The entry whose code is exactly these bytes, or nullptr.
    [[nodiscard]] const GameTableEntry* FindCode(std::string_view code) const;
    [[nodiscard]] const GameTableEntry* FindText(std::string_view text) const;
    // The first entry whose code begins with another entry's whole code (such as 88 and 8801), or
    // nullptr when no code does. Then the game's bytes alone do not tell where its characters start:
    // counting must key windows by their characters, not by their bytes.
    [[nodiscard]] const GameTableEntry* FirstCodeWithCodePrefix() const;

    // The code the game stores for a line end of the script (a "*HEX" or "HEX=\n" line), or nothing when
    // the table gives none: then the game keeps no line end of the script.
    [[nodiscard]] const std::optional<std::string>& NewlineCode() const { return newlineCode; }
    void SetNewlineCode(std::string code) { newlineCode = std::move(code); }

private:
    TextEncoding encoding;
    std::vector<GameTableEntry> entries;
    std::optional<std::string> newlineCode;
    std::array<std::int32_t, 256> oneByteCodes = MakeNoCodes();
    std::unordered_map<std::uint64_t, std::size_t> longerCodes; // by PackCode
    std::unordered_map<std::string, std::size_t> texts;

    static std::array<std::int32_t, 256> MakeNoCodes();
};

// A code of 1 to 4 bytes packed into one number that tells codes of different lengths apart.
[[nodiscard]] std::uint64_t PackCode(std::string_view code);

// Why an entry line of a table file cannot be read. A line that starts with a hex digit is a code,
// one that starts with "/" an end-of-string code; every other line (a comment, an empty line) is left
// out as the table-file reader does.
enum class TableFaultKind {
    BadCode,     // not 2, 4, 6 or 8 hex digits (a code of 1 to 4 bytes) before the "="
    MissingText, // a code without "=" or with nothing after it (an end code may name no text)
};
struct TableLineFault {
    std::int64_t line = 0;
    TableFaultKind kind = TableFaultKind::BadCode;
    std::string content; // the line as read, without its line end

    bool operator==(const TableLineFault&) const = default;
};

// A line left out because an earlier line has its code or its text already.
enum class TableDuplicateKind { Code, Text };
struct TableDuplicate {
    std::int64_t line = 0;
    TableDuplicateKind kind = TableDuplicateKind::Code;
    std::int64_t firstLine = 0; // the line that wins

    bool operator==(const TableDuplicate&) const = default;
};

struct GameTableLoad {
    GameTable table;
    std::optional<TextFault> invalidText; // the file is not valid in the encoding: nothing was read
    std::vector<TableLineFault> faults;   // entry lines that could not be read, in file order
    std::vector<TableDuplicate> duplicates;
    // The line that gave the table's newline code (0 without one), and the later lines that name another
    // newline code, which is not the table's.
    std::int64_t newlineLine = 0;
    std::vector<std::int64_t> otherNewlineCodes;
    // Every line that names a code, in file order: the entries, the duplicates, and with an empty text
    // the lines missing their text; for a host that judges every line of a table, not only the winners.
    std::vector<GameTableEntry> lines;
    // Lines of kinds the program does not model: "$XX=" linked entries, "!XX" and "@XX" marks, table
    // switches and bookmarks, each with its line number. A code they name counts as used: it is in the
    // table, standing for no text.
    std::vector<std::pair<std::int64_t, std::string>> unmodelled;
    // A Latin-1 table that starts with the UTF-8 byte-order mark: UTF-8 is probably meant.
    bool utf8Mark = false;
};

// What ReadGameTable checks of the text: the whole file, or (for a table whose entries are judged one
// by one) nothing, so that an entry that splits a character is read as it is.
enum class TableTextCheck { WholeFile, None };

// How ReadGameTable reads a code's hex digits: two a byte (a game table), or also an odd number of them
// as the number they spell, padded to whole bytes (a table a run writes, whose codes 100 to FFF have
// three digits).
enum class CodeDigits { Pairs, Number };

// Reads a game table in the Thingy format: "HEX=text" lines, with codes of 1 to 4 bytes in hex (either
// case) and the text everything after the first "=" (spaces and further "=" kept), and "/HEX=text" or
// "/HEX" lines for end-of-string codes. The newline code is the code of the first "*HEX" line (with
// "*HEX=text" its text is an entry's text too) or "HEX=\n" line (an entry whose text is the two characters
// backslash and n, as a script that writes them literally holds them); its code counts as used, standing
// for no text when no entry holds it. Lines end at CR LF, a lone CR or a lone LF (a text can hold
// no line end); a UTF-8 file may begin with a byte-order mark. The whole file must be valid in the
// encoding, or nothing is read. Bad entry lines and duplicates are reported and left out; a host
// should refuse a table with faults and may mention the duplicates.
[[nodiscard]] GameTableLoad ReadGameTable(std::string_view content, TextEncoding encoding,
                                          TableTextCheck check = TableTextCheck::WholeFile,
                                          CodeDigits spelling = CodeDigits::Pairs);

} // namespace kestrin
