// SPDX-License-Identifier: MIT
// The Dizionario page: its controls (the table to judge, the kept entries, the savings curve and the
// encoding preview, each with its help), the Valuta button, and the dialog that shows the last run's
// savings curve and saves it as SVG.

#include "file_dialogs.h"
#include "frm_frequency.h"
#include "savings_curve_view.h"
#include "window_controls.h"
#include "window_messages.h"
#include "wrapping_check_box.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kestrin {

void FrmFrequency::CreateDictionaryPage(QWidget* page)
{
    // Each setting has its controls on the left and its help text on the right, as the exclusion table.
    CreateEvaluateControls(page);
    CreateKeepControls(page);
    CreateCurveControls(page);
    CreatePreviewControls(page);
}

void FrmFrequency::MakeDictionaryHelp(QWidget* page, const char* name, const QString& text, int top,
                                      int height, const QList<QWidget*>& controls)
{
    QLabel* help = MakeHelpLabel(page, name, text);
    PlaceOnPage(help, 2760, top, 6495, height);
    for (QWidget* control : controls) {
        control->setToolTip(text);
    }
}

void FrmFrequency::CreateEvaluateControls(QWidget* page)
{
    cmdOpenEvaluateTable =
        MakeButton(page, "cmdOpenEvaluateTable", QStringLiteral("Apri Tabella da Valu&tare"));
    PlaceOnPage(cmdOpenEvaluateTable, 240, 420, 2055, 375);
    lblOpenEvaluateTable = MakePathCaption(page, "lblOpenEvaluateTable", 240, 900);
    cmdEvaluate = MakeButton(page, "cmdEvaluate", QStringLiteral("&Valuta"));
    PlaceOnPage(cmdEvaluate, 240, 1260, 1215, 375);
    MakeDictionaryHelp(
        page, "lblInfoEvaluateTable",
        QStringLiteral(
            "Valuta una tabella di voci (formato Thingy, nella Codifica scelta, codici da 1 a 4 byte), per "
            "esempio quella di Kestrin corretta a mano. Valuta avvia subito l'analisi: Kestrin non conta "
            "nulla, ma codifica il testo con la tabella dei caratteri e queste voci, come un inseritore, e "
            "riporta usi, risparmio e difetti di ogni voce, poi le dimensioni del testo codificato e della "
            "tabella. Analizza non valuta."),
        420, 1335, {cmdOpenEvaluateTable, cmdEvaluate});
}

FrmFrequency::ClearableFile FrmFrequency::MakeClearableFile(QWidget* page, const char* name,
                                                            const QString& caption, const QString& clearName,
                                                            const QString& clearTip, const QString& help,
                                                            int top)
{
    const QString base = QString::fromLatin1(name);
    ClearableFile file{};
    file.open = MakeButton(page, ("cmdOpen" + base).toLatin1().constData(), caption);
    PlaceOnPage(file.open, 240, top, 2055, 375);
    file.clear = MakeButton(page, ("cmdClear" + base).toLatin1().constData(), QStringLiteral("\u2715"));
    file.clear->setAccessibleName(clearName);
    file.clear->setToolTip(clearTip);
    PlaceOnPage(file.clear, 2340, top, 375, 375);
    file.path = MakePathCaption(page, ("lblOpen" + base).toLatin1().constData(), 240, top + 480);
    MakeDictionaryHelp(page, ("lblInfo" + base).toLatin1().constData(), help, top, 1020, {file.open});
    return file;
}

void FrmFrequency::CreateKeepControls(QWidget* page)
{
    const ClearableFile file = MakeClearableFile(
        page, "KeepTable", QStringLiteral("Apri Voci da T&enere"), QStringLiteral("Togli Voci da Tenere"),
        QStringLiteral("Togli la tabella delle voci da tenere."),
        QStringLiteral(
            "Con Risparmio reale, le voci di questa tabella (stesso formato), come i nomi dei personaggi, "
            "sono nel dizionario fin dall'inizio con i loro codici. Kestrin sceglie le altre con i codici "
            "degli Intervalli che la tabella non usa, e la tabella di output riceve solo le voci nuove. "
            "\u2715 toglie la tabella."),
        1800);
    cmdOpenKeepTable = file.open;
    cmdClearKeepTable = file.clear;
    lblOpenKeepTable = file.path;
}

