// SPDX-License-Identifier: MIT
// A run in the game's characters on arbitrary bytes: a game table and a script (or a UTF-8 script alone),
// held to the plain inserter model. The first byte chooses the settings, a length byte the table's text.

#include "inserter_model.h"
#include "test_support.h"
#include "text/game_table.h"

#include "kestrin/run_analysis.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// The table as the run reads it (its own reader is fuzzed apart), as the model's entries, and its newline
// code.
std::vector<kestrin::testing::ModelEntry> ModelTable(const std::string& file, kestrin::TextEncoding encoding,
                                                     std::optional<std::string>& newlineCode)
{
    std::vector<kestrin::testing::ModelEntry> table;
    const kestrin::GameTableLoad load = kestrin::ReadGameTable(file, encoding);
    for (const kestrin::GameTableEntry& entry : load.table.Entries()) {
        table.push_back({entry.code, entry.text, entry.stringEnd});
    }
    newlineCode = load.table.NewlineCode();
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
    std::optional<std::string> newlineCode;
    const auto table = useTable ? ModelTable(tableFile, settings.encoding, newlineCode)
                                : kestrin::testing::CharacterTable(script);
    const std::string differs =
        kestrin::testing::CheckTextRun(settings, script, table, newlineCode, true, outcome);
    if (!differs.empty()) {
        std::fprintf(stderr, "fuzz_text_run: %s differs from the model\n", differs.c_str());
        std::abort();
    }
    return 0;
}
