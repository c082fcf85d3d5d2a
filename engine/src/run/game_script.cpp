// SPDX-License-Identifier: MIT
// The game's characters of a run: every input's counted text checked in the encoding and encoded
// through the game table before anything is counted, so that text the game cannot hold stops the run
// with the file, the line and the place, and nothing is written.

#include "run/game_script.h"

#include "text/text_encoding.h"

#include <algorithm>

namespace kestrin {

Refusal InvalidText(FileRole role, const std::filesystem::path& path, const TextFault& fault)
{
    Refusal refusal;
    refusal.reason = Refusal::Reason::InvalidText;
    refusal.role = role;
    refusal.path = path;
    refusal.offset = fault.offset;
    refusal.line = fault.line;
    refusal.text = fault.bytes;
    return refusal;
}

std::vector<std::string_view> GameScript::GameStretches() const
{
    std::vector<std::string_view> stretches;
    std::size_t begin = 0;
    for (const std::size_t end : stretchEnds) {
        stretches.push_back(std::string_view(game.bytes).substr(begin, end - begin));
        begin = end;
    }
    return stretches;
}

std::string GameScript::TextOf(std::string_view gameBytes) const
{
    if (!table) {
        return std::string(gameBytes);
    }
    // The codes are prefix-free (a table where one code begins another is refused), so the bytes split
    // into codes one way only.
    std::string text;
    std::size_t at = 0;
    while (at < gameBytes.size()) {
        const GameTableEntry* entry = nullptr;
        std::size_t bytes = 1;
        for (; bytes <= 4 && at + bytes <= gameBytes.size() && entry == nullptr; ++bytes) {
            entry = table->FindCode(gameBytes.substr(at, bytes));
        }
        if (entry == nullptr) {
            // A line end, one byte as the script holds it.
            text += gameBytes[at++];
            continue;
        }
        text += entry->text;
        at += entry->code.size();
    }
    return text;
}

bool CodeClashes(const GameTable& table, std::string_view code)
{
    for (std::size_t bytes = 1; bytes <= code.size(); ++bytes) {
        if (table.FindCode(code.substr(0, bytes)) != nullptr) {
            return true;
        }
    }
    return std::any_of(table.Entries().begin(), table.Entries().end(),
                       [&](const GameTableEntry& entry) { return entry.code.starts_with(code); });
}

ScriptBuilder::ScriptBuilder(const ResolvedSettings& resolved)
{
    built.encoding = resolved.encoding;
    switch (resolved.mode) {
    case RunMode::GameTable:
        built.table = &*resolved.gameTable;
        encoder.emplace(*built.table);
        for (const GameTableEntry& entry : built.table->Entries()) {
            built.longestCharacter = std::max(built.longestCharacter, entry.code.size());
        }
        break;
    case RunMode::Utf8:
        built.longestCharacter = 4;
        break;
    case RunMode::Bytes:
        break;
    }
}

StepEnd ScriptBuilder::Add(const std::filesystem::path& path, std::string_view fileText,
                           std::span<const CountedStretch> pieces)
{
    if (auto fault = ValidateText(fileText, built.encoding)) {
        return EarlyEnd::Refused(InvalidText(FileRole::InputFile, path, *fault));
    }
    // A byte-order mark that starts a UTF-8 file says how the file is written; it is no character of it.
    const std::size_t mark =
        built.encoding == TextEncoding::Utf8 && fileText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    const std::int64_t unitsBefore = built.game.units.Characters();
    std::int64_t leftOut = CountCharacters(fileText.substr(mark), built.encoding);
    for (const CountedStretch& piece : pieces) {
        const auto begin = std::max(static_cast<std::size_t>(piece.begin), mark);
        const auto end = std::min(static_cast<std::size_t>(piece.end), fileText.size()); // no filler
        if (begin >= end) {
            continue;
        }
        const std::string_view stretch = fileText.substr(begin, end - begin);
        if (encoder) {
            if (auto unmapped = encoder->Append(stretch, built.game)) {
                const auto at = begin + static_cast<std::size_t>(unmapped->offset);
                Refusal refusal;
                refusal.reason = Refusal::Reason::UnmappedText;
                refusal.role = FileRole::InputFile;
                refusal.path = path;
                refusal.offset = static_cast<std::int64_t>(at);
                refusal.line = LineOfOffset(fileText, at);
                refusal.column = ColumnOfOffset(fileText, at, built.encoding);
                refusal.text = std::move(unmapped->text);
                return EarlyEnd::Refused(std::move(refusal));
            }
        } else {
            built.game.bytes.append(stretch);
            built.game.units.AppendMap(TextCharacters(stretch, built.encoding));
        }
        built.script.push_back(stretch);
        built.stretchEnds.push_back(built.game.bytes.size());
        leftOut -= CountCharacters(stretch, built.encoding);
    }
    const std::int64_t counted = built.game.units.Characters() - unitsBefore;
    built.countedCharacters += counted;
    built.totalCharacters += counted + leftOut;
    return std::nullopt;
}

GameScript ScriptBuilder::Finish()
{
    built.game.units.Finish();
    return std::move(built);
}

} // namespace kestrin
