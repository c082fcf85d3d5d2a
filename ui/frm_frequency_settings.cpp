// SPDX-License-Identifier: MIT
// The window's settings for a run: ReadSettings, and the controls of the game's characters (Codifica,
// the game's character table, the dictionary bytes beside Risparmio reale) with their help texts, their
// start state and the boxes that their refusals send the user back to; the same for the Dizionario page.

#include "frm_frequency.h"
#include "latin1.h"
#include "window_controls.h"
#include "window_messages.h"
#include "wrapping_check_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace kestrin {

void FrmFrequency::CreateCharacterControls(QWidget* page)
{
    // One line in the free room below the help of the ignore switches, level with Ignora Tabulazioni.
    const QString encodingHelp = QStringLiteral(
        "Codifica dei file da analizzare, delle tabelle e dei commenti. Latin-1: ogni byte è un carattere. "
        "UTF-8: ogni carattere UTF-8, anche di più byte, conta come uno, e Kestrin non spezza mai un "
        "carattere; le dimensioni sono i byte UTF-8. Un file che non è UTF-8 valido ferma l'analisi.");
    lblEncoding = MakeLabel(page, "lblEncoding", {}, DialogFont());
    lblEncoding->setText(QStringLiteral("C&odifica:"));
    lblEncoding->setToolTip(encodingHelp);
    PlaceOnPage(lblEncoding, 3240, 5550, 690, 195);
    cmbEncoding = new QComboBox(page);
    cmbEncoding->setObjectName(QStringLiteral("cmbEncoding"));
    cmbEncoding->addItems({QStringLiteral("Latin-1"), QStringLiteral("UTF-8")});
    cmbEncoding->setToolTip(encodingHelp);
    PlaceOnPage(cmbEncoding, 3960, 5475, 1080, 330);
    lblEncoding->setBuddy(cmbEncoding);

    cmdOpenGameTable = MakeButton(page, "cmdOpenGameTable", QStringLiteral("Apri Tabella &Caratteri"));
    cmdOpenGameTable->setToolTip(QStringLiteral(
        "Specifica la tabella dei caratteri del gioco (in formato Thingy, nella Codifica scelta). Se "
        "viene specificata, Kestrin codifica lo script con essa come un inseritore, per corrispondenza "
        "più lunga: conta i caratteri del gioco, e lunghezze e risparmi sono i byte del gioco. Un testo "
        "che nessun valore della tabella rappresenta ferma l'analisi. Un a capo dello script costa i "
        "byte del codice di a capo della tabella (*XX o XX=\\n), nulla dopo un codice di fine stringa, e "
        "nulla se la tabella non ne dà uno."));
    PlaceOnPage(cmdOpenGameTable, 5160, 5460, 1800, 375);
    lblOpenGameTable = MakePathCaption(page, "lblOpenGameTable", 7080, 5550);
}

void FrmFrequency::CreateDictionaryBytesControls(QWidget* page)
{
    // Beside the caption of Risparmio reale, in the free end of its line; it counts only with that switch.
    const QString help = QStringLiteral(
        "Con Risparmio reale, il numero massimo di byte che le voci scelte possono occupare insieme nel "
        "gioco (lo spazio del dizionario). Lascia vuoto per nessun limite.");
    lblDictionaryBytes = MakeLabel(page, "lblDictionaryBytes", {}, HelpFont());
    lblDictionaryBytes->setText(QStringLiteral("Byte &max:"));
    lblDictionaryBytes->setToolTip(help);
    PlaceOnPage(lblDictionaryBytes, 1920, 3270, 900, 195);
    txtDictionaryBytes = MakeTextBox(page, "txtDictionaryBytes", {});
    txtDictionaryBytes->setToolTip(help);
    PlaceOnPage(txtDictionaryBytes, 2880, 3225, 975, 285);
    lblDictionaryBytes->setBuddy(txtDictionaryBytes);
}

