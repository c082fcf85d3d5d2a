// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/file_error.h"
#include "kestrin/report.h"
#include "kestrin/run_observer.h"
#include "kestrin/run_settings.h"
#include "kestrin/savings_curve.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrin {

enum class RunStatus {
    Completed,   // the report was built; output files may still have failed (errors)
    Declined,    // No to the question about a long sample length
    Refused,     // the settings cannot make a run; refusal says why
    Cancelled,   // the host asked to stop while counting or ranking
    InputFailed, // an exclusion table or input file could not be read; errors holds it
    Failed,      // the run could not finish; failure says why
};

// Why a run could not finish.
enum class Failure {
    OutOfMemory, // the request needs more memory than there is
    NoThread,    // the system gave no thread to count on
    FileGrew,    // failurePath grew past 2 GiB while it was read, after the count was planned for less
    TextTooLong, // the savings choice met a counted text of 2 GiB or more (behind the comment filter)
    Other,       // failureDetail names it
};

// The role a file has in a run.
enum class FileRole {
    InputFile,
    ExclusionTable,
    ReportFile,
    OutputTable,
    GameTable,
    EvaluatedTable,  // the table that evaluateTable judges
    KeptTable,       // keepTable
    CurveFile,       // the SVG picture of the savings curve
    EncodingPreview, // the counted text as encoded
};

// Why a run does not start. Each host phrases it in its own words.
struct Refusal {
    enum class Reason {
        NoSampleLength,       // the sample-length text holds no length
        NegativeSampleLength, // `length` is below 0
        OnlyZeroLength,       // every sample length is 0
        SameFile,             // `path` (as `role`) and `otherPath` (as `otherRole`) are one file, which
                              // writing the report (or, with `role` OutputTable, the table block; with
                              // CurveFile, the curve) would destroy
        NoTableCode,  // with real savings, the ranges (`text`, as typed) give the output table no code
        InputTooLong, // the inputs hold `length` bytes; the savings choice takes fewer than `limit`
        InputTooLongInCharacters, // the inputs hold `length` bytes; the count in UTF-8 characters takes
                                  // fewer than `limit`
        NotAReport,       // with replaceOnlyReports, the report file `path` is not a report of this program
        UnreadableReport, // with replaceOnlyReports, the report file `path` cannot be read to tell
        // The game's characters (before anything is counted; nothing is written):
        BadDictionaryBytes, // the dictionary bytes (`text`, as typed) are not a whole number of 0 or more, or
                            // (with `limit`, the most there may be) a whole number out of range
        BadEntryOverhead,   // the entry overhead (`text`, as typed) is not a whole number from 0 to `limit`
        InvalidDelimiter,   // comment delimiter `text` is not valid in the encoding
        InvalidText,        // `path` (as `role`) is not valid UTF-8: at byte `offset` (from 0) of line
                            // `line`, the bytes `text`
        UnmappedText,       // input `path` holds text that no code of the game table stands for: `text`
                            // at line `line`, column `column` (in characters, from 1)
        BadTableLine,       // line `line` of the table `path` (as `role`: the game table, or a table of
                            // entries) is no entry: `text` is the line
        CodeBeginsCode,     // in the game table `path`, code `text` (hex) of line `line` begins with the
                            // whole code of line `otherLine`, which the game could not tell apart
        NoGameCharacters,   // the game table `path` holds no entry
        EmptyTable,         // the table of entries `path` (as `role`) holds no entry
        TableTextTooLong,   // line `line` of the table `path` (as `role`) has a text of `length` bytes, more
                            // than the `limit` that encoding by longest match takes in time linear in the
                            // script
        OutputIsFolder,     // `path`, a file the run writes (as `role`), is a folder
        // (BadTableLine, InvalidText and NoGameCharacters name the table by `role`: the game table, or
        // the table of kept entries.)
        // The kept entries (keepTable; nothing is counted or written):
        KeepWithoutSavings, // the table `path` of kept entries is given without real savings
        BadKeptEntry,       // the entry of line `line` (text `text`) of the table `path` cannot be kept:
                            // `problem` says why (SameText, RepeatedCode: the entry of `otherLine` wins)
    };
    Reason reason = Reason::NoSampleLength;
    std::int64_t length = 0;
    FileRole role = FileRole::ReportFile;
    FileRole otherRole = FileRole::InputFile;
    std::filesystem::path path;
    std::filesystem::path otherPath;
    std::string text;
    std::int64_t limit = 0;
    std::int64_t line = 0;
    std::int64_t column = 0;
    std::int64_t offset = 0;
    std::int64_t otherLine = 0;
    EntryProblem problem = EntryProblem::Unused;

