// SPDX-License-Identifier: MIT
// Judging a table of entries against the counted text: what is wrong with each entry, and what the
// table gives when an inserter encodes the text with it.

#include "run/table_evaluation.h"

#include "text/braced_text.h"
#include "text/game_encoder.h"
#include "text/line_ends.h"
#include "text/text_encoding.h"

#include <map>
#include <optional>

namespace kestrin {
namespace {

// A look at the cancel flag per this many bytes of text.
using TextLooks = CancelLooks<std::size_t{1} << 18>;

bool HoldsLineEnd(const EvaluatedEntry& entry, const GameTableEntry& line, const GameTable* game)
{
    if (line.stringEnd || kestrin::HoldsLineEnd(entry.text)) {
        return true;
    }
    if (game != nullptr) {
        for (const GameTableEntry& character : game->Entries()) {
            if (character.stringEnd && !character.text.empty() &&
                entry.text.find(character.text) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

TableEvaluation::TableEvaluation(const ResolvedSettings& resolvedSettings, const GameScript& gameScript)
    : resolved(resolvedSettings), script(gameScript)
{
    const GameTable* game = resolved.mode == RunMode::GameTable ? &*resolved.gameTable : nullptr;
    if (game != nullptr) {
        // As the inserter's encoder takes the game table: a code of no byte or of more than four never
        // matches.
        for (const GameTableEntry& character : game->Entries()) {
            const bool usable = !character.code.empty() && character.code.size() <= 4;
            coded.push_back({usable ? std::string_view(character.text) : std::string_view(),
                             static_cast<int>(character.code.size())});
        }
    }
    firstEntry = coded.size();
    Judge();
}

void TableEvaluation::Judge()
{
    const GameTable* game = resolved.mode == RunMode::GameTable ? &*resolved.gameTable : nullptr;
    std::optional<GameEncoder> encoder;
    if (game != nullptr) {
        encoder.emplace(*game);
    }
    std::map<std::string, std::int64_t> firstOfText;
    std::map<std::string, std::int64_t> firstOfCode;
    for (const GameTableEntry& line : *resolved.evaluatedTable) {
        EvaluatedEntry& entry = entries.emplace_back();
        entry.line = line.line;
        entry.code = line.code;
        entry.text = line.text;
        entry.gameBytes = line.text;
        std::vector<EntryProblem>& problems = entry.problems;
        if (!entry.text.empty() && HoldsLineEnd(entry, line, game)) {
            problems.push_back(EntryProblem::HoldsLineEnd);
        }
        if (encoder && !entry.text.empty()) {
            GameText encoded;
            const bool whole = !encoder->Append(entry.text, encoded);
            entry.gameBytes = whole ? std::move(encoded.bytes) : std::string();
            if (!whole) {
                problems.push_back(EntryProblem::SplitsCharacter);
            }
        } else if (resolved.mode == RunMode::Utf8 && ValidateText(entry.text, TextEncoding::Utf8)) {
            problems.push_back(EntryProblem::SplitsCharacter);
        }
        const auto [text, newText] = firstOfText.emplace(entry.text, entry.line);
        if (!newText && !entry.text.empty()) {
            problems.push_back(EntryProblem::SameText);
            entry.firstLine = text->second;
        }
        const auto [code, newCode] = firstOfCode.emplace(entry.code, entry.line);
        if (!newCode) {
            problems.push_back(EntryProblem::RepeatedCode);
            entry.firstLine = entry.firstLine != 0 ? entry.firstLine : code->second;
        }
        if (game != nullptr && CodeClashes(*game, entry.code)) {
            problems.push_back(EntryProblem::GameTableCode);
        }
        if (entry.text.empty()) {
            problems.push_back(EntryProblem::NoText);
        }
        // Of the entries without a fault, the inserter's table leaves out what a character of its own
        // stands for first.
        const bool ownCharacter = game != nullptr ? game->FindText(entry.text) != nullptr
                                                  : CountCharacters(entry.text, resolved.encoding) == 1;
        if (problems.empty() && !ownCharacter) {
            entryOf.push_back(entries.size() - 1);
            sizes.table += static_cast<std::int64_t>(entry.gameBytes.size());
            ++sizes.entries;
        }
    }
    // The texts are views: taken once the entries stay where they are.
    for (const std::size_t taken : entryOf) {
        coded.push_back({entries[taken].text, static_cast<int>(entries[taken].code.size())});
    }
    sizes.text = static_cast<std::int64_t>(script.game.bytes.size());
}

StepEnd TableEvaluation::Encode(RunContext& run)
{
    const bool previewAsked = resolved.encodingPreview.has_value();
    const std::size_t jobs = previewAsked ? 3 : 2;
    if (auto end = RunJobs(run, jobs, resolved.threads, [&](std::size_t job, unsigned) {
            switch (job) {
            case 0:
                EncodeByLongestMatch(run.cancel);
                break;
            case 1:
                EncodeByBestParse(run.cancel);
                break;
            default:
                preview = BracedText(script.script, coded, firstEntry, &run.cancel);
                break;
            }
        })) {
        return end;
    }
    if (run.observer.YieldAndCheckCancel()) {
        return EarlyEnd::Cancelled();
    }
    // Each encoding took a byte per CR and per LF; through a game table the game takes its line ends'
    // prices instead.
    sizes.text += script.lineEndCorrection;
    sizes.longestMatch += script.lineEndCorrection;
    sizes.bestParse += script.lineEndCorrection;
    for (EvaluatedEntry& entry : entries) {
        if (entry.problems.empty() && entry.longestMatchUses == 0) {
            entry.problems.push_back(EntryProblem::Unused);
        }
    }
    return std::nullopt;
}

// Longest match: at each position the longest text of the game table or the entries; any other byte (a
// line end, or without a game table a character no entry starts with) stays one byte.
void TableEvaluation::EncodeByLongestMatch(const CancelFlag& cancel)
{
    const EntryTrie trie(coded);
    TextLooks looks(&cancel);
    std::int64_t bytes = 0;
    for (const std::string_view stretch : script.script) {
        kestrin::EncodeByLongestMatch(trie, stretch, [&](std::size_t, const EntryTrie::Match& match) {
            if (looks.Stop(std::max<std::size_t>(match.length, 1))) {
                return false;
            }
            bytes += match.codeBytes;
            if (match.entry >= 0 && static_cast<std::size_t>(match.entry) >= firstEntry) {
                EvaluatedEntry& entry = entries[entryOf[static_cast<std::size_t>(match.entry) - firstEntry]];
                ++entry.longestMatchUses;
                entry.longestMatchSaved +=
                    static_cast<std::int64_t>(entry.gameBytes.size()) - match.codeBytes;
            }
            return true;
        });
    }
    sizes.longestMatch = looks.Stopped() ? -1 : bytes;
}

// Best parse, line by line: through a game table every piece is one of its characters or an entry;
// without one any byte may also stay as it is.
void TableEvaluation::EncodeByBestParse(const CancelFlag& cancel)
{
    const EntryTrie trie(coded);
    BestParser parser(trie, resolved.mode != RunMode::GameTable);
    TextLooks looks(&cancel);
    std::vector<std::int32_t> pieces;
    std::int64_t bytes = 0;
    ForEachLine(
        script.script,
        [&](std::string_view line) {
            if (looks.Stop(line.size())) {
                return;
            }
            pieces.clear();
            const std::int64_t lineBytes = parser.Line(line, &pieces);
            // Every line of the counted text encodes through the game table alone, so a split exists.
            bytes += std::max<std::int64_t>(lineBytes, 0);
            for (const std::int32_t piece : pieces) {
                if (piece >= 0 && static_cast<std::size_t>(piece) >= firstEntry) {
                    ++entries[entryOf[static_cast<std::size_t>(piece) - firstEntry]].bestParseUses;
                }
            }
        },
        [&](char) { ++bytes; });
    sizes.bestParse = looks.Stopped() ? -1 : bytes;
}

} // namespace kestrin
