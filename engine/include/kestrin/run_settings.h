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

    // Counting threads; 0 uses every core. The results never depend on it.
    unsigned threads = 0;
};

} // namespace kestrin
