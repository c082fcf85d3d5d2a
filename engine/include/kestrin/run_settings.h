// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

enum class CommentStyle {
    C,      // "/*" ... "*/"
    Cpp,    // "//" ... CR LF
    Thingy, // "<$" ... ">"
    Custom, // beginComment ... endComment, or CR LF when endComment is empty
};

// How the bytes of a script, a table file or a delimiter are read as characters. Latin-1 is one
// character per byte (every byte string is valid); UTF-8 is one character per well-formed sequence of
// one to four bytes.
enum class TextEncoding { Latin1, Utf8 };

// The start texts of the sample lengths and of the request, which a request that is not numeric falls
// back to as well.
inline constexpr std::string_view defaultSampleLengths = "1";
inline constexpr std::string_view defaultTopResults = "25";

// Everything a run reads, copied from the window's controls (or the command line) when a run starts.
// Texts are bytes, one char per byte, exactly as typed (the window converts them as Latin-1).
struct RunSettings {
    std::vector<std::filesystem::path> inputFiles;   // read in this order, duplicates allowed
    std::string sampleLengths{defaultSampleLengths}; // txtSampleLength
    std::string topResults{defaultTopResults};       // txtTopResults

    bool useComments = false; // chkUseComments
    CommentStyle commentStyle = CommentStyle::C;
    std::string beginComment; // txtBeginComment, used by the custom style only
    std::string endComment;   // txtEndComment, used by the custom style only
    bool readInsideComments = false;

    bool ignoreSpace = false;
    bool ignoreReturn = false; // results holding both a CR and an LF
    bool ignoreTab = false;

    std::optional<std::filesystem::path> exclusionTable; // skip results listed in this table file
    std::optional<std::filesystem::path> reportFile;     // replaced with the whole report
    std::optional<std::filesystem::path> outputTable;    // a block of results is appended
    std::string writeTableRanges;                        // codes for the output table, a number list
    // Refuse the run, rather than replace it, when the report file holds something other than a report
    // of this program, or cannot be read to tell (see CheckReportFile).
    bool replaceOnlyReports = false;

    // Choose the entries by what they really save in the text, one after another, instead of ranking
    // strings by length times hits; the report then ends with the encoded sizes.
    bool realSavings = false;

    // The game's characters. With Latin-1 and no game table, a character is a byte, as the counting has
    // always been. With UTF-8 a character is one UTF-8 sequence (the game is taken to store UTF-8); with
    // a game table (a Thingy file in the encoding) the script is encoded through it by longest match, and
    // a character is one of its codes. Sample lengths then count characters, sizes the game's bytes; no
    // result holds part of a character, a line end or an end-of-string code. Delimiters, the exclusion
    // table and the output table are in the same encoding.
    TextEncoding encoding = TextEncoding::Latin1;
    std::optional<std::filesystem::path> gameTable;
    // With real savings, the most bytes the chosen entries may take in the game (their game bytes
    // together), as typed; empty for no limit.
    std::string dictionaryBytes;

    // Counting threads; 0 uses every core. The results never depend on it.
    unsigned threads = 0;

    // The translator's loop; each is off by default and then changes nothing.
    // Judge this table of entries (a Thingy table in the encoding, codes of 1 to 4 bytes) instead of
    // counting: the counted text is encoded through the game table and these entries, as an inserter does.
    std::optional<std::filesystem::path> evaluateTable;
    // With real savings: entries (the same format) that are in the dictionary from the start with their
    // own codes; the choice fills the codes of the ranges that they do not use.
    std::optional<std::filesystem::path> keepTable;
    // With real savings: the bytes each dictionary entry takes beyond its text (a terminator, a length or a
    // pointer), as typed; empty for 0.
    std::string entryOverhead;
    // With real savings: work out the savings curve (the outcome's curve), and write it to curveFile as an
    // SVG picture when that is given.
    bool savingsCurve = false;
    std::optional<std::filesystem::path> curveFile;
    // With real savings or evaluateTable: the counted text written as encoded, each entry's text in braces.
    std::optional<std::filesystem::path> encodingPreview;
};

} // namespace kestrin
