// SPDX-License-Identifier: MIT
// The savings mode of a run: the index of the candidates is built beside the count's finish in bytes,
// and after the count in the game's characters; the choice takes the place of ranking and skip filters.
// Entry i costs the bytes of the i-th code of the ranges (one byte each without ranges), and the choice
// stops where they run out.

#include "run/savings_branch.h"

#include "cancel_flag.h"
#include "text/braced_text.h"
#include "text/line_ends.h"

#include <absl/container/flat_hash_set.h>
#include <algorithm>
#include <stdexcept>

namespace kestrin {
namespace {

// The different characters of the game's text that are no break, each by its bytes (the codes are
// prefix-free); 0 when cancelled.
std::int64_t DifferentCharacters(const GameText& game, const CancelFlag& cancel)
{
    absl::flat_hash_set<std::string_view> seen;
    const std::string_view bytes(game.bytes);
    for (std::size_t p = 0, visited = 0; p < bytes.size(); ++visited) {
        if ((visited & 0xFFFF) == 0 && cancel.IsSet()) {
            return 0;
        }
        const std::size_t next = game.characterMap.NextCharacterStart(p);
        if (!game.characterMap.IsBreak(p)) {
            seen.insert(bytes.substr(p, next - p));
        }
        p = next;
    }
    return static_cast<std::int64_t>(seen.size());
}

} // namespace

SavingsBranch::SavingsBranch(const ResolvedSettings& resolvedSettings, const CancelFlag& cancelFlag)
    : resolved(resolvedSettings), cancel(cancelFlag)
{
    request.lengths = resolved.lengths;
    request.dictionaryBytes = resolved.dictionaryBytes;
    request.entryOverhead = resolved.entryOverhead;
    for (const KeptEntry& kept : resolved.kept) {
        request.kept.push_back({kept.gameBytes, static_cast<int>(kept.code.size())});
    }
    if (resolved.skips.SkipsAnyString()) {
        const SkipRules& skips = resolved.skips;
        request.forbidden = [&skips](std::string_view text) { return skips.MarkOf(text).has_value(); };
    }
}

// The index is built before the number of results is known, which depends on the count; the codes of as
// many entries as the request allows at most give the cheapest code any entry can have.
void SavingsBranch::BuildIndex(std::vector<std::string_view> countedText)
{
    request.stretches = std::move(countedText);
    Index();
}

void SavingsBranch::BuildIndex(const GameScript& gameScript)
{
    script = &gameScript;
    request.stretches = script->GameStretches();
    request.characterMap = &script->game.characterMap;
    request.longestCharacter = script->longestCharacter;
    if (resolved.mode == RunMode::GameTable) {
        // An entry of one character would give a text of the game table a second code, which an inserter
        // reading both tables would not use: the game table's line comes first.
        if (std::erase(request.lengths, 1) > 0) {
            differentCharacters = DifferentCharacters(script->game, cancel);
        }
        if (request.forbidden) {
            // The skip rules read the text, not the game's bytes.
            request.forbidden = [this](std::string_view bytes) {
                return resolved.skips.MarkOf(script->TextOf(bytes)).has_value();
            };
        }
    }
    Index();
}

std::int64_t SavingsBranch::Distinct(std::int64_t length) const
{
    if (!index) {
        return 0;
    }
    return length == 1 && resolved.mode == RunMode::GameTable ? differentCharacters : index->Distinct(length);
}

void SavingsBranch::Index()
{
    if (cancel.IsSet()) {
        return;
    }
    try {
        index = std::make_unique<SavingsChoice>(request, resolved.codes.Cheapest(resolved.request.Most()),
                                                cancel);
    } catch (const std::length_error&) {
        // The choice numbers its text in 31 bits; text behind a comment filter is only known now.
        throw RunFailure{Failure::TextTooLong, {}};
    }
}

StepEnd SavingsBranch::Choose(RunContext& run, std::int64_t lastPosition, RankedResults& ranked)
{
    const auto asked = static_cast<std::size_t>(std::max<std::int64_t>(lastPosition + 1, 0));
    const std::vector<int> codeBytes = resolved.codes.Bytes(asked);
    std::atomic<std::int64_t> chosen{0};
    SavingsResult choice;
    std::vector<std::string> texts;    // through a game table: the entries' texts
    std::optional<GameEncoder> united; // and the game table with them
    Progress ranking = run.display.Current();
    ranking.request = resolved.request.text;
    const auto tick = [&] {
        if (const std::int64_t so = chosen.load(std::memory_order_relaxed); so > 0) {
            ranking.lastResult = so - 1;
            run.display.Show(ranking);
        }
    };
    if (auto end = RunJobs(
            run, 1, 1,
            [&](std::size_t, unsigned) {
                if (!index) {
                    return;
                }
                choice = index->Choose(codeBytes, &chosen);
                if (resolved.mode == RunMode::GameTable) {
                    for (const SavingsEntry& entry : choice.entries) {
                        texts.push_back(script->TextOf(entry.text));
                    }
                    united.emplace(UnitedEncoder(choice, texts));
                }
            },
            tick)) {
        return end;
    }
    // The two encodings of the text with the entries, side by side when there are threads for them, and
    // the exact points of the curve, all in one pass beside them.
    const std::vector<std::size_t> checkpoints =
        resolved.savingsCurve ? CurveCheckpoints(choice.entries.size()) : std::vector<std::size_t>{};
    std::vector<std::int64_t> exact(checkpoints.size(), -1);
    if (auto end = RunJobs(
            run, index ? SavingsChoice::encodingJobs + (checkpoints.empty() ? 0 : 1) : 0, resolved.threads,
            [&](std::size_t job, unsigned) {
                if (job < SavingsChoice::encodingJobs) {
                    Encode(job, choice, united ? &*united : nullptr);
                } else if (std::vector<std::int64_t> sizes = CurveSizes(choice, texts, checkpoints);
                           !sizes.empty()) {
                    exact = std::move(sizes);
                }
            },
            tick)) {
        return end;
    }
    if (resolved.encodingPreview) {
        if (auto end = RunJobs(
                run, 1, 1, [&](std::size_t, unsigned) { ranked.encodingPreview = Preview(choice, texts); })) {
            return end;
        }
    }
    if (run.observer.YieldAndCheckCancel()) {
        return EarlyEnd::Cancelled();
    }
    // Through a game table each size so far took a byte per CR and per LF; the game takes its line ends'
    // prices instead.
    const std::int64_t lineEnds = script != nullptr ? script->lineEndCorrection : 0;
    if (resolved.savingsCurve) {
        ranked.curve = Curve(choice, checkpoints, exact);
        for (CurvePoint& point : ranked.curve) {
            point.script += lineEnds;
        }
    }
    for (std::size_t i = 0; i < choice.entries.size(); ++i) {
        SavingsEntry& entry = choice.entries[i];
        if (!texts.empty()) {
            ranked.entries.push_back(
                {std::move(texts[i]), entry.occurrences, entry.saved, std::move(entry.text)});
        } else {
            ranked.entries.push_back({std::move(entry.text), entry.occurrences, entry.saved, std::nullopt});
        }
        ranked.entries.back().kept = entry.kept;
    }
    const auto entries = static_cast<std::int64_t>(ranked.entries.size());
    const std::size_t chosenEntries = ranked.entries.size() - resolved.kept.size();
    ranked.sizes = EncodedSizes{choice.longestMatchBytes + lineEnds,
                                choice.bestParseBytes + lineEnds,
                                choice.textBytes + lineEnds,
                                choice.tableBytes,
                                entries,
                                std::nullopt,
                                resolved.entryOverhead};
    // The choice stopped because the ranges gave no more codes: the report says how many got one.
    if (resolved.codes.ranged && codeBytes.size() < asked && chosenEntries == codeBytes.size()) {
        ranked.sizes->entriesAsked = static_cast<std::int64_t>(asked + resolved.kept.size());
    }
    return std::nullopt;
}

// The encoded sizes. Through a game table (united), the script is encoded as an inserter does it,
// through the game table and the entries read as one table; otherwise over the counted bytes.
void SavingsBranch::Encode(std::size_t job, SavingsResult& choice, const GameEncoder* united) const
{
    if (united == nullptr) {
        index->Encode(job, choice);
        return;
    }
    (job == 0 ? choice.longestMatchBytes : choice.bestParseBytes) = EncodeThrough(*united, job != 0);
}

// The script's size through the game table and the entries, by longest match or by best parse; -1 when
// cancelled.
std::int64_t SavingsBranch::EncodeThrough(const GameEncoder& united, bool bestParse) const
{
    // Each stretch goes in pieces of about encodingPiece bytes (PieceEnd's), with a look at the cancel flag
    // between them: a stretch may be a whole file.
    constexpr std::size_t encodingPiece = std::size_t{1} << 18;
    std::int64_t total = 0;
    for (const std::string_view stretch : script->script) {
        for (std::string_view rest = stretch; !rest.empty() && total >= 0;) {
            if (cancel.IsSet()) {
                total = -1;
                break;
            }
            const std::size_t cut = PieceEnd(rest, 0, encodingPiece);
            const std::string_view piece = rest.substr(0, cut);
            rest.remove_prefix(cut);
            if (!bestParse) {
                GameText encoded;
                (void)united.Append(piece, encoded);
                total += static_cast<std::int64_t>(encoded.bytes.size());
            } else {
                total += united.BestParseBytes(piece).value_or(0);
            }
        }
    }
    return total;
}

// The counted text as longest match encodes it with the chosen entries, each in braces: through a game
// table the text of the script, encoded with the game table and the entries' texts read as one table (as
// UnitedEncoder reads them), with the game table's characters not braced.
std::string SavingsBranch::Preview(const SavingsResult& choice,
                                   const std::vector<std::string>& entryTexts) const
{
    if (resolved.mode != RunMode::GameTable) {
        return BracedText(request.stretches, CodedEntries(choice), 0, &cancel);
    }
    std::vector<CodedEntry> coded;
    for (const GameTableEntry& character : resolved.gameTable->Entries()) {
        const bool usable = !character.code.empty() && character.code.size() <= 4;
        coded.push_back({usable ? std::string_view(character.text) : std::string_view(),
                         static_cast<int>(character.code.size())});
    }
    const std::size_t firstEntry = coded.size();
    for (std::size_t i = 0; i < entryTexts.size(); ++i) {
        if (resolved.gameTable->FindText(entryTexts[i]) == nullptr) {
            coded.push_back({entryTexts[i], std::clamp(choice.entries[i].codeBytes, 1, 4)});
        }
    }
    return BracedText(script->script, coded, firstEntry, &cancel);
}

// The game table and the entries (their texts) as an inserter reads them: the entries follow the game
// table's lines, which win a text both hold. Which bytes stand for an entry changes no size, so each
// entry gets a code of its bytes that the table does not hold.
GameEncoder SavingsBranch::UnitedEncoder(const SavingsResult& choice,
                                         const std::vector<std::string>& entryTexts) const
{
    GameTable united = *resolved.gameTable;
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < choice.entries.size(); ++i) {
        const auto codeBytes = static_cast<std::size_t>(std::clamp(choice.entries[i].codeBytes, 1, 4));
        std::string code;
        do {
            code.clear();
            for (std::size_t b = codeBytes; b-- > 0;) {
                code += static_cast<char>((next >> (8 * b)) & 0xFF);
            }
            ++next;
        } while (united.FindCode(code) != nullptr && next < (std::uint32_t{1} << 24));
        (void)united.Add({code, entryTexts[i], false, 0});
    }
    return GameEncoder(united);
}