void FrmFrequency::CreateCurveControls(QWidget* page)
{
    lblEntryOverhead = MakeLabel(page, "lblEntryOverhead", {}, DialogFont());
    lblEntryOverhead->setText(QStringLiteral("&Byte in più per voce:"));
    PlaceOnPage(lblEntryOverhead, 240, 2940, 1935, 195);
    txtEntryOverhead = MakeTextBox(page, "txtEntryOverhead", QStringLiteral("0"));
    PlaceOnPage(txtEntryOverhead, 240, 3180, 855, 285);
    lblEntryOverhead->setBuddy(txtEntryOverhead);
    MakeDictionaryHelp(
        page, "lblInfoEntryOverhead",
        QStringLiteral(
            "Con Risparmio reale, i byte che ogni voce occupa nel dizionario oltre al testo (un "
            "terminatore, una lunghezza o un puntatore): contano nella scelta, in Byte max e nella "
            "dimensione della tabella. 0: nessuno."),
        2940, 765, {txtEntryOverhead});

    chkSavingsCurve = MakeCheckBox(page, "chkSavingsCurve", QStringLiteral("&Curva dei risparmi"));
    chkSavingsCurve->setFont(HelpFont());
    PlaceOnPage(chkSavingsCurve, 240, 3840, 2295, 255);
    MakeDictionaryHelp(
        page, "lblInfoSavingsCurve",
        QStringLiteral(
            "Con Risparmio reale, Kestrin misura il testo dopo le voci scelte. Al termine, Curva... (in "
            "basso nella pagina Risultati) mostra testo, dizionario e somma secondo il numero di voci, e "
            "salva la curva come SVG."),
        3840, 765, {chkSavingsCurve});
}

void FrmFrequency::CreatePreviewControls(QWidget* page)
{
    const ClearableFile file = MakeClearableFile(
        page, "EncodingPreview", QStringLiteral("Salva Anteprima C&odifica"),
        QStringLiteral("Togli Anteprima Codifica"), QStringLiteral("Togli il file dell'anteprima."),
        QStringLiteral(
            "Scrive il testo contato come lo codifica l'inseritore, con il testo di ogni voce tra graffe "
            "({la por}ta) per vedere dove è usata; senza quelle graffe torna il testo (le graffe del testo "
            "sono protette). Con Valuta e con Risparmio reale; ogni analisi sostituisce il file. \u2715 "
            "toglie il file."),
        4740);
    cmdOpenEncodingPreview = file.open;
    cmdClearEncodingPreview = file.clear;
    lblOpenEncodingPreview = file.path;
}

void FrmFrequency::cmdEvaluate_Click()
{
    // Analizza with the table to evaluate: the one run that judges it.
    evaluating = true;
    cmdAnalyze_Click();
    evaluating = false;
}

void FrmFrequency::ShowCurve(const std::vector<CurvePoint>& points)
{
    // The dialog showed the last run's curve; the next one is made for this run's.
    delete curveDialog;
    curveDialog = nullptr;
    curve = points;
    SSTab1_Click(SSTab1->currentIndex());
}

void FrmFrequency::cmdCurve_Click()
{
    if (curveDialog == nullptr) {
        curveDialog = new QDialog(this);
        curveDialog->setObjectName(QStringLiteral("dlgCurve"));
        curveDialog->setWindowTitle(QStringLiteral("Kestrin - Curva dei risparmi"));
        auto* view = new SavingsCurveView(curve, curveDialog);
        view->setObjectName(QStringLiteral("picCurve"));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, curveDialog);
        QPushButton* save = MakeButton(buttons, "cmdSaveCurve", QStringLiteral("&Salva come SVG..."));
        buttons->addButton(save, QDialogButtonBox::ActionRole);
        connect(save, &QPushButton::clicked, this, &FrmFrequency::cmdSaveCurve_Click);
        connect(buttons, &QDialogButtonBox::rejected, curveDialog, &QDialog::reject);
        auto* layout = new QVBoxLayout(curveDialog);
        layout->addWidget(view, 1);
        layout->addWidget(buttons);
    }
    curveDialog->show();
    curveDialog->raise();
    curveDialog->activateWindow();
}

void FrmFrequency::cmdSaveCurve_Click()
{
    const QStringList chosen = ChooseFiles("All Files|*.*|SVG Files(*.svg)|*.svg", 2, DialogKind::Replace);
    if (chosen.isEmpty()) {
        return;
    }
    if (const QString reason = SaveSavingsCurveSvg(chosen.front(), curve); !reason.isEmpty()) {
        ShowMessage(curveDialog, PhraseCurveNotSaved(chosen.front(), reason));
    }
}

} // namespace kestrin
