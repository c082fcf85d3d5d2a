// SPDX-License-Identifier: MIT
#pragma once

#include "counting/comment_scanner.h"
#include "io/file_io.h"
#include "ranking.h"
#include "run/step.h"
#include "text/game_table.h"

#include "kestrin/number_list.h"
#include "kestrin/run_analysis.h"

#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kestrin {

// The bytes a code of the output table stands for, high byte first: two above &HFF (a code of three or
// four hex digits), else one.
[[nodiscard]] std::string TableCodeBytes(std::int16_t code);

// The codes of the output table's ranges, as a run uses them: for the table block, and in the savings mode
// for the bytes each entry costs.
struct TableCodes {
    bool ranged = false;             // the range text gives at least one code
    std::vector<std::int16_t> codes; // its first codes, as many as the request can ever use

    // The codes of the results 0 to count - 1, fewer when the ranges run out.
    [[nodiscard]] std::vector<std::int16_t> For(std::size_t count) const;
    // The number of bytes of the codes of the entries 0 to count - 1 (their TableCodeBytes); one byte
    // each without ranges. The list ends where the ranges run out.
    [[nodiscard]] std::vector<int> Bytes(std::size_t count) const;
    // The fewest bytes the code of any of the entries 0 to count - 1 takes; 0 when count is 0, or when
    // the kept entries have taken every code the ranges give.
    [[nodiscard]] int Cheapest(std::size_t count) const;
};

// The request for results: the text used (as typed, or the default when that is not numeric).
struct ResultRequest {
    std::string text;
    NumericText value;
    bool replaced = false; // the typed text was not numeric: the host is told when the ranking uses it
    // The most results it can ever give, whatever the count.
    [[nodiscard]] std::size_t Most() const;
};

// An entry of the table of kept entries (keepTable), checked.
struct KeptEntry {
    std::int64_t line = 0; // in the table file, from 1
    std::string code;      // its bytes, 1 to 4
    std::string text;      // in the encoding
    std::string gameBytes; // the text through the game table; without one, the text itself
};

// What a run counts in. Bytes: Latin-1 without a game table, a character is a byte. Utf8: a character is
// one UTF-8 sequence. GameTable: the script (Latin-1 or UTF-8) is encoded through the game's table and a
// character is one of its codes.
enum class RunMode { Bytes, Utf8, GameTable };

// The settings of a run, each read, parsed and checked once, when the run starts, with a look at every
// input; the phases take what they need of it and never go back to the RunSettings.
struct ResolvedSettings {
    std::vector<std::filesystem::path> inputFiles;
    std::vector<FileLook> inputLooks; // of every input, before any is read: missing or unreadable ones fail
    std::optional<std::filesystem::path> reportFile;
    std::optional<std::filesystem::path> outputTable;

    std::vector<std::int16_t> listedLengths; // sorted, a length listed twice twice: the report and ranking
    std::vector<std::int16_t> lengths;       // sorted, each once: what is counted
    ResultRequest request;
    TableCodes codes;
    unsigned threads = 1; // at least 1
    SkipRules skips;
    CommentRules comments;

    RunMode mode = RunMode::Bytes;
    TextEncoding encoding = TextEncoding::Latin1; // of the scripts, the delimiters and the game table
    std::optional<GameTable> gameTable;           // in the GameTable mode, read and checked
    std::vector<GameTableNote> gameTableNotes;    // its lines read otherwise than they are written
    // With real savings: the entries are chosen instead of ranked, and take at most this many game bytes
    // together.
    bool realSavings = false;
    std::int64_t dictionaryBytes = std::numeric_limits<std::int64_t>::max();
    // The table a run judges instead of counting (evaluateTable): every line of it that names a code, in
    // file order, duplicates and lines without text included.
    std::optional<std::vector<GameTableEntry>> evaluatedTable;
    // Where the counted text goes as encoded, each entry's text in braces (with real savings or an
    // evaluated table).
    std::optional<std::filesystem::path> encodingPreview;
    // With real savings: the bytes each entry takes in the dictionary beyond its text.
    std::int64_t entryOverhead = 0;
    // With real savings: the entries in the dictionary from the start, in file order. The codes of the
    // table (codes) leave theirs out.
    std::vector<KeptEntry> kept;
    // With real savings: the savings curve is worked out, and written as a picture to curveFile when
    // that is given.
    bool savingsCurve = false;
    std::optional<std::filesystem::path> curveFile;

    // Counting in the game's characters (UTF-8, or through a game table) rather than in bytes.
    [[nodiscard]] bool InCharacters() const { return mode != RunMode::Bytes; }
};

// Counting threads: 0 asks for one per core; more than a cap only add memory, as the work comes in
// few, large jobs.
[[nodiscard]] unsigned ResolveThreads(unsigned asked);

// Everything before an input is read, in the order the refusals come: the file clash, a report file
// that is no report, the table codes of the savings mode, the sample lengths with the host's warning
// and question, the skip rules with the exclusion table (read here), the delimiters in the encoding, the
// dictionary's bytes and the entry overhead, the comment rules (the host is told when they turn comments
// off), a look at every input (missing, unreadable or endless ones fail here; inputs too long for the savings
// mode are refused from their sizes), the game table, read and checked, the table of kept entries, read and
// checked (it needs real savings, which is looked at first), and the table to evaluate, read.
[[nodiscard]] std::variant<ResolvedSettings, EarlyEnd> ResolveSettings(const RunSettings& settings,
                                                                       RunObserver& observer);

} // namespace kestrin
