// SPDX-License-Identifier: MIT
#pragma once

#include "counting/character_counter.h"
#include "io/file_io.h"
#include "io/input_file.h"
#include "run/game_script.h"
#include "run/progress.h"
#include "run/resolved_settings.h"
#include "run/step.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kestrin {

// The counting phase of a run that counts in the game's characters: every input read, filtered for
// comments, checked and encoded (a refusal stops the run before anything is counted), then the strings
// of whole characters counted over the whole script by a CharacterCounter, in steps of jobs (the sort
// or the text made one byte a character, then the measure, finish and count jobs on all the workers);
// with real savings whose windows all fit the index, by the index instead (LeavesStringsToIndex).
class CharacterCount
{
public:
    // The settings must outlive the count and its script.
    CharacterCount(RunContext& context, const ResolvedSettings& resolved);

    [[nodiscard]] StepEnd CountAll();
    // Only the first half of CountAll: every input read, checked and encoded into the script, which a
    // run that counts nothing (evaluating a table) encodes itself.
    [[nodiscard]] StepEnd ReadAll();

    [[nodiscard]] const GameScript& Script() const { return script; }
    [[nodiscard]] const RunCounters& Counters() const { return counters; }
    // Whether an input holds a lone LF, when the comment rules watch for one.
    [[nodiscard]] bool LoneLineFeeds() const { return loneLineFeeds; }

    // The best strings for results 0 to lastPosition, as the report lists them (the text, and through a
    // game table the game's bytes); positions no string fills hold {"", -1}.
    [[nodiscard]] std::vector<ResultEntry> Best(std::int64_t lastPosition) const;
    // Frees the count's memory (a run with real savings needs only its number of strings); Best gives
    // nothing afterwards.
    void ReleaseCounter() { counter.reset(); }
    // With real savings, the index of the savings choice counts the different strings in the pass it
    // makes anyway (when its windows are not cut short: savings::longestWindow), and CountAll only
    // reads the script; the run then hands the index's figures over by TakeDistinct, length by length.
    [[nodiscard]] bool LeavesStringsToIndex() const;
    void TakeDistinct(const std::function<std::int64_t(std::int64_t)>& distinctOf);
    // While the index is built in the count's place, the last file's position moves on, forwards only,
    // by the time spent against a rough estimate of the index's time, never reaching the end before it.
    void ShowIndexing(double seconds);

private:
    [[nodiscard]] StepEnd ReadAndEncode(std::size_t index, CommentScanner& scanner, ScriptBuilder& builder);
    [[nodiscard]] StepEnd CountStrings();
    void ShowFinishing(double fraction);

    RunContext& run;
    const ResolvedSettings& resolved;
    const std::vector<FileLook>& looks;
    std::vector<std::unique_ptr<InputFile>> files; // the script's stretches point into them
    GameScript script;
    std::optional<CharacterCounter> counter;
    std::optional<FileProgress> lastFile; // the position shown over the last file, reading then counting
    RunCounters counters;
    bool loneLineFeeds = false;
};

} // namespace kestrin