std::vector<std::size_t> CurveCheckpoints(std::size_t entries)
{
    std::vector<std::size_t> counts;
    if (entries + 1 <= curveExactPoints) {
        for (std::size_t k = 1; k < entries; ++k) {
            counts.push_back(k);
        }
        return counts;
    }
    const std::size_t steps = curveExactPoints - 1;
    for (std::size_t j = 1; j < steps; ++j) {
        counts.push_back((j * entries + steps / 2) / steps);
    }
    return counts;
}

// The script's sizes by longest match with the first checkpoints[i] entries, for each i; empty when
// cancelled. Through a game table, the script's text is matched over the game table's texts and the
// entries', as the united encoder reads them: the game table's lines first, and an entry whose text one
// of them has is never used.
std::vector<std::int64_t> SavingsBranch::CurveSizes(const SavingsResult& choice,
                                                    const std::vector<std::string>& entryTexts,
                                                    const std::vector<std::size_t>& checkpoints) const
{
    if (resolved.mode != RunMode::GameTable) {
        return index->EncodePrefixes(choice, checkpoints);
    }
    const GameTable& table = *resolved.gameTable;
    std::vector<CodedEntry> united;
    united.reserve(table.Entries().size() + choice.entries.size());
    for (const GameTableEntry& entry : table.Entries()) {
        united.push_back({entry.text, static_cast<int>(entry.code.size())});
    }
    for (std::size_t i = 0; i < choice.entries.size(); ++i) {
        const bool shadowed = table.FindText(entryTexts[i]) != nullptr;
        united.push_back({shadowed ? std::string_view() : std::string_view(entryTexts[i]),
                          std::clamp(choice.entries[i].codeBytes, 1, 4)});
    }
    std::vector<std::size_t> counts;
    counts.reserve(checkpoints.size());
    for (const std::size_t k : checkpoints) {
        counts.push_back(table.Entries().size() + k);
    }
    return savings::EncodePrefixes(script->script, united, counts, &cancel);
}

