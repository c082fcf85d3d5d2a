// SPDX-License-Identifier: MIT
// The tables a run reads with its settings: the game table, the table of kept entries and the table a
// run judges, each read in the Thingy format and checked line by line before anything is counted.

#include "run/table_loading.h"

#include "run/game_script.h"

#include <algorithm>

namespace kestrin {
namespace {

Refusal TableRefusal(Refusal::Reason reason, const std::filesystem::path& path, std::int64_t line,
                     std::string text, FileRole role = FileRole::GameTable)
{
    Refusal refusal;
    refusal.reason = reason;
    refusal.role = role;
    refusal.path = path;
    refusal.line = line;
    refusal.text = std::move(text);
    return refusal;
}

// A code that begins with another whole code: the game reading its bytes could not tell the two apart,
// and neither could the count, which keys strings by their game bytes.
std::optional<Refusal> CodeBeginningCode(const GameTable& table, const std::filesystem::path& path)
{
    const GameTableEntry* longer = table.FirstCodeWithCodePrefix();
    if (longer == nullptr) {
        return std::nullopt;
    }
    Refusal refusal = TableRefusal(Refusal::Reason::CodeBeginsCode, path, longer->line, HexOf(longer->code));
    for (std::size_t bytes = 1; bytes < longer->code.size(); ++bytes) {
        if (const GameTableEntry* shorter = table.FindCode(std::string_view(longer->code).substr(0, bytes))) {
            refusal.otherLine = shorter->line;
            break;
        }
    }
    return refusal;
}

// The longest text a table's line may have: longest match looks at most this far ahead at every position
// of the script, so that encoding a script stays linear in its size (a text of 100,000 characters made a
// script of 100 KB take minutes).
constexpr std::int64_t tableTextLimit = 256;

// The first entry of the lines whose text is longer than a table's text may be, refused by its line.
std::optional<Refusal> TooLongText(const std::vector<GameTableEntry>& entries,
                                   const std::filesystem::path& path, FileRole role)
{
    for (const GameTableEntry& entry : entries) {
        if (static_cast<std::int64_t>(entry.text.size()) > tableTextLimit) {
            Refusal refusal = TableRefusal(Refusal::Reason::TableTextTooLong, path, entry.line, {}, role);
            refusal.length = static_cast<std::int64_t>(entry.text.size());
            refusal.limit = tableTextLimit;
            return refusal;
        }
    }
    return std::nullopt;
}

// A table file in the Thingy format (the game table, or the table of kept entries, as `role`), read:
// refused when it is not valid in the encoding, holds a line that is no entry, or holds no entry; a
// file error when it cannot be read.
std::variant<GameTableLoad, EarlyEnd> ReadTableFile(FileRole role, const std::filesystem::path& path,
                                                    TextEncoding encoding)
{
    auto read = ReadFileBytes(path);
    if (auto* error = std::get_if<FileError>(&read)) {
        return EarlyEnd::InputFailed(std::move(*error));
    }
    // The kept entries are a table a run wrote, whose codes may have an odd number of digits.
    GameTableLoad load = ReadGameTable(std::get<FileBytes>(read).View(), encoding, TableTextCheck::WholeFile,
                                       role == FileRole::KeptTable ? CodeDigits::Number : CodeDigits::Pairs);
    if (load.invalidText) {
        return EarlyEnd::Refused(InvalidText(role, path, *load.invalidText));
    }
    std::optional<Refusal> refusal;
    if (!load.faults.empty()) {
        const TableLineFault& fault = load.faults.front();
        refusal = TableRefusal(Refusal::Reason::BadTableLine, path, fault.line, fault.content);
    } else if (load.table.Entries().empty()) {
        refusal = TableRefusal(Refusal::Reason::NoGameCharacters, path, 0, {});
    } else {
        refusal = TooLongText(load.table.Entries(), path, role);
    }
    if (refusal) {
        refusal->role = role;
        return EarlyEnd::Refused(std::move(*refusal));
    }
    return load;
}

// Why a kept entry cannot be used, or nothing: the game could not hold its text as one entry.
std::optional<EntryProblem> KeptEntryProblem(const GameTableEntry& entry, const ResolvedSettings& resolved,
                                             std::string& gameBytes)
{
    if (entry.stringEnd) {
        return EntryProblem::HoldsLineEnd;
    }
    if (entry.text.empty()) {
        return EntryProblem::NoText;
    }
    gameBytes = entry.text;
    if (resolved.mode != RunMode::GameTable) {
        return std::nullopt; // whole characters: the reader checked the file in the encoding
    }
    auto encoded = EncodeScript(entry.text, *resolved.gameTable);
    if (std::holds_alternative<UnmappedText>(encoded)) {
        return EntryProblem::SplitsCharacter;
    }
    GameText& game = std::get<GameText>(encoded);
    if (game.characterMap.HoldsBreak(0, game.bytes.size())) {
        return EntryProblem::HoldsLineEnd;
    }
    if (CodeClashes(*resolved.gameTable, entry.code)) {
        return EntryProblem::GameTableCode;
    }
    gameBytes = std::move(game.bytes);
    return std::nullopt;
}

} // namespace

// The game table, with the notes on its lines that the run reads otherwise than they are written.
std::variant<GameTable, EarlyEnd> LoadGameTable(const std::filesystem::path& path, TextEncoding encoding,
                                                std::vector<GameTableNote>& notes)
{
    auto read = ReadTableFile(FileRole::GameTable, path, encoding);
    if (auto* end = std::get_if<EarlyEnd>(&read)) {
        return std::move(*end);
    }
    GameTableLoad& load = std::get<GameTableLoad>(read);
    if (auto refusal = CodeBeginningCode(load.table, path)) {
        return EarlyEnd::Refused(std::move(*refusal));
    }
    using Kind = GameTableNote::Kind;
    for (const TableDuplicate& repeated : load.duplicates) {
        const Kind kind = repeated.kind == TableDuplicateKind::Code ? Kind::RepeatedCode : Kind::RepeatedText;
        notes.push_back({kind, repeated.line, repeated.firstLine, {}});
    }
    for (const std::int64_t line : load.otherNewlineCodes) {
        notes.push_back({Kind::OtherNewlineCode, line, load.newlineLine, {}});
    }
    for (auto& [line, content] : load.unmodelled) {
        notes.push_back({Kind::NotModelled, line, 0, std::move(content)});
    }
    if (load.utf8Mark) {
        notes.push_back({Kind::Utf8Mark, 1, 0, {}});
    }
    return std::move(load.table);
}

// The table to evaluate, read as the game table is (codes of 1 to 4 bytes), with every line that names a
// code kept: refused when a line is no entry (a code line without text is an entry without text, which
// the evaluation names) or when it names no code; a file error when it cannot be read. Its text is not
// checked in the encoding as a whole: each entry's is, by the evaluation.
std::variant<std::vector<GameTableEntry>, EarlyEnd> LoadEvaluatedTable(const std::filesystem::path& path,
                                                                       TextEncoding encoding)
{
    auto read = ReadFileBytes(path);
    if (auto* error = std::get_if<FileError>(&read)) {
        return EarlyEnd::InputFailed(std::move(*error));
    }
    GameTableLoad load =
        ReadGameTable(std::get<FileBytes>(read).View(), encoding, TableTextCheck::None, CodeDigits::Number);
    for (const TableLineFault& fault : load.faults) {
        if (fault.kind == TableFaultKind::BadCode) {
            return EarlyEnd::Refused(TableRefusal(Refusal::Reason::BadTableLine, path, fault.line,
                                                  fault.content, FileRole::EvaluatedTable));
        }
    }
    if (load.lines.empty()) {
        return EarlyEnd::Refused(
            TableRefusal(Refusal::Reason::EmptyTable, path, 0, {}, FileRole::EvaluatedTable));
    }
    if (auto refusal = TooLongText(load.lines, path, FileRole::EvaluatedTable)) {
        return EarlyEnd::Refused(std::move(*refusal));
    }
    return std::move(load.lines);
}

// The table of kept entries, read and checked after the game table: each entry must be one the game
// can hold, with a code and a text of its own. The output table's codes then leave the kept codes out.
StepEnd LoadKeptEntries(const RunSettings& settings, ResolvedSettings& resolved, NumberListReader& ranges)
{
    const std::filesystem::path& path = *settings.keepTable;
    auto read = ReadTableFile(FileRole::KeptTable, path, resolved.encoding);
    if (auto* end = std::get_if<EarlyEnd>(&read)) {
        return std::move(*end);
    }
    const GameTableLoad& load = std::get<GameTableLoad>(read);
    Refusal refusal;
    refusal.reason = Refusal::Reason::BadKeptEntry;
    refusal.role = FileRole::KeptTable;
    refusal.path = path;
    if (!load.duplicates.empty()) {
        const TableDuplicate& repeated = load.duplicates.front();
        refusal.problem =
            repeated.kind == TableDuplicateKind::Code ? EntryProblem::RepeatedCode : EntryProblem::SameText;
        refusal.line = repeated.line;
        refusal.otherLine = repeated.firstLine;
        return EarlyEnd::Refused(std::move(refusal));
    }
    for (const GameTableEntry& entry : load.table.Entries()) {
        std::string gameBytes;
        if (auto problem = KeptEntryProblem(entry, resolved, gameBytes)) {
            refusal.problem = *problem;
            refusal.line = entry.line;
            refusal.text = entry.text;
            return EarlyEnd::Refused(std::move(refusal));
        }
        resolved.kept.push_back({entry.line, entry.code, entry.text, std::move(gameBytes)});
    }
    if (resolved.codes.ranged) {
        const std::size_t most = resolved.request.Most();
        std::vector<std::int16_t> codes = std::move(resolved.codes.codes);
        ranges.Read(resolved.kept.size(), codes);
        std::erase_if(codes, [&](std::int16_t code) {
            const std::string bytes = TableCodeBytes(code);
            return std::any_of(resolved.kept.begin(), resolved.kept.end(),
                               [&](const KeptEntry& kept) { return kept.code == bytes; });
        });
        codes.resize(std::min(codes.size(), most));
        resolved.codes.codes = std::move(codes);
    }
    return std::nullopt;
}

} // namespace kestrin