void FrmFrequency::chkRealSavings_Click()
{
    // Their help texts stay readable.
    for (QWidget* control :
         QList<QWidget*>{lblDictionaryBytes, txtDictionaryBytes, cmdOpenKeepTable, lblOpenKeepTable,
                         lblEntryOverhead, txtEntryOverhead, chkSavingsCurve}) {
        control->setEnabled(chkRealSavings->isChecked());
    }
    EnableDictionaryCommands();
}

void FrmFrequency::EnableDictionaryCommands()
{
    cmdEvaluate->setEnabled(useEvaluateTable && !inputFiles.empty());
    cmdClearKeepTable->setEnabled(useKeepTable && chkRealSavings->isChecked());
    cmdClearEncodingPreview->setEnabled(writeEncodingPreview);
}

void FrmFrequency::ResetDictionaryControls()
{
    ClearOneFile(evaluateTablePath, useEvaluateTable, lblOpenEvaluateTable);
    ClearOneFile(keepTablePath, useKeepTable, lblOpenKeepTable);
    ClearOneFile(encodingPreviewPath, writeEncodingPreview, lblOpenEncodingPreview);
    txtEntryOverhead->setText(QStringLiteral("0"));
    chkSavingsCurve->setChecked(false);
}

void FrmFrequency::ResetCharacterControls()
{
    cmbEncoding->setCurrentIndex(0);
    gameTablePath.clear();
    useGameTable = false;
    ShowPath(lblOpenGameTable, {});
    txtDictionaryBytes->clear();
}

TextEncoding FrmFrequency::ChosenEncoding() const
{
    return cmbEncoding->currentIndex() == 1 ? TextEncoding::Utf8 : TextEncoding::Latin1;
}

QWidget* FrmFrequency::BoxToCorrect(const Refusal& refusal) const
{
    // Whatever is wrong with a file of the Dizionario page, its command chooses another. A clash names
    // the file that would be written as its role.
    if (refusal.role == FileRole::EvaluatedTable) {
        return cmdOpenEvaluateTable;
    }
    if (refusal.role == FileRole::KeptTable) {
        return cmdOpenKeepTable;
    }
    if (refusal.role == FileRole::EncodingPreview) {
        return cmdOpenEncodingPreview;
    }
    switch (refusal.reason) {
    case Refusal::Reason::NoSampleLength:
    case Refusal::Reason::NegativeSampleLength:
    case Refusal::Reason::OnlyZeroLength:
        return txtSampleLength;
    case Refusal::Reason::BadDictionaryBytes:
        return txtDictionaryBytes;
    case Refusal::Reason::InvalidDelimiter:
        return txtBeginComment;
    case Refusal::Reason::InvalidText:
        // A table that is not UTF-8 is the table's fault; an input that is not may just be Latin-1.
        return refusal.role == FileRole::GameTable ? static_cast<QWidget*>(cmdOpenGameTable) : cmbEncoding;
    case Refusal::Reason::BadTableLine:
        // A table of entries to evaluate has no box of its own here.
        return refusal.role == FileRole::GameTable ? cmdOpenGameTable : nullptr;
    case Refusal::Reason::UnmappedText:
    case Refusal::Reason::CodeBeginsCode:
    case Refusal::Reason::NoGameCharacters:
    case Refusal::Reason::TableTextTooLong: // of the game table: the others' commands are above
        return cmdOpenGameTable;
    case Refusal::Reason::InputTooLongInCharacters:
        return cmbEncoding;
    case Refusal::Reason::BadEntryOverhead:
        return txtEntryOverhead;
    // The file that would be written: the report file's or the output table's command.
    case Refusal::Reason::SameFile:
        return refusal.role == FileRole::OutputTable  ? cmdOpenWriteTable
               : refusal.role == FileRole::ReportFile ? cmdOpenOutput
                                                      : nullptr;
    case Refusal::Reason::NotAReport:
    case Refusal::Reason::UnreadableReport:
        return cmdOpenOutput;
    case Refusal::Reason::NoTableCode:
        return txtWriteTableRanges;
    case Refusal::Reason::InputTooLong:
        return chkRealSavings;
    case Refusal::Reason::KeepWithoutSavings: // as every refusal of the kept table: its command, above
    case Refusal::Reason::BadKeptEntry:
    case Refusal::Reason::EmptyTable:
    case Refusal::Reason::OutputIsFolder:
        break;
    }
    return nullptr;
}

