// SPDX-License-Identifier: MIT
// kestrin-cli's refusals: why a run did not start, in the command's English, naming its own options
// and the files, with the line, column or byte offset where a file's text went wrong.

#include "cli_messages.h"

#include "kestrin/report.h"

namespace kestrin {
namespace {

constexpr std::string_view nothingDone = "; nothing was read or written";
// For a fault found in a file's text: the files were read, but nothing was counted or written.
constexpr std::string_view nothingCounted = "; nothing was counted or written";

std::string PhraseSameFile(const Refusal& refusal)
{
    std::string text =
        RoleName(refusal.role) + " " + refusal.path.string() + " is " + RoleName(refusal.otherRole);
    if (refusal.otherPath != refusal.path) {
        text += " " + refusal.otherPath.string();
    }
    if (refusal.role == FileRole::OutputTable) {
        return text + " too, which the table would be appended to; nothing was read or written";
    }
    if (refusal.role == FileRole::CurveFile) {
        return text + " too, which the curve would replace; nothing was read or written";
    }
    if (refusal.role == FileRole::EncodingPreview) {
        return text + " too, which the encoding preview would replace; nothing was read or written";
    }
    return text + " too, which the report would replace; nothing was read or written";
}

// The refusals of text that cannot be read as the game's characters.
std::string PhraseCharacters(const Refusal& refusal)
{
    // A table's refusals name the table they are about: the game table, the table of kept entries or the
    // table to evaluate.
    const std::string table = RoleName(refusal.role) + " " + refusal.path.string();
    const std::string& gameTable = table;
    switch (refusal.reason) {
    case Refusal::Reason::BadDictionaryBytes:
        return "--dictionary-bytes \"" + ShownText(refusal.text) +
               (refusal.limit > 0 ? "\" is out of range: give at most " + std::to_string(refusal.limit)
                                  : std::string("\" is not a whole number of bytes (0 or more)")) +
               std::string(nothingDone);
    case Refusal::Reason::BadEntryOverhead:
        return "--entry-overhead \"" + ShownText(refusal.text) +
               "\" is not a whole number of bytes from 0 to " + std::to_string(refusal.limit) +
               std::string(nothingDone);
    case Refusal::Reason::InvalidDelimiter:
        return "the comment text (--begin/--end) with the bytes " + SpacedHexOf(refusal.text) +
               " is not valid UTF-8 (--encoding utf-8)" + std::string(nothingDone);
    case Refusal::Reason::InvalidText:
        return RoleName(refusal.role) + " " + refusal.path.string() +
               " is not valid UTF-8 (--encoding utf-8): line " + std::to_string(refusal.line) +
               ", byte offset " + std::to_string(refusal.offset) + ": bytes " + SpacedHexOf(refusal.text) +
               std::string(nothingCounted);
    case Refusal::Reason::UnmappedText:
        return RoleName(FileRole::InputFile) + " " + refusal.path.string() + " holds text that no code of " +
               RoleName(FileRole::GameTable) + " stands for: line " + std::to_string(refusal.line) +
               ", column " + std::to_string(refusal.column) + ": \"" + ShownText(refusal.text) +
               "\" (bytes " + SpacedHexOf(refusal.text) + ")" + std::string(nothingCounted);
    case Refusal::Reason::BadTableLine:
        return "line " + std::to_string(refusal.line) + " of " + table + " is no entry (HEX=text): \"" +
               ShownText(refusal.text) + "\"" + std::string(nothingCounted);
    case Refusal::Reason::CodeBeginsCode:
        return gameTable + ": the code " + refusal.text + " of line " + std::to_string(refusal.line) +
               " begins with the whole code of line " + std::to_string(refusal.otherLine) +
               ", so the game could not tell them apart" + std::string(nothingCounted);
    case Refusal::Reason::NoGameCharacters:
        return gameTable + " holds no entry (HEX=text)" + std::string(nothingCounted);
    case Refusal::Reason::EmptyTable:
        return table + " holds no entry (HEX=text)" + std::string(nothingCounted);
    case Refusal::Reason::TableTextTooLong:
        return "line " + std::to_string(refusal.line) + " of " + table + " has a text of " +
               std::to_string(refusal.length) + " bytes; a table's text may have at most " +
               std::to_string(refusal.limit) + std::string(nothingCounted);
    default:
        break;
    }
    return "the run cannot start";
}

// Why a kept entry cannot be used.
std::string PhraseKeptEntry(const Refusal& refusal)
{
    const std::string entry = "line " + std::to_string(refusal.line) + " of " + RoleName(refusal.role) + " " +
                              refusal.path.string() + " cannot be kept: ";
    std::string why;
    switch (refusal.problem) {
    case EntryProblem::HoldsLineEnd:
        why = "its text \"" + refusal.text + "\" holds a line end or an end code, which no entry may hold";
        break;
    case EntryProblem::SplitsCharacter:
        why = "its text \"" + refusal.text + "\" is not whole characters of " + RoleName(FileRole::GameTable);
        break;
    case EntryProblem::SameText:
        why = "line " + std::to_string(refusal.otherLine) + " has its text";
        break;
    case EntryProblem::RepeatedCode:
        why = "line " + std::to_string(refusal.otherLine) + " has its code";
        break;
    case EntryProblem::GameTableCode:
        why = "its code is a code of " + RoleName(FileRole::GameTable) +
              ", or begins or is begun by one, which the game could not tell apart";
        break;
    case EntryProblem::NoText:
    case EntryProblem::Unused:
        why = "it stands for no text";
        break;
    }
    return entry + why + std::string(nothingCounted);
}

} // namespace

std::string RoleName(FileRole role)
{
    switch (role) {
    case FileRole::InputFile:
        return "the input file";
    case FileRole::ExclusionTable:
        return "the exclusion table (-x)";
    case FileRole::ReportFile:
        return "the report file (-o)";
    case FileRole::OutputTable:
        return "the output table (-t)";
    case FileRole::GameTable:
        return "the game table (--game-table)";
    case FileRole::EvaluatedTable:
        return "the table to evaluate (--evaluate)";
    case FileRole::KeptTable:
        return "the table of kept entries (--keep)";
    case FileRole::CurveFile:
        return "the curve file (--curve)";
    case FileRole::EncodingPreview:
        return "the encoding preview (--show-encoding)";
    }
    return "a file";
}

std::string PhraseRefusal(const Refusal& refusal)
{
    switch (refusal.reason) {
    case Refusal::Reason::NoSampleLength:
        return "-l/--lengths holds no sample length: give one or more lengths, such as 1, 1-3 or 1,3,5";
    case Refusal::Reason::NegativeSampleLength:
        return "-l/--lengths holds the negative sample length " + std::to_string(refusal.length) +
               ": sample lengths must be 0 or more";
    case Refusal::Reason::OnlyZeroLength:
        return "-l/--lengths holds only the sample length 0: at least one length must be 1 or more";
    case Refusal::Reason::SameFile:
        return PhraseSameFile(refusal);
    case Refusal::Reason::NoTableCode:
        return "-r/--ranges \"" + ShownText(refusal.text) +
               "\" gives no code for the output table (-t), and with --real-savings every entry needs one: "
               "give ranges such as &H80-&HFF; nothing was read or written";
    case Refusal::Reason::InputTooLong:
        return "the input files hold " + std::to_string(refusal.length) +
               " bytes; --real-savings takes fewer than " + std::to_string(refusal.limit) +
               "; nothing was read or written";
    case Refusal::Reason::InputTooLongInCharacters:
        return "the input files hold " + std::to_string(refusal.length) +
               " bytes; counting in characters (--encoding utf-8) takes fewer than " +
               std::to_string(refusal.limit) + "; nothing was read or written";
    case Refusal::Reason::NotAReport:
        return "-o/--report: " + refusal.path.string() +
               " exists and is not a report of this program; --force replaces it (files to read go after "
               "the options)";
    case Refusal::Reason::UnreadableReport:
        return "-o/--report: " + refusal.path.string() +
               " cannot be read to tell whether it is a report of this program; --force replaces it";
    case Refusal::Reason::BadDictionaryBytes:
    case Refusal::Reason::BadEntryOverhead:
    case Refusal::Reason::InvalidDelimiter:
    case Refusal::Reason::InvalidText:
    case Refusal::Reason::UnmappedText:
    case Refusal::Reason::BadTableLine:
    case Refusal::Reason::CodeBeginsCode:
    case Refusal::Reason::NoGameCharacters:
    case Refusal::Reason::EmptyTable:
    case Refusal::Reason::TableTextTooLong:
        return PhraseCharacters(refusal);
    case Refusal::Reason::OutputIsFolder:
        return RoleName(refusal.role) + " " + refusal.path.string() + " is a folder: give a file to write" +
               std::string(nothingDone);
    case Refusal::Reason::KeepWithoutSavings:
        return "--keep " + refusal.path.string() +
               ": kept entries need --real-savings, which chooses the entries around them; nothing was read "
               "or "
               "written";
    case Refusal::Reason::BadKeptEntry:
        return PhraseKeptEntry(refusal);
    }
    return "the run cannot start";
}

} // namespace kestrin
