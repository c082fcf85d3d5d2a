// SPDX-License-Identifier: MIT
// The start of a run. ResolveSettings turns the host's settings into ResolvedSettings, a plain value
// from which each later phase takes what it needs: every setting read, parsed and checked once. On the
// way it ends the run at a file clash, a report file that is not a report (when the host lets the run
// replace only reports), an output table without codes in the savings mode, the sample lengths (with the
// host's warning and question), a delimiter not valid in the encoding or a bad dictionary size, an input
// that cannot be read or is too long for the mode, and a game table that cannot be used; it reads the
// exclusion table and the game table.

#include "run/resolved_settings.h"

#include "run/table_loading.h"
#include "text/text_encoding.h"

#include "kestrin/report.h"
#include "kestrin/table_file.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <thread>

namespace kestrin {
namespace {

// More counting threads than this only add memory: the work comes in few, large jobs.
constexpr unsigned maxThreads = 64;

// The savings choice numbers the positions of its text in 31 bits.
constexpr std::int64_t savingsTextLimit = std::numeric_limits<std::int32_t>::max();
// An entry overhead above the text's size gives every entry a loss; the cap keeps the table's bytes
// (entries times overhead) far from overflowing.
constexpr std::int64_t entryOverheadLimit = savingsTextLimit;

std::optional<Refusal> SameFile(FileRole role, const std::filesystem::path& path, FileRole otherRole,
                                const std::filesystem::path& otherPath)
{
    Refusal refusal;
    refusal.reason = Refusal::Reason::SameFile;
    refusal.role = role;
    refusal.path = path;
    refusal.otherRole = otherRole;
    refusal.otherPath = otherPath;
    return refusal;
}

// A file of the run as the clash check sees it: each is identified once.
struct NamedFile {
    FileRole role;
    const std::filesystem::path* path;
    std::optional<FileIdentity> identity; // nothing for a file that cannot be looked at: it fails later
};

// The first of the others (of one role, when given) that is the file `one`, compared as files.
const NamedFile* SameFileAs(const NamedFile& one, const std::vector<NamedFile>& others,
                            std::optional<FileRole> onlyRole)
{
    for (const NamedFile& other : others) {
        if (one.identity && other.identity == one.identity && (!onlyRole || other.role == *onlyRole)) {
            return &other;
        }
    }
    return nullptr;
}

// Parse, refuse what no run can use, warn, ask about long ones; the lengths come out sorted.
std::variant<std::vector<std::int16_t>, EarlyEnd> LoadSampleLengths(std::string_view text,
                                                                    RunObserver& observer)
{
    std::vector<std::int16_t> lengths = ParseNumberList(text);
    std::sort(lengths.begin(), lengths.end());
    if (auto refusal = CheckSampleLengths(lengths)) {
        return EarlyEnd::Refused(std::move(*refusal));
    }
    if (lengths.size() > 10) {
        observer.WarnManyLengths(lengths.size());
    }
    if (lengths.back() > 200 && !observer.ConfirmLongLength(lengths.back())) {
        return EarlyEnd{RunStatus::Declined, std::nullopt, std::nullopt};
    }
    return lengths;
}

ResultRequest ResolveRequest(const std::string& typed)
{
    ResultRequest request{typed, {}, false};
    std::optional<NumericText> value = ParseNumeric(typed);
    if (!value) {
        request.text = defaultTopResults;
        request.replaced = true;
        value = ParseNumeric(request.text);
    }
    request.value = *value;
    return request;
}

// The table codes; with real savings every entry needs a code of its own, so an output table whose
// ranges give none is refused. The first codes are read for at least one, which tells whether the ranges
// give any; kept entries read on from there.
std::variant<TableCodes, EarlyEnd> ResolveCodes(const RunSettings& settings, const ResultRequest& request,
                                                NumberListReader& ranges)
{
    const std::size_t most = request.Most();
    TableCodes codes;
    ranges.Read(std::max<std::size_t>(most, 1), codes.codes);
    codes.ranged = !codes.codes.empty();
    if (settings.realSavings && settings.outputTable && !codes.ranged) {
        Refusal refusal;
        refusal.reason = Refusal::Reason::NoTableCode;
        refusal.role = FileRole::OutputTable;
        refusal.path = *settings.outputTable;
        refusal.text = settings.writeTableRanges;
        return EarlyEnd::Refused(std::move(refusal));
    }
    codes.codes.resize(std::min(codes.codes.size(), most));
    return codes;
}

std::variant<SkipRules, EarlyEnd> ResolveSkipRules(const RunSettings& settings)
{
    SkipRules skips;
    skips.space = settings.ignoreSpace;
    skips.carriageReturnLineFeed = settings.ignoreReturn;
    skips.tab = settings.ignoreTab;
    if (settings.exclusionTable) {
        ExclusionLoad load = LoadExclusionTable(*settings.exclusionTable);
        if (load.error) {
            return EarlyEnd::InputFailed(std::move(*load.error));
        }
        skips.useTable = true;
        for (std::string& entry : load.entries) {
            skips.listed.insert(std::move(entry));
        }
    }
    return skips;
}

} // namespace

std::string TableCodeBytes(std::int16_t code)
{
    const auto value = static_cast<std::uint16_t>(code);
    if (value > 0xFF) {
        return {static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
    }
    return std::string(1, static_cast<char>(value));
}

std::vector<std::int16_t> TableCodes::For(std::size_t count) const
{
    return {codes.begin(), codes.begin() + static_cast<std::ptrdiff_t>(std::min(count, codes.size()))};
}

std::vector<int> TableCodes::Bytes(std::size_t count) const
{
    if (!ranged) {
        return std::vector<int>(count, 1);
    }
    std::vector<int> bytes;
    for (const std::int16_t code : For(count)) {
        bytes.push_back(static_cast<int>(TableCodeBytes(code).size()));
    }
    return bytes;
}

int TableCodes::Cheapest(std::size_t count) const
{
    if (count == 0) {
        return 0;
    }
    if (!ranged) {
        return 1;
    }
    const std::vector<int> bytes = Bytes(count);
    // The kept entries may have taken every code the ranges give: then no entry gets one.
    return bytes.empty() ? 0 : *std::min_element(bytes.begin(), bytes.end());
}

std::size_t ResultRequest::Most() const
{
    const std::int64_t last = LastResultPosition(value, std::numeric_limits<std::int64_t>::max());
    return static_cast<std::size_t>(std::max<std::int64_t>(last + 1, 0));
}

unsigned ResolveThreads(unsigned asked)
{
    return std::min(asked != 0 ? asked : std::max(1u, std::thread::hardware_concurrency()), maxThreads);
}

std::optional<Refusal> CheckSampleLengths(const std::vector<std::int16_t>& sortedLengths)
{
    Refusal refusal;
    if (sortedLengths.empty()) {
        refusal.reason = Refusal::Reason::NoSampleLength;
    } else if (sortedLengths.front() < 0) {
        refusal.reason = Refusal::Reason::NegativeSampleLength;
        refusal.length = sortedLengths.front();
    } else if (sortedLengths.back() == 0) {
        refusal.reason = Refusal::Reason::OnlyZeroLength;
    } else {
        return std::nullopt;
    }
    return refusal;
}

std::optional<Refusal> FindFileClash(const RunSettings& settings)
{
    // The preview is written only with real savings or a table to evaluate, the curve with real savings.
    const bool previewed = settings.encodingPreview && (settings.realSavings || settings.evaluateTable);
    const bool curve = settings.realSavings && settings.curveFile && !settings.evaluateTable;
    if (!settings.reportFile && !settings.outputTable && !previewed && !curve) {
        return std::nullopt;
    }
    std::vector<NamedFile> others;
    for (const auto& input : settings.inputFiles) {
        others.push_back({FileRole::InputFile, &input, IdentifyFile(input)});
    }
    if (settings.exclusionTable) {
        others.push_back(
            {FileRole::ExclusionTable, &*settings.exclusionTable, IdentifyFile(*settings.exclusionTable)});
    }
    if (settings.gameTable) {
        others.push_back({FileRole::GameTable, &*settings.gameTable, IdentifyFile(*settings.gameTable)});
    }
    if (settings.evaluateTable) {
        others.push_back(
            {FileRole::EvaluatedTable, &*settings.evaluateTable, IdentifyFile(*settings.evaluateTable)});
    }
    // The output table may be the table of kept entries: that is read before the table grows.
    if (settings.keepTable) {
        others.push_back({FileRole::KeptTable, &*settings.keepTable, IdentifyFile(*settings.keepTable)});
    }
    std::optional<NamedFile> table;
    if (settings.outputTable) {
        table = NamedFile{FileRole::OutputTable, &*settings.outputTable, IdentifyFile(*settings.outputTable)};
    }
    // The report file against every other file.
    if (settings.reportFile) {
        const NamedFile report{FileRole::ReportFile, &*settings.reportFile,
                               IdentifyFile(*settings.reportFile)};
        if (table) {
            others.push_back(*table);
        }
        if (const NamedFile* same = SameFileAs(report, others, std::nullopt)) {
            return SameFile(FileRole::ReportFile, *report.path, same->role, *same->path);
        }
        others.push_back(report);
    } else if (table) {
        others.push_back(*table);
    }
    // The output table against the inputs and the game table, whose lines the appended codes would break.
    for (const FileRole role : {FileRole::InputFile, FileRole::GameTable}) {
        if (const NamedFile* same = table ? SameFileAs(*table, others, role) : nullptr) {
            return SameFile(FileRole::OutputTable, *table->path, role, *same->path);
        }
    }
    // The encoding preview and the curve picture replace their files whole, like the report: against every
    // file the run reads or writes, and each other.
    const std::pair<FileRole, const std::optional<std::filesystem::path>*> wholeFiles[] = {
        {FileRole::EncodingPreview, previewed ? &settings.encodingPreview : nullptr},
        {FileRole::CurveFile, curve ? &settings.curveFile : nullptr}};
    for (const auto& [role, path] : wholeFiles) {
        if (path == nullptr) {
            continue;
        }
        const NamedFile written{role, &**path, IdentifyFile(**path)};
        if (const NamedFile* same = SameFileAs(written, others, std::nullopt)) {
            return SameFile(role, *written.path, same->role, *same->path);
        }
        others.push_back(written);
    }
    return std::nullopt;
}

namespace {

// The typed text as a whole number from 0 to most, or nothing.
std::optional<std::int64_t> WholeNumber(const std::string& typed, std::int64_t most)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(typed.data(), typed.data() + typed.size(), value);
    if (error != std::errc{} || end != typed.data() + typed.size() || value < 0 || value > most) {
        return std::nullopt;
    }
    return value;
}

// What the run counts in, from the encoding and the game table; the delimiters valid in the encoding;
// and the dictionary's limit in bytes and the overhead of each entry.
StepEnd ResolveCharacters(const RunSettings& settings, ResolvedSettings& resolved)
{
    resolved.encoding = settings.encoding;
    if (settings.gameTable) {
        resolved.mode = RunMode::GameTable;
    } else {
        resolved.mode = settings.encoding == TextEncoding::Utf8 ? RunMode::Utf8 : RunMode::Bytes;
    }
    if (settings.useComments && settings.commentStyle == CommentStyle::Custom) {
        for (const std::string* delimiter : {&settings.beginComment, &settings.endComment}) {
            if (ValidateText(*delimiter, settings.encoding)) {
                Refusal refusal;
                refusal.reason = Refusal::Reason::InvalidDelimiter;
                refusal.text = *delimiter;
                return EarlyEnd::Refused(std::move(refusal));
            }
        }
    }
    if (!settings.realSavings) {
        return std::nullopt;
    }
    if (!settings.dictionaryBytes.empty()) {
        const auto value = WholeNumber(settings.dictionaryBytes, std::numeric_limits<std::int64_t>::max());
        if (!value) {
            Refusal refusal;
            refusal.reason = Refusal::Reason::BadDictionaryBytes;
            refusal.text = settings.dictionaryBytes;
            if (settings.dictionaryBytes.find_first_not_of("0123456789") == std::string::npos) {
                refusal.limit = std::numeric_limits<std::int64_t>::max(); // digits only: too many of them
            }
            return EarlyEnd::Refused(std::move(refusal));
        }
        resolved.dictionaryBytes = *value;
    }
    if (!settings.entryOverhead.empty()) {
        const auto value = WholeNumber(settings.entryOverhead, entryOverheadLimit);
        if (!value) {
            Refusal refusal;
            refusal.reason = Refusal::Reason::BadEntryOverhead;
            refusal.text = settings.entryOverhead;
            refusal.limit = entryOverheadLimit;
            return EarlyEnd::Refused(std::move(refusal));
        }
        resolved.entryOverhead = *value;
    }
    return std::nullopt;
}

// A file the run writes whole that is a folder could never be written: refused before anything is read.
std::optional<Refusal> FolderToWrite(const std::optional<std::filesystem::path>& path, FileRole role)
{
    std::error_code error;
    if (!path || !std::filesystem::is_directory(*path, error)) {
        return std::nullopt;
    }
    Refusal refusal;
    refusal.reason = Refusal::Reason::OutputIsFolder;
    refusal.role = role;
    refusal.path = *path;
    return refusal;
}

// A look at every input, and the refusal of inputs too long for the savings mode or the count in UTF-8
// characters, from their sizes, when no comment filter leaves text out (the sizes are then the bytes
// those get).
StepEnd LookAtInputs(ResolvedSettings& resolved)
{
    std::int64_t total = 0;
    for (const auto& path : resolved.inputFiles) {
        auto look = LookAtFile(path);
        if (auto* error = std::get_if<FileError>(&look)) {
            return EarlyEnd::InputFailed(std::move(*error));
        }
        resolved.inputLooks.push_back(std::get<FileLook>(look));
        total += resolved.inputLooks.back().regular ? resolved.inputLooks.back().size : 0;
    }
    const bool inUtf8 = resolved.mode == RunMode::Utf8;
    if ((resolved.realSavings || inUtf8) && !resolved.comments.active && total >= savingsTextLimit) {
        Refusal refusal;
        refusal.reason = inUtf8 ? Refusal::Reason::InputTooLongInCharacters : Refusal::Reason::InputTooLong;
        refusal.length = total;
        refusal.limit = savingsTextLimit;
        return EarlyEnd::Refused(std::move(refusal));
    }
    return std::nullopt;
}

// Why the report file must be left as it is, when the settings let the run replace only a report.
std::optional<Refusal> KeepForeignReportFile(const RunSettings& settings)
{
    if (!settings.replaceOnlyReports || !settings.reportFile) {
        return std::nullopt;
    }
    Refusal refusal;
    refusal.role = FileRole::ReportFile;
    refusal.path = *settings.reportFile;
    switch (CheckReportFile(*settings.reportFile)) {
    case ReportFileCheck::Replaceable:
        return std::nullopt;
    case ReportFileCheck::NotAReport:
        refusal.reason = Refusal::Reason::NotAReport;
        break;
    case ReportFileCheck::Unreadable:
        refusal.reason = Refusal::Reason::UnreadableReport;
        break;
    }
    return refusal;
}

} // namespace

std::variant<ResolvedSettings, EarlyEnd> ResolveSettings(const RunSettings& settings, RunObserver& observer)
{
    // The files first: a clash is named before whatever else is wrong, and nothing has been read.
    if (auto clash = FindFileClash(settings)) {
        return EarlyEnd::Refused(std::move(*clash));
    }
    if (auto kept = KeepForeignReportFile(settings)) {
        return EarlyEnd::Refused(std::move(*kept));
    }
    const bool previewed = settings.realSavings || settings.evaluateTable;
    if (auto folder =
            FolderToWrite(previewed ? settings.encodingPreview : std::nullopt, FileRole::EncodingPreview)) {
        return EarlyEnd::Refused(std::move(*folder));
    }
    if (auto folder =
            FolderToWrite(settings.realSavings && !settings.evaluateTable ? settings.curveFile : std::nullopt,
                          FileRole::CurveFile)) {
        return EarlyEnd::Refused(std::move(*folder));
    }
    if (settings.keepTable && !settings.realSavings) {
        Refusal refusal;
        refusal.reason = Refusal::Reason::KeepWithoutSavings;
        refusal.role = FileRole::KeptTable;
        refusal.path = *settings.keepTable;
        return EarlyEnd::Refused(std::move(refusal));
    }
    ResolvedSettings resolved;
    resolved.inputFiles = settings.inputFiles;
    resolved.reportFile = settings.reportFile;
    resolved.outputTable = settings.outputTable;
    resolved.realSavings = settings.realSavings;
    // A run that judges a table chooses nothing, so it draws no curve.
    const bool choosing = settings.realSavings && !settings.evaluateTable;
    resolved.savingsCurve = choosing && (settings.savingsCurve || settings.curveFile);
    resolved.curveFile = choosing ? settings.curveFile : std::nullopt;
    resolved.request = ResolveRequest(settings.topResults);
    NumberListReader ranges(settings.writeTableRanges);
    auto codes = ResolveCodes(settings, resolved.request, ranges);
    if (auto* end = std::get_if<EarlyEnd>(&codes)) {
        return std::move(*end);
    }
    resolved.codes = std::move(std::get<TableCodes>(codes));
    auto lengths = LoadSampleLengths(settings.sampleLengths, observer);
    if (auto* end = std::get_if<EarlyEnd>(&lengths)) {
        return std::move(*end);
    }
    resolved.listedLengths = std::move(std::get<std::vector<std::int16_t>>(lengths));
    resolved.lengths = resolved.listedLengths;
    resolved.lengths.erase(std::unique(resolved.lengths.begin(), resolved.lengths.end()),
                           resolved.lengths.end());
    resolved.threads = ResolveThreads(settings.threads);
    auto skips = ResolveSkipRules(settings);
    if (auto* end = std::get_if<EarlyEnd>(&skips)) {
        return std::move(*end);
    }
    resolved.skips = std::move(std::get<SkipRules>(skips));
    if (auto end = ResolveCharacters(settings, resolved)) {
        return std::move(*end);
    }
    resolved.comments = CommentRulesOf(settings);
    if (settings.useComments && !resolved.comments.active) {
        observer.ClearUseComments();
    }
    if (auto end = LookAtInputs(resolved)) {
        return std::move(*end);
    }
    // The game table last: its refusals come after those of the inputs.
    if (resolved.mode == RunMode::GameTable) {
        auto table = LoadGameTable(*settings.gameTable, resolved.encoding, resolved.gameTableNotes);
        if (auto* end = std::get_if<EarlyEnd>(&table)) {
            return std::move(*end);
        }
        resolved.gameTable = std::move(std::get<GameTable>(table));
    }
    if (settings.keepTable) {
        if (auto end = LoadKeptEntries(settings, resolved, ranges)) {
            return std::move(*end);
        }
    }
    if (settings.evaluateTable) {
        auto table = LoadEvaluatedTable(*settings.evaluateTable, resolved.encoding);
        if (auto* end = std::get_if<EarlyEnd>(&table)) {
            return std::move(*end);
        }
        resolved.evaluatedTable = std::move(std::get<std::vector<GameTableEntry>>(table));
    }
    if (previewed) {
        resolved.encodingPreview = settings.encodingPreview;
    }
    return resolved;
}

} // namespace kestrin