    bool operator==(const Refusal&) const = default;
};

// A line of the game table that the run reads otherwise than it is written, for the host to point out.
struct GameTableNote {
    enum class Kind {
        RepeatedCode,     // `line` has the code of `firstLine`, which wins
        RepeatedText,     // `line` has the text of `firstLine`, which wins
        NotModelled,      // `line` (`text`) is of a kind the program does not model; its code counts as used
        Utf8Mark,         // the table starts with the UTF-8 byte-order mark, but the encoding is Latin-1
        OtherNewlineCode, // `line` names a newline code other than that of `firstLine`, which wins
    };
    Kind kind = Kind::RepeatedCode;
    std::int64_t line = 0;
    std::int64_t firstLine = 0;
    std::string text;

    bool operator==(const GameTableNote&) const = default;
};

struct RunCounters {
    std::int64_t totalCharacters = 0;   // bytes of all input files (characters, counting in characters)
    std::int64_t countedCharacters = 0; // positions at which counting ran (characters the filter kept)
    std::int64_t distinctStrings = 0;   // different strings over all sample lengths
};

struct RunOutcome {
    RunStatus status = RunStatus::Completed;
    std::optional<Refusal> refusal; // Refused: why
    Failure failure = Failure::Other;
    std::string failureDetail;         // Failed (Other): what the system said, for the host to pass on
    std::filesystem::path failurePath; // Failed (FileGrew): the file
    std::string report;                // Completed: the whole report text, for the host to show
    std::vector<FileError> errors;     // InputFailed: what failed; Completed: output files that failed
    RunCounters counters;
    // Completed: there were results for the output table, but its ranges gave none of them a code, so the
    // block appended holds no entry. The host points it out.
    bool noTableCode = false;
    // Completed: the results as the report lists them (skip marks in hits), and with real savings the
    // encoded sizes that end the report.
    std::vector<ResultEntry> results;
    std::optional<EncodedSizes> sizes;
    // Completed with an output table: per result the code written for it, if any; the results that were
    // not written because they hold a CR or an LF (their codes stay unused); and the first code written
    // that the table file already held when the run planned its block (advisory: see
    // PlanTableAppendToFile; none when the append failed).
    std::vector<std::optional<std::int16_t>> codes;
    std::vector<std::size_t> splittingResults;
    std::optional<std::int16_t> repeatedCode;
    // Completed with a game table and an output table: the first code written that is a code of the
    // game table too, begins one or is begun by one, which an inserter reading both tables could not
    // tell apart (none when the append failed). The host points it out.
    std::optional<std::int16_t> gameTableCode;
    // Through a game table, once it was read (the run may still be refused or fail after): its lines that
    // the run read otherwise than they are written.
    std::vector<GameTableNote> gameTableNotes;
    // Completed with evaluateTable: the table's entries in file order, judged; sizes holds the encoded
    // sizes, and results stays empty.
    std::vector<EvaluatedEntry> evaluated;
    // Completed with real savings and savingsCurve: the script and the dictionary after each number of
    // entries, in entry order.
    std::vector<CurvePoint> curve;
    // Completed with keepTable: the codes (their bytes) of the kept entries, which the results list first.
    std::vector<std::string> keptCodes;
};

// One analysis run: sample lengths, counting, ranking, skip filters, output table, report, report
// file. Declined, refused, cancelled and failed runs change no file and make no report. The host
// shows the report (cut with TruncateForDisplay) and beeps when the settings ask for it.
[[nodiscard]] RunOutcome RunAnalysis(const RunSettings& settings, RunObserver& observer);

// Why no run can use a sorted sample-length list, or nothing when it is usable: the list is empty,
// holds a negative length, or its largest length is 0.
[[nodiscard]] std::optional<Refusal> CheckSampleLengths(const std::vector<std::int16_t>& sortedLengths);

// The first pair of files of the settings that writing the outputs would destroy: the report file and an
// input, the exclusion table or the output table, then the output table and an input or the game table
// (which would get table lines appended), compared as files (through links and other names), not as names;
// then the encoding preview and, with real savings, the curve file, each against every other file. The
// output table may be the exclusion table or the table of kept entries: those are read before the table
// grows (the table to evaluate is one the run reads). RunAnalysis refuses such a pair before anything is
// read, and then, with replaceOnlyReports, a report file that is not a report.
[[nodiscard]] std::optional<Refusal> FindFileClash(const RunSettings& settings);

} // namespace kestrin
