// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "io/input_file.h"
#include "run/game_script.h"
#include "run/resolved_settings.h"
#include "run/step.h"
#include "savings/real_savings.h"

#include <atomic>
#include <memory>
#include <string_view>
#include <vector>

namespace kestrin {

// The savings curve is exact (encoded) at so many points at least, spread over the entries, the first at
// no entry and the last at all of them.
inline constexpr std::size_t curveExactPoints = 21;

// The numbers of entries between the first and the last at which the curve is encoded, ascending.
[[nodiscard]] std::vector<std::size_t> CurveCheckpoints(std::size_t entries);

// The savings mode of a run (realSavings): instead of ranking the count and marking skipped results, the
// entries are chosen one after another by what each really saves, and the skip rules forbid candidates.
// The count in bytes still runs, for the report's figures and the number of results the request gives.
// The count in the game's characters counts nothing when every requested length's windows fit the index
// (savings::longestWindow bytes, CharacterCount::LeavesStringsToIndex): the index counts the different
// strings in its place.
class SavingsBranch
{
public:
    // The settings must outlive the branch.
    SavingsBranch(const ResolvedSettings& resolved, const CancelFlag& cancel);

    // Builds the index of the candidates over the counted text, as stretches that no entry may cross (the
    // count's, ByteCount::TakeCountedText, which point into the files): the job the count runs beside
    // its finish. Returns early when the cancel flag is set.
    void BuildIndex(std::vector<std::string_view> countedText);
    // The same counting in the game's characters, over the game's bytes of the script, which must
    // outlive the branch.
    void BuildIndex(const GameScript& script);

    // The different strings of a requested length, as the index over the script found them; through a
    // game table, which the index counts from two characters on, those of one character are the different
    // characters that are no break. 0 when cancelled.
    [[nodiscard]] std::int64_t Distinct(std::int64_t length) const;

    // Chooses the entries for the results 0 to lastPosition, on a worker, showing how many so far.
    [[nodiscard]] StepEnd Choose(RunContext& run, std::int64_t lastPosition, RankedResults& ranked);

private:
    void Index();
    void Encode(std::size_t job, SavingsResult& choice, const GameEncoder* united) const;
    [[nodiscard]] std::string Preview(const SavingsResult& choice,
                                      const std::vector<std::string>& entryTexts) const;
    [[nodiscard]] std::int64_t EncodeThrough(const GameEncoder& united, bool bestParse) const;
    [[nodiscard]] GameEncoder UnitedEncoder(const SavingsResult& choice,
                                            const std::vector<std::string>& entryTexts) const;
    [[nodiscard]] std::vector<std::int64_t> CurveSizes(const SavingsResult& choice,
                                                       const std::vector<std::string>& entryTexts,
                                                       const std::vector<std::size_t>& checkpoints) const;
    [[nodiscard]] std::vector<CurvePoint> Curve(const SavingsResult& choice,
                                                const std::vector<std::size_t>& checkpoints,
                                                const std::vector<std::int64_t>& exact) const;

    const ResolvedSettings& resolved;
    const CancelFlag& cancel;
    SavingsRequest request; // whose stretches the index points into
    std::unique_ptr<SavingsChoice> index;
    const GameScript* script = nullptr;   // counting in the game's characters
    std::int64_t differentCharacters = 0; // through a game table, when one character is a requested length
};

} // namespace kestrin