QLineEdit* FrmFrequency::UnencodableDelimiterBox() const
{
    if (!useComments || !optCustom->isChecked() || ChosenEncoding() == TextEncoding::Utf8) {
        return nullptr; // the boxes are not read, or UTF-8 holds every character
    }
    for (QLineEdit* box : {txtBeginComment, txtEndComment}) {
        if (FirstNonLatin1(box->text())) {
            return box;
        }
    }
    return nullptr;
}

std::variant<RunSettings, QString> FrmFrequency::ReadSettings() const
{
    RunSettings settings;
    for (const QString& path : inputFiles) {
        settings.inputFiles.push_back(ToPath(path));
    }
    settings.sampleLengths = ToLatin1Lossy(txtSampleLength->text());
    settings.topResults = ToLatin1Lossy(txtTopResults->text());

    settings.useComments = useComments;
    if (optCPP->isChecked()) {
        settings.commentStyle = CommentStyle::Cpp;
    } else if (optThingy->isChecked()) {
        settings.commentStyle = CommentStyle::Thingy;
    } else if (optCustom->isChecked()) {
        settings.commentStyle = CommentStyle::Custom;
    } else {
        settings.commentStyle = CommentStyle::C;
    }
    if (const QLineEdit* box = UnencodableDelimiterBox()) {
        return PhraseUnencodableDelimiter((box == txtBeginComment ? lblBegin : lblEnd)->text(),
                                          *FirstNonLatin1(box->text()));
    }
    settings.encoding = ChosenEncoding();
    settings.beginComment = ToBytes(txtBeginComment->text(), settings.encoding);
    settings.endComment = ToBytes(txtEndComment->text(), settings.encoding);
    settings.readInsideComments = chkReadInsideComments->isChecked();

    settings.ignoreSpace = chkIgnoreSpace->isChecked();
    settings.ignoreReturn = chkIgnoreReturn->isChecked();
    settings.ignoreTab = chkIgnoreTab->isChecked();

    if (useExclusionTable) {
        settings.exclusionTable = ToPath(exclusionTablePath);
    }
    if (useGameTable) {
        settings.gameTable = ToPath(gameTablePath);
    }
    if (writeReportFile) {
        settings.reportFile = ToPath(reportFilePath);
    }
    if (writeOutputTable) {
        settings.outputTable = ToPath(outputTablePath);
    }
    settings.writeTableRanges = ToLatin1Lossy(txtWriteTableRanges->text());
    settings.realSavings = chkRealSavings->isChecked();
    // The boxes that count only with Risparmio reale are greyed out, and not read, without it.
    if (settings.realSavings) {
        settings.dictionaryBytes = ToLatin1Lossy(txtDictionaryBytes->text());
        if (useKeepTable) {
            settings.keepTable = ToPath(keepTablePath);
        }
        if (txtEntryOverhead->text() != QStringLiteral("0")) { // the start text, which changes nothing
            settings.entryOverhead = ToLatin1Lossy(txtEntryOverhead->text());
        }
        settings.savingsCurve = chkSavingsCurve->isChecked();
    }
    if (evaluating && useEvaluateTable) { // only Valuta evaluates
        settings.evaluateTable = ToPath(evaluateTablePath);
    }
    // The preview shows an encoding, which only evaluating and real savings make.
    if (writeEncodingPreview && (settings.evaluateTable || settings.realSavings)) {
        settings.encodingPreview = ToPath(encodingPreviewPath);
    }
    return settings;
}

} // namespace kestrin
