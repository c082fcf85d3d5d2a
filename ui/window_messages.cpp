// SPDX-License-Identifier: MIT
// The window's messages: refusals, failures and file errors phrased for the message boxes.

#include "window_messages.h"

#include "latin1.h"

#include "kestrin/report.h"
#include "kestrin/table_file.h"

#include <QFile>
#include <QMessageBox>

#include <filesystem>

namespace kestrin {

namespace {

const char* const contactAddress = "kestrin@example.org";

QString FromLocal(std::string_view text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

QString RoleName(FileRole role)
{
    switch (role) {
    case FileRole::InputFile:
        return QStringLiteral("an input file (Apri)");
    case FileRole::ExclusionTable:
        return QStringLiteral("the exclusion table (Apri Tabella di Esclusione)");
    case FileRole::ReportFile:
        return QStringLiteral("the report file (Apri file di Output)");
    case FileRole::OutputTable:
        return QStringLiteral("the output table (Apri Tabella Output)");
    case FileRole::GameTable:
        return QStringLiteral("the game's character table (Apri Tabella Caratteri)");
    case FileRole::EvaluatedTable:
        return QStringLiteral("the table to evaluate (Apri Tabella da Valutare)");
    case FileRole::KeptTable:
        return QStringLiteral("the table of kept entries (Apri Voci da Tenere)");
    case FileRole::CurveFile:
        return QStringLiteral("the curve file (Salva come SVG)");
    case FileRole::EncodingPreview:
        return QStringLiteral("the encoding preview (Salva Anteprima Codifica)");
    }
    return {};
}

QString PhraseFileClash(const Refusal& refusal)
{
    const auto shown = [](const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); };
    QString text = QStringLiteral("The analysis did not start: %1 %2 is also %3")
                       .arg(RoleName(refusal.role), shown(refusal.path), RoleName(refusal.otherRole));
    if (refusal.otherPath != refusal.path) {
        text += QStringLiteral(" %1").arg(shown(refusal.otherPath));
    }
    if (refusal.role == FileRole::OutputTable) {
        return text + QStringLiteral(", to which the table would be appended. Choose another output table.");
    }
    if (refusal.role == FileRole::CurveFile) {
        return text + QStringLiteral(", which the curve would replace. Choose another curve file.");
    }
    if (refusal.role == FileRole::EncodingPreview) {
        return text +
               QStringLiteral(", which the preview would replace. Choose another file for the preview.");
    }
    return text + QStringLiteral(", which the report would replace. Choose another report file.");
}

QString Shown(const std::filesystem::path& path)
{
    return QFile::decodeName(path.c_str());
}

// The refusals of text that cannot be read as the game's characters; `text` is in the run's encoding.
QString PhraseCharacters(const Refusal& refusal, TextEncoding encoding)
{
    const QString notStarted = QStringLiteral("The analysis did not start: ");
    // The table at fault: the game's character table, or a table of the Dizionario page.
    const QString table = RoleName(refusal.role) + u' ' + Shown(refusal.path);
    switch (refusal.reason) {
    case Refusal::Reason::BadDictionaryBytes:
        if (refusal.limit > 0) {
            return notStarted + QStringLiteral("Byte max \"%1\" is out of range: type at most %2 bytes, or "
                                               "leave it empty for no limit.")
                                    .arg(FromLocal(ShownText(refusal.text)))
                                    .arg(refusal.limit);
        }
        return notStarted +
               QStringLiteral("Byte max \"%1\" is not a whole number of bytes, 0 or more. Type the "
                              "most bytes the entries may take in the game, or leave it empty "
                              "for no limit.")
                   .arg(FromLocal(ShownText(refusal.text)));
    case Refusal::Reason::BadEntryOverhead:
        return notStarted +
               QStringLiteral("Byte in più per voce \"%1\" is not a whole number of bytes from 0 "
                              "to %2. Type the bytes each entry takes in the game beyond its "
                              "text, or 0.")
                   .arg(FromLocal(ShownText(refusal.text)))
                   .arg(refusal.limit);
    case Refusal::Reason::InvalidDelimiter:
        return notStarted +
               QStringLiteral("a custom comment box (Inizio or Fine) holds the bytes %1, which are "
                              "not valid text in the Codifica chosen.")
                   .arg(FromLatin1(SpacedHexOf(refusal.text)));
    case Refusal::Reason::InvalidText:
        return notStarted +
               QStringLiteral("%1 %2 is not valid UTF-8 (Codifica): at line %3, byte offset %4, the "
                              "bytes %5. Nothing was counted or written.")
                   .arg(RoleName(refusal.role), Shown(refusal.path))
                   .arg(refusal.line)
                   .arg(refusal.offset)
                   .arg(FromLatin1(SpacedHexOf(refusal.text)));
    case Refusal::Reason::UnmappedText:
        return notStarted +
               QStringLiteral("%1 %2 holds text that no code of %3 stands for, at line %4, column "
                              "%5: \"%6\" (bytes %7). Add it to the table.")
                   .arg(RoleName(FileRole::InputFile), Shown(refusal.path), RoleName(FileRole::GameTable))
                   .arg(refusal.line)
                   .arg(refusal.column)
                   .arg(FromBytes(ShownText(refusal.text), encoding), FromLatin1(SpacedHexOf(refusal.text)));
    case Refusal::Reason::BadTableLine:
        return notStarted + QStringLiteral("line %1 of %2 is no entry (HEX=text): \"%3\".")
                                .arg(refusal.line)
                                .arg(table, FromBytes(ShownText(refusal.text), encoding));
    case Refusal::Reason::CodeBeginsCode:
        return notStarted + QStringLiteral("in %1, the code %2 of line %3 begins with the whole code of line "
                                           "%4, so the game could not tell them apart.")
                                .arg(table, FromLocal(ShownText(refusal.text)))
                                .arg(refusal.line)
                                .arg(refusal.otherLine);
    case Refusal::Reason::NoGameCharacters:
        return notStarted + QStringLiteral("%1 holds no entry (HEX=text).").arg(table);
    case Refusal::Reason::EmptyTable:
        return notStarted + QStringLiteral("%1 holds no entry (HEX=text).").arg(table);
    case Refusal::Reason::TableTextTooLong:
        return notStarted + QStringLiteral("line %1 of %2 has a text of %3 bytes; a table's text may have at "
                                           "most %4.")
                                .arg(refusal.line)
                                .arg(table)
                                .arg(refusal.length)
                                .arg(refusal.limit);
    case Refusal::Reason::OutputIsFolder:
        return notStarted + QStringLiteral("%1 is a folder. Choose a file.").arg(table);
    default:
        break;
    }
    return {};
}

// Why a kept entry cannot be used, in a few words.
QString KeptEntryProblem(EntryProblem problem)
{
    switch (problem) {
    case EntryProblem::HoldsLineEnd:
        return QStringLiteral("its text holds a line end or an end code");
    case EntryProblem::SplitsCharacter:
        return QStringLiteral("its text is not whole characters of the game's table");
    case EntryProblem::SameText:
        return QStringLiteral("an earlier line has its text");
    case EntryProblem::RepeatedCode:
        return QStringLiteral("an earlier line has its code");
    case EntryProblem::GameTableCode:
        return QStringLiteral("its code clashes with a code of the game's table");
    case EntryProblem::NoText:
    case EntryProblem::Unused:
        break;
    }
    return QStringLiteral("it stands for no text");
}

QString PhraseFatalError(int number, const QString& description)
{
    return QStringLiteral("Error: %1\r\n%2\r\n\r\nHit OK to close Kestrin. If you believe you received "
                          "this error in error please contact the creator at %3")
        .arg(number)
        .arg(description, QString::fromUtf8(contactAddress));
}

} // namespace

QString PhraseRefusal(const Refusal& refusal, TextEncoding encoding)
{
    // The refusals of the sample-length list name the box by its caption.
    switch (refusal.reason) {
    case Refusal::Reason::SameFile:
        return PhraseFileClash(refusal);
    case Refusal::Reason::NegativeSampleLength:
        return QStringLiteral(
                   "Lunghezza(e) campione holds the negative sample length %1: sample lengths must "
                   "be 0 or more.")
            .arg(refusal.length);
    case Refusal::Reason::OnlyZeroLength:
        return QStringLiteral(
            "Lunghezza(e) campione holds only the sample length 0: at least one length must be 1 or more.");
    case Refusal::Reason::NoTableCode:
        return QStringLiteral(
                   "The analysis did not start: Intervalli \"%1\" gives no code for the output table "
                   "(Apri Tabella Output), and with Risparmio reale every entry needs one. Type "
                   "ranges such as &H80-&HFF.")
            .arg(FromLocal(ShownText(refusal.text)));
    case Refusal::Reason::InputTooLong:
        return QStringLiteral(
                   "The analysis did not start: the input files hold %1 bytes, and Risparmio reale "
                   "takes fewer than %2.")
            .arg(refusal.length)
            .arg(refusal.limit);
    case Refusal::Reason::InputTooLongInCharacters:
        return QStringLiteral(
                   "The analysis did not start: the input files hold %1 bytes, and counting in UTF-8 "
                   "characters (Codifica) takes fewer than %2.")
            .arg(refusal.length)
            .arg(refusal.limit);
    case Refusal::Reason::NotAReport:
    case Refusal::Reason::UnreadableReport:
        // The window confirms the replacement when the report file is chosen and never asks the run
        // for this check; the text serves a host that does.
        return QStringLiteral("The analysis did not start: the report file (Apri file di Output) %1 is not a "
                              "report of Kestrin. Choose another report file.")
            .arg(QFile::decodeName(refusal.path.c_str()));
    case Refusal::Reason::BadDictionaryBytes:
    case Refusal::Reason::BadEntryOverhead:
    case Refusal::Reason::InvalidDelimiter:
    case Refusal::Reason::InvalidText:
    case Refusal::Reason::UnmappedText:
    case Refusal::Reason::BadTableLine:
    case Refusal::Reason::CodeBeginsCode:
    case Refusal::Reason::NoGameCharacters:
    case Refusal::Reason::EmptyTable:
    case Refusal::Reason::TableTextTooLong:
    case Refusal::Reason::OutputIsFolder:
        return PhraseCharacters(refusal, encoding);
    case Refusal::Reason::KeepWithoutSavings:
        return QStringLiteral("The analysis did not start: %1 %2 needs real savings, which chooses the "
                              "entries around the kept ones.")
            .arg(RoleName(refusal.role), Shown(refusal.path));
    case Refusal::Reason::BadKeptEntry:
        return QStringLiteral("The analysis did not start: line %1 of %2 %3 cannot be kept (%4%5).")
            .arg(refusal.line)
            .arg(RoleName(refusal.role), Shown(refusal.path), KeptEntryProblem(refusal.problem),
                 refusal.otherLine != 0 ? QStringLiteral(": line %1").arg(refusal.otherLine) : QString());
    case Refusal::Reason::NoSampleLength:
        break;
    }
    return QStringLiteral("Lunghezza(e) campione holds no sample length: type one or more lengths, such as "
                          "1, 1-3 or 1,3,5.");
}

QString PhraseFailure(const RunOutcome& outcome, bool inCharacters)
{
    switch (outcome.failure) {
    case Failure::OutOfMemory:
        return QStringLiteral("Not enough memory for this run: ask for fewer or shorter sample lengths, "
                              "fewer results, or less input.");
    case Failure::NoThread:
        return QStringLiteral("The run stopped: the system gave no thread to count on.");
    case Failure::FileGrew:
        return QStringLiteral("The run stopped: %1 grew past 2 GiB while it was read.")
            .arg(QFile::decodeName(outcome.failurePath.c_str()));
    case Failure::TextTooLong:
        return inCharacters ? QStringLiteral("The run stopped: the counted text is 2147483647 game bytes or "
                                             "more, too long to count in characters (Codifica, Apri Tabella "
                                             "Caratteri).")
                            : QStringLiteral("The run stopped: the counted text is 2147483647 bytes or more, "
                                             "too long for Risparmio reale.");
    case Failure::Other:
        break;
    }
    return QStringLiteral("The run stopped: %1").arg(FromLocal(outcome.failureDetail));
}

QString PhraseUnexpectedStop(std::string_view what)
{
    return QStringLiteral("The analysis stopped: %1").arg(FromLocal(what));
}

QString PhraseReadError(const FileError& error)
{
    return QStringLiteral("The analysis stopped because this file could not be read:\n%1")
        .arg(FromLocal(Describe(error)));
}

QString PhraseWriteError(const FileError& error)
{
    if (error.busy) {
        return QStringLiteral("The report is ready, but this file could not be written: another run is "
                              "writing it. Try again when it has finished.\n%1")
            .arg(FromLocal(error.path.string()));
    }
    QString text = QStringLiteral("The report is ready, but this file could not be written:\n%1")
                       .arg(FromLocal(Describe(error)));
    if (!error.cutBackReason.empty()) {
        text += QStringLiteral("\n%1 bytes of the unfinished block are left at its end: they could not be "
                               "cut off (%2).")
                    .arg(error.bytesLeft)
                    .arg(FromLocal(error.cutBackReason));
    }
    return text;
}

QString PhraseInputReadError(const FileError& error)
{
    return PhraseReadError(error) + QStringLiteral("\n\nRemove it from the input files?");
}

QString PhraseTableNotes(const RunOutcome& outcome)
{
    QStringList notes;
    QStringList repeated;
    QStringList unmodelled;
    QStringList newline;
    for (const GameTableNote& note : outcome.gameTableNotes) {
        switch (note.kind) {
        case GameTableNote::Kind::RepeatedCode:
        case GameTableNote::Kind::RepeatedText:
            repeated.append(QStringLiteral("line %1 repeats the %2 of line %3")
                                .arg(note.line)
                                .arg(note.kind == GameTableNote::Kind::RepeatedCode ? QStringLiteral("code")
                                                                                    : QStringLiteral("text"))
                                .arg(note.firstLine));
            break;
        case GameTableNote::Kind::NotModelled:
            unmodelled.append(
                QStringLiteral("line %1 (%2)").arg(note.line).arg(FromLocal(ShownText(note.text))));
            break;
        case GameTableNote::Kind::Utf8Mark:
            notes.append(
                QStringLiteral("The game's character table (Apri Tabella Caratteri) starts with a UTF-8 "
                               "byte-order mark: Codifica UTF-8 is probably meant."));
            break;
        case GameTableNote::Kind::OtherNewlineCode:
            newline.append(QStringLiteral("line %1 names another newline code than line %2")
                               .arg(note.line)
                               .arg(note.firstLine));
            break;
        }
    }
    if (!repeated.isEmpty()) {
        notes.append(
            QStringLiteral("In the game's character table (Apri Tabella Caratteri), %1; the first line "
                           "wins.")
                .arg(repeated.join(QStringLiteral(", "))));
    }
    if (!newline.isEmpty()) {
        notes.append(QStringLiteral("In the game's character table (Apri Tabella Caratteri), %1; the first "
                                    "newline code wins, the others count as used.")
                         .arg(newline.join(QStringLiteral(", "))));
    }
    if (!unmodelled.isEmpty()) {
        notes.append(
            QStringLiteral("In the game's character table (Apri Tabella Caratteri), %1 are kinds of line "
                           "not modelled (linked entries, marks, table switches, bookmarks); their codes "
                           "count as used.")
                .arg(unmodelled.join(QStringLiteral(", "))));
    }
    if (outcome.noTableCode) {
        notes.append(QStringLiteral("The report is ready, but Intervalli gave no result a code: the block "
                                    "appended to the output table holds no entry."));
    }
    if (const auto& splitting = outcome.splittingResults; splitting.size() == 1) {
        notes.append(
            QStringLiteral("Result %1 holds a CR or an LF, which would split the lines of the output "
                           "table (Apri Tabella Output): it was not written there, and its code "
                           "stays unused.")
                .arg(splitting.front()));
    } else if (!splitting.empty()) {
        notes.append(
            QStringLiteral("%1 results (the first is result %2) hold a CR or an LF, which would split "
                           "the lines of the output table (Apri Tabella Output): they were not "
                           "written there, and their codes stay unused.")
                .arg(splitting.size())
                .arg(splitting.front()));
    }
    if (outcome.repeatedCode) {
        notes.append(QStringLiteral("The output table (Apri Tabella Output) already held the code %1, which "
                                    "this run appended again: choose Intervalli that the table does not use.")
                         .arg(QString::fromStdString(FormatTableCode(*outcome.repeatedCode))));
    }
    if (outcome.gameTableCode) {
        notes.append(
            QStringLiteral("The code %1 written to the output table (Apri Tabella Output) is a code of "
                           "the game's character table (Apri Tabella Caratteri) too, or begins or is "
                           "begun by one of its codes, which an inserter reading both could not tell "
                           "apart: choose Intervalli that the game does not use.")
                .arg(QString::fromStdString(FormatTableCode(*outcome.gameTableCode))));
    }
    return notes.join(QStringLiteral("\n\n"));
}

QString PhraseCurveNotSaved(const QString& path, const QString& reason)
{
    return QStringLiteral("The savings curve could not be saved:\n%1: %2").arg(path, reason);
}

QString PhraseUnencodableDelimiter(const QString& boxCaption, char32_t character)
{
    const QString code = QString::number(static_cast<uint>(character), 16).toUpper().rightJustified(4, u'0');
    return QStringLiteral("The custom comment box \"%1\" holds the character \"%2\" (U+%3), which has "
                          "no single byte. Comment delimiters can only use characters up to U+00FF.")
        .arg(boxCaption, QString::fromUcs4(&character, 1), code);
}

QString PhraseNotAddedAsInput(const QStringList& refused)
{
    return (refused.size() == 1 ? QStringLiteral("This item was not added as an input file:\n")
                                : QStringLiteral("These items were not added as input files:\n")) +
           refused.join(u'\n');
}

void ShowMessage(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrin"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& question)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrin"), question,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void ShowFatalError(QWidget* parent, int number, const QString& description)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Huge Error!"), PhraseFatalError(number, description),
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace kestrin
