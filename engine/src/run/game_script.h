// SPDX-License-Identifier: MIT
#pragma once

#include "cancel_flag.h"
#include "counting/comment_scanner.h"
#include "run/resolved_settings.h"
#include "run/step.h"
#include "text/game_encoder.h"
#include "text/game_table.h"

#include "kestrin/run_settings.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kestrin {

// The counted text of a run in the game's characters: the script's stretches that the comment filter
// lets through, and the game's bytes they take, with where each character starts.
struct GameScript {
    TextEncoding encoding = TextEncoding::Latin1;
    const GameTable* table = nullptr;     // the run's game table, in the GameTable mode
    std::vector<std::string_view> script; // the counted stretches as the files hold them
    GameText game; // their game bytes, one stretch after another; its character map finished
    std::vector<std::size_t> stretchEnds; // where each stretch ends in game.bytes
    std::size_t longestCharacter = 1;     // the most bytes one character takes in the game
    // Through a game table: the game's bytes of the script's line ends (LineEndPrices) less the one byte
    // per CR and per LF that `game` holds for them. Every size of the script that counts a CR or an LF as a
    // byte (the encodings by longest match and by best parse, with or without entries) adds it.
    std::int64_t lineEndCorrection = 0;

    // The game's bytes of each stretch.
    [[nodiscard]] std::vector<std::string_view> GameStretches() const;
    // The text of game bytes made of whole characters: through the table, or the bytes themselves.
    [[nodiscard]] std::string TextOf(std::string_view gameBytes) const;
    // The game's characters of the counted text (codes of the table, or UTF-8 characters), line ends
    // included; and all characters of the inputs: those plus the characters of the text that the
    // comment filter left out, which is never encoded and counts in the encoding's characters.
    std::int64_t countedCharacters = 0;
    std::int64_t totalCharacters = 0;
};

// true when the game could not tell the code from one of the table's: it is one of them, begins with one
// or begins one.
[[nodiscard]] bool CodeClashes(const GameTable& table, std::string_view code);

// The refusal of a file (an input or the game table) whose text is not valid in the encoding.
[[nodiscard]] Refusal InvalidText(FileRole role, const std::filesystem::path& path, const TextFault& fault);

// Adds the inputs one by one to a GameScript: each file's text checked in the encoding and its counted
// stretches encoded, or the refusal that names the file and the place.
class ScriptBuilder
{
public:
    // Through the game table of the settings, which must outlive the script; Add looks at the cancel flag
    // (if any) every few hundred KiB.
    ScriptBuilder(const ResolvedSettings& resolved, const CancelFlag* cancel);

    // The stretches must stay where they are until the script is done with: they are kept as views.
    // Cancelled: ends early, with the script of no use.
    [[nodiscard]] StepEnd Add(const std::filesystem::path& path, std::string_view fileText,
                              std::span<const CountedStretch> pieces);
    [[nodiscard]] GameScript Finish();

private:
    GameScript built;
    std::optional<GameEncoder> encoder;
    LineEndPrices prices;
    const CancelFlag* cancel;
};

} // namespace kestrin
