// SPDX-License-Identifier: MIT
// The game's characters of a run: every input's counted text checked in the encoding and encoded
// through the game table before anything is counted, so that text the game cannot hold stops the run
// with the file, the line and the place, and nothing is written.

#include "run/game_script.h"

#include "text/line_ends.h"
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

ScriptBuilder::ScriptBuilder(const ResolvedSettings& resolved, const CancelFlag* cancelFlag)
    : cancel(cancelFlag)
{
    built.encoding = resolved.encoding;
    switch (resolved.mode) {
    case RunMode::GameTable:
        built.table = &*resolved.gameTable;
        encoder.emplace(*built.table);
        for (const GameTableEntry& entry : built.table->Entries()) {
            built.longestCharacter = std::max(built.longestCharacter, entry.code.size());
        }
        if (const auto& newline = built.table->NewlineCode()) {
            prices.newlineBytes = static_cast<std::int64_t>(newline->size());
        }
        break;
    case RunMode::Utf8:
        built.longestCharacter = 4;
        break;
    case RunMode::Bytes:
        break;
    }
}

namespace {

// About this many bytes of text between two looks at the cancel flag.
constexpr std::size_t cancelStride = std::size_t{1} << 18;

// Calls piece(offset, text) for pieces of about cancelStride bytes (PieceEnd's), looking at the cancel
// flag before each; false when cancelled. A CR and its LF in two pieces would still be priced as one line
// end, as the prices pass from piece to piece.
template <typename Piece> bool ForEachPiece(std::string_view text, const CancelFlag* cancel, Piece&& piece)
{
    for (std::size_t at = 0; at < text.size();) {
        if (cancel != nullptr && cancel->IsSet()) {
            return false;
        }
        const std::size_t end = PieceEnd(text, at, cancelStride);
        if (!piece(at, text.substr(at, end - at))) {
            break;
        }
        at = end;
    }
    return true;
}

} // namespace

StepEnd ScriptBuilder::Add(const std::filesystem::path& path, std::string_view fileText,
                           std::span<const CountedStretch> pieces)
{
    bool valid = true;
    if (!ForEachPiece(fileText, cancel, [&](std::size_t, std::string_view piece) {
            return valid = !ValidateText(piece, built.encoding);
        })) {
        return EarlyEnd::Cancelled();
    }
    if (!valid) {
        // Found in a piece; the whole file gives the fault's place in the file.
        return EarlyEnd::Refused(
            InvalidText(FileRole::InputFile, path, *ValidateText(fileText, built.encoding)));
    }
    // A byte-order mark that starts a UTF-8 file says how the file is written; it is no character of it.
    const std::size_t mark =
        built.encoding == TextEncoding::Utf8 && fileText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    const std::int64_t charactersBefore = built.game.characterMap.Characters();
    std::int64_t leftOut = 0;
    if (!ForEachPiece(fileText.substr(mark), cancel, [&](std::size_t, std::string_view piece) {
            leftOut += CountCharacters(piece, built.encoding);
            return true;
        })) {
        return EarlyEnd::Cancelled();
    }
    // Line ends are priced within a file; a CR and an LF that the comment filter keeps apart are two.
    prices.after = LineEndPrices::After::Text;
    std::size_t lastEnd = 0;
    for (const CountedStretch& piece : pieces) {
        const auto begin = std::max(static_cast<std::size_t>(piece.begin), mark);
        const auto end = std::min(static_cast<std::size_t>(piece.end), fileText.size()); // no filler
        if (begin >= end) {
            continue;
        }
        if (begin != lastEnd && prices.after == LineEndPrices::After::Cr) {
            prices.after = LineEndPrices::After::Text;
        }
        lastEnd = end;
        const std::string_view stretch = fileText.substr(begin, end - begin);
        // Room for the stretch at once, as the encoder would take it for a stretch encoded whole, so that
        // the pieces do not grow the text step by step (which holds the old and the new buffer at once).
        std::string& bytes = built.game.bytes;
        if (bytes.capacity() < bytes.size() + stretch.size()) {
            bytes.reserve(std::max(bytes.size() + stretch.size(), bytes.capacity() * 2));
        }
        std::optional<UnmappedText> unmapped;
        const bool whole = ForEachPiece(stretch, cancel, [&](std::size_t offset, std::string_view text) {
            leftOut -= CountCharacters(text, built.encoding);
            if (!encoder) {
                built.game.bytes.append(text);
                built.game.characterMap.AppendMap(TextCharacters(text, built.encoding));
                return true;
            }
            unmapped = encoder->Append(text, built.game, &prices);
            if (unmapped) {
                unmapped->offset += static_cast<std::int64_t>(offset);
            }
            return !unmapped;
        });
        if (!whole) {
            return EarlyEnd::Cancelled();
        }
        if (unmapped) {
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
        built.script.push_back(stretch);
        built.stretchEnds.push_back(built.game.bytes.size());
    }
    const std::int64_t counted = built.game.characterMap.Characters() - charactersBefore;
    built.countedCharacters += counted;
    built.totalCharacters += counted + leftOut;
    return std::nullopt;
}

GameScript ScriptBuilder::Finish()
{
    built.game.characterMap.Finish();
    built.lineEndCorrection = prices.correction;
    return std::move(built);
}

} // namespace kestrin
