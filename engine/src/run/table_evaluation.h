// SPDX-License-Identifier: MIT
#pragma once

#include "run/game_script.h"
#include "run/resolved_settings.h"
#include "run/step.h"
#include "text/entry_trie.h"

#include "kestrin/report.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kestrin {

// A run that judges a table of entries (evaluateTable) instead of counting. Each entry line is judged on
// its own, and the entries without a fault (Unused is none) are read with the game table as one table,
// as an inserter reads them: the game table's lines first, then the entries in file order. An entry that
// holds a line end or an end code, splits a character, repeats an earlier entry's text or code, clashes
// with a game-table code or has no text is left out of that table, as an inserter could not use it
// safely; so is an entry whose text is a game-table text, or without a game table one character, which
// stands for itself first: those are Unused. The counted text is encoded through that table by longest
// match and by best parse, and each entry's uses counted in both.
class TableEvaluation
{
public:
    // The settings and the script must outlive the evaluation.
    TableEvaluation(const ResolvedSettings& resolved, const GameScript& script);

    // The two encodings (and the preview, when asked for), as jobs on the run's workers.
    [[nodiscard]] StepEnd Encode(RunContext& run);

    // Once encoded: the entries in file order, the sizes, and the preview (empty unless asked for).
    [[nodiscard]] const std::vector<EvaluatedEntry>& Entries() const { return entries; }
    [[nodiscard]] const EncodedSizes& Sizes() const { return sizes; }
    [[nodiscard]] const std::string& Preview() const { return preview; }

private:
    void Judge();
    void EncodeByLongestMatch(const CancelFlag& cancel);
    void EncodeByBestParse(const CancelFlag& cancel);

    const ResolvedSettings& resolved;
    const GameScript& script;
    std::vector<EvaluatedEntry> entries;
    std::vector<CodedEntry> coded;    // the game table's characters, then the entries taken
    std::vector<std::size_t> entryOf; // for each entry taken, its index in entries
    std::size_t firstEntry = 0;       // where the entries start in coded
    EncodedSizes sizes;
    std::string preview;
};

} // namespace kestrin
