// SPDX-License-Identifier: MIT
// A run in the game's characters on arbitrary bytes: a game table and a script (or a UTF-8 script alone),
// held to the plain inserter model. The first byte chooses the settings, a length byte the table's text.

#include "inserter_model.h"
#include "test_support.h"
#include "text/game_table.h"

#include "kestrin/run_analysis.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using kestrin::testing::ModelEntry;

void Check(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

// The table as the run reads it (its own reader is fuzzed apart), as the model's entries.
std::vector<ModelEntry> ModelTable(const std::string& file, kestrin::TextEncoding encoding)
{
    std::vector<ModelEntry> table;
    const kestrin::GameTableLoad load = kestrin::ReadGameTable(file, encoding);
    for (const kestrin::GameTableEntry& entry : load.table.Entries()) {
        table.push_back({entry.code, entry.text, entry.stringEnd});
    }
    return table;
}

// Two-byte codes for the results that no code of the table has, as the run's are.
std::vector<ModelEntry> WithEntries(std::vector<ModelEntry> table,
                                    const std::vector<kestrin::ResultEntry>& results, bool entriesFirst)
{
    std::vector<ModelEntry> entries;
    unsigned code = 0xF000;
    for (const kestrin::ResultEntry& result : results) {
        std::string bytes;
        do {
            bytes = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
            ++code;
        } while (
            std::any_of(table.begin(), table.end(), [&](const ModelEntry& e) { return e.code == bytes; }));
        entries.push_back({bytes, result.text, false});
    }
    table.insert(entriesFirst ? table.begin() : table.end(), entries.begin(), entries.end());
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3 || size > 4096) {
        return -1;
    }
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto flags = static_cast<unsigned char>(input[0]);
    const std::size_t tableBytes =
        std::min<std::size_t>(static_cast<unsigned char>(input[1]), input.size() - 2);
    const std::string tableFile(input.substr(2, tableBytes));
    const std::string script(input.substr(2 + tableBytes));

    static const kestrin::testing::TempDir dir;
    kestrin::RunSettings settings{.inputFiles = {dir.Path() / "script.txt"}};
    std::ofstream(settings.inputFiles[0], std::ios::binary) << script;
    settings.encoding = (flags & 1) != 0 ? kestrin::TextEncoding::Utf8 : kestrin::TextEncoding::Latin1;
    const bool useTable = (flags & 2) != 0 || settings.encoding == kestrin::TextEncoding::Latin1;
    if (useTable) {
        settings.gameTable = dir.Path() / "game.tbl";
        std::ofstream(*settings.gameTable, std::ios::binary) << tableFile;
    }
    settings.realSavings = (flags & 4) != 0;
    const std::size_t longest = 1 + ((flags >> 3) & 3);
    settings.sampleLengths = "1-" + std::to_string(longest);
    settings.topResults = "30";
    settings.threads = (flags & 32) != 0 ? 2 : 1;
    settings.dictionaryBytes = (flags & 64) != 0 ? std::to_string(flags & 15) : "";
    settings.outputTable = dir.Path() / "out.tbl";
    settings.writeTableRanges = "&HF000-&HF0FF";
    std::filesystem::remove(*settings.outputTable);

    kestrin::testing::RecordingObserver observer;
    const kestrin::RunOutcome outcome = kestrin::RunAnalysis(settings, observer);
    const auto invalid = kestrin::testing::FirstUtf8Fault(script);
    const bool utf8 = settings.encoding == kestrin::TextEncoding::Utf8;
    if (outcome.status == kestrin::RunStatus::Refused) {
        if (outcome.refusal->reason == kestrin::Refusal::Reason::InvalidText &&
            outcome.refusal->role == kestrin::FileRole::InputFile) {
            Check(utf8 && invalid && static_cast<std::size_t>(outcome.refusal->offset) == *invalid);
        }
        if (outcome.refusal->reason == kestrin::Refusal::Reason::UnmappedText) {
            const auto model =
                kestrin::testing::InsertByLongestMatch(script, ModelTable(tableFile, settings.encoding));
            Check(model.unmappedAt && static_cast<std::size_t>(outcome.refusal->offset) == *model.unmappedAt);
        }
        return 0;
    }
    Check(outcome.status == kestrin::RunStatus::Completed && !(utf8 && invalid));
    const std::vector<ModelEntry> table =
        useTable ? ModelTable(tableFile, settings.encoding) : kestrin::testing::CharacterTable(script);
    const kestrin::testing::ModelEncoding encoded = kestrin::testing::InsertByLongestMatch(script, table);
    Check(!encoded.unmappedAt);
    const auto counted = kestrin::testing::CountWindows(encoded, longest);
    std::vector<kestrin::ResultEntry> chosen;
    std::int64_t chosenBytes = 0;
    for (const kestrin::ResultEntry& result : outcome.results) {
        if (result.hits < 0) {
            continue;
        }
        const std::string bytes = result.gameBytes.value_or(result.text);
        const auto at = counted.find(bytes);
        Check(at != counted.end() && (settings.realSavings || at->second.hits == result.hits));
        chosen.push_back(result);
        chosenBytes += static_cast<std::int64_t>(bytes.size());
    }
    if (settings.realSavings) {
        const std::vector<ModelEntry> united = WithEntries(table, chosen, !useTable);
        Check(outcome.sizes && outcome.sizes->text == static_cast<std::int64_t>(encoded.bytes.size()) &&
              outcome.sizes->table == chosenBytes &&
              outcome.sizes->longestMatch ==
                  static_cast<std::int64_t>(
                      kestrin::testing::InsertByLongestMatch(script, united).bytes.size()) &&
              outcome.sizes->bestParse ==
                  static_cast<std::int64_t>(kestrin::testing::BestSplitBytes(script, united).value_or(0)));
        if (!settings.dictionaryBytes.empty()) {
            Check(chosenBytes <= std::stoll(settings.dictionaryBytes));
        }
    }
    return 0;
}
