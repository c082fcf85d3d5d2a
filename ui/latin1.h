// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_settings.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// The window and the engine meet here: the engine works on bytes, one char per byte, and the window
// shows each byte as the character of the same value (Latin-1), so texts cross over one to one. When a
// run reads its text as UTF-8, the texts it reads and makes (delimiters, the report) cross as UTF-8.

// Each byte as the character U+0000..U+00FF of the same value.
[[nodiscard]] QString FromLatin1(std::string_view bytes);

// Each character as the byte of the same value; nullopt when a character lies above U+00FF and so
// has no byte of its own.
[[nodiscard]] std::optional<std::string> ToLatin1(const QString& text);

// As ToLatin1, but a character above U+00FF becomes "?". For number texts, where such a character
// can never be a digit, so that the item holding it stays non-numeric.
[[nodiscard]] std::string ToLatin1Lossy(const QString& text);

// The first character above U+00FF in the text, or nullopt when every character has a byte.
[[nodiscard]] std::optional<char32_t> FirstNonLatin1(const QString& text);

// A text as the bytes of the encoding: Latin-1 (each character above U+00FF becomes "?", see
// ToLatin1Lossy), or UTF-8, which holds every character.
[[nodiscard]] std::string ToBytes(const QString& text, TextEncoding encoding);

// Bytes of the encoding as a text; in UTF-8, a byte that starts no character shows as U+FFFD.
[[nodiscard]] QString FromBytes(std::string_view bytes, TextEncoding encoding);

// The report as the results box shows it: its "Filename:" lines hold the paths as the file system names
// them (the report's bytes are the file system's bytes), everything else is text of the run's encoding.
// The text may begin with the truncation notice.
[[nodiscard]] QString ReportForDisplay(std::string_view report, const std::vector<QString>& inputFiles,
                                       TextEncoding encoding);

// A path as the file dialog gave it, in the file system's own encoding.
[[nodiscard]] std::filesystem::path ToPath(const QString& path);

} // namespace kestrin