// The curve from no entry to all: the dictionary grows by each entry's bytes and overhead; the script is
// exact at no entry, at all of them (the report's size) and at the checkpoints, and elsewhere the
// choice's running figure.
std::vector<CurvePoint> SavingsBranch::Curve(const SavingsResult& choice,
                                             const std::vector<std::size_t>& checkpoints,
                                             const std::vector<std::int64_t>& exact) const
{
    std::vector<CurvePoint> curve;
    curve.reserve(choice.entries.size() + 1);
    curve.push_back({0, choice.textBytes, 0, true});
    for (std::size_t k = 1; k <= choice.entries.size(); ++k) {
        const std::int64_t running =
            k - 1 < choice.runningBytes.size() ? choice.runningBytes[k - 1] : curve.back().script;
        const auto bytes =
            static_cast<std::int64_t>(choice.entries[k - 1].text.size()) + resolved.entryOverhead;
        curve.push_back({static_cast<std::int64_t>(k), running, curve.back().dictionary + bytes, false});
    }
    for (std::size_t j = 0; j < checkpoints.size(); ++j) {
        curve[checkpoints[j]].script = exact[j];
        curve[checkpoints[j]].exact = true;
    }
    curve.back().script = curve.size() > 1 ? choice.longestMatchBytes : curve.back().script;
    curve.back().exact = true;
    return curve;
}

} // namespace kestrin
