// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/file_error.h"
#include "kestrin/run_analysis.h"

#include <QString>
#include <QStringList>

#include <string_view>

class QWidget;

namespace kestrin {

// What the window says in its message boxes: the engine reports kinds and values, and these put them
// into the window's words, naming the boxes and buttons by their captions.

// Why a run did not start, for each kind of refusal; the refusal's text (what a game table does not
// hold, a bad table line) is in the run's encoding.
[[nodiscard]] QString PhraseRefusal(const Refusal& refusal, TextEncoding encoding = TextEncoding::Latin1);

// Why a run could not finish; detail is what the system said, shown as it is.
// inCharacters: the run counted in the game's characters (Codifica UTF-8 or a game table).
[[nodiscard]] QString PhraseFailure(const RunOutcome& outcome, bool inCharacters);

// A run that ended by an exception, such as running out of memory outside the engine's own checks.
[[nodiscard]] QString PhraseUnexpectedStop(std::string_view what);

// A file that failed: an input or the exclusion table could not be read (the run stopped), or an
// output file could not be written (the report is still shown).
[[nodiscard]] QString PhraseReadError(const FileError& error);
[[nodiscard]] QString PhraseWriteError(const FileError& error);
// An input file that could not be read, with the question whether to take it off the list of inputs.
[[nodiscard]] QString PhraseInputReadError(const FileError& error);

// What the output table should have said about a completed run: that its ranges gave no result a code,
// the results kept out of it for holding a CR or an LF, and the first code it got again; empty when
// there is nothing to say.
[[nodiscard]] QString PhraseTableNotes(const RunOutcome& outcome);

// The SVG picture of the savings curve could not be written to `path`; reason is the system's.
[[nodiscard]] QString PhraseCurveNotSaved(const QString& path, const QString& reason);

// The refusal of a custom comment delimiter: the box (by its caption) holds a character above U+00FF.
[[nodiscard]] QString PhraseUnencodableDelimiter(const QString& boxCaption, char32_t character);

// The items, dropped, chosen with Apri or given on the command line, that did not become input files,
// each given as "name: reason", one per line.
[[nodiscard]] QString PhraseNotAddedAsInput(const QStringList& refused);

// Modal boxes without an icon and with plain text, titled "Kestrin": one with OK, one with Yes and No
// where Yes is the default (true when Yes was pressed).
void ShowMessage(QWidget* parent, const QString& text);
[[nodiscard]] bool AskYesNo(QWidget* parent, const QString& question);

// The fatal-error box of the file choosers, titled "Huge Error!", with OK only: the failure's number and
// description as the dialog gave them, and that OK closes Kestrin. The caller then closes the window.
void ShowFatalError(QWidget* parent, int number, const QString& description);

} // namespace kestrin
