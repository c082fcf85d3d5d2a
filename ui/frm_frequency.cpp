// SPDX-License-Identifier: MIT
// The window itself: its making and the connection of its handlers, the events it watches for (focus,
// double-click, file drops on text boxes, closing during a run), Form_Load, Reset, the switches of the
// comments and the beep, navigation between pages, the order of the Tab key, and Analizza: running the
// analysis on the settings of ReadSettings (frm_frequency_settings.cpp), or stopping it, and showing the
// outcome. Valuta and the savings curve's dialog are in frm_frequency_dictionary.cpp.

#include "frm_frequency.h"

#include "completion_line.h"
#include "file_dialogs.h"
#include "input_file_list.h"
#include "latin1.h"
#include "savings_curve_view.h"
#include "window_controls.h"
#include "window_messages.h"
#include "window_run_observer.h"
#include "wrapping_check_box.h"

#include "kestrin/report.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <utility>

namespace kestrin {

FrmFrequency::FrmFrequency() : FrmFrequency(nullptr) {}

FrmFrequency::FrmFrequency(std::unique_ptr<FileDialogs> fileDialogs, QWidget* parent)
    : QWidget(parent), dialogs(std::move(fileDialogs)), analysis(RunAnalysis)
{
    if (!dialogs) {
        dialogs = std::make_unique<QtFileDialogs>();
    }
    CreateControls();
    SetFocusOrder();
    ConnectHandlers();
    Form_Load();
}

FrmFrequency::~FrmFrequency() = default;

void FrmFrequency::SetAnalysis(Analysis stand)
{
    analysis = std::move(stand);
}

void FrmFrequency::ConnectHandlers()
{
    // Each command button and its click handler.
    const std::pair<QPushButton*, void (FrmFrequency::*)()> buttons[] = {
        {cmdBack, &FrmFrequency::cmdBack_Click},
        {cmdNext, &FrmFrequency::cmdNext_Click},
        {cmdOpen, &FrmFrequency::cmdOpen_Click},
        {cmdOpenExcludeTable, &FrmFrequency::cmdOpenExcludeTable_Click},
        {cmdOpenOutput, &FrmFrequency::cmdOpenOutput_Click},
        {cmdOpenWriteTable, &FrmFrequency::cmdOpenWriteTable_Click},
        {cmdOpenGameTable, &FrmFrequency::cmdOpenGameTable_Click},
        {cmdOpenEvaluateTable, &FrmFrequency::cmdOpenEvaluateTable_Click},
        {cmdEvaluate, &FrmFrequency::cmdEvaluate_Click},
        {cmdOpenKeepTable, &FrmFrequency::cmdOpenKeepTable_Click},
        {cmdClearKeepTable, &FrmFrequency::cmdClearKeepTable_Click},
        {cmdOpenEncodingPreview, &FrmFrequency::cmdOpenEncodingPreview_Click},
        {cmdClearEncodingPreview, &FrmFrequency::cmdClearEncodingPreview_Click},
        {cmdCurve, &FrmFrequency::cmdCurve_Click},
        {cmdReset, &FrmFrequency::cmdReset_Click},
        {cmdAnalyze, &FrmFrequency::cmdAnalyze_Click},
    };
    for (const auto& [button, handler] : buttons) {
        connect(button, &QPushButton::clicked, this, handler);
    }
    connect(SSTab1, &QTabWidget::currentChanged, this, &FrmFrequency::SSTab1_Click);
    // A check box's click event follows every change of its state, by the user or by the program.
    connect(chkUseComments, &QCheckBox::toggled, this, &FrmFrequency::chkUseComments_Click);
    connect(chkBeepOnFinish, &QCheckBox::toggled, this, &FrmFrequency::chkBeepOnFinish_Click);
    connect(chkRealSavings, &QCheckBox::toggled, this, &FrmFrequency::chkRealSavings_Click);
    connect(escapeKey, &QShortcut::activated, cmdAnalyze, &QPushButton::click);
    // Closing during a run stops the run first (closeEvent).
    connect(quitKey, &QShortcut::activated, this, &QWidget::close);
    connect(lblOpen, &InputFileList::RemoveFileRequested, this,
            qOverload<int>(&FrmFrequency::RemoveInputFile));
    connect(lblOpen, &InputFileList::RemoveAllRequested, this, &FrmFrequency::RemoveAllInputFiles);

    // Files dropped from a file manager reach dragEnterEvent and dropEvent.
    setAcceptDrops(true);
    // Focus and double-click events have no signals, and text boxes would take a file drop as text: the
    // window watches for them.
    for (QObject* watched :
         std::initializer_list<QObject*>{txtSampleLength, txtTopResults, txtWriteTableRanges, txtBeginComment,
                                         txtEndComment, txtDictionaryBytes, txtEntryOverhead, lblKestrin}) {
        watched->installEventFilter(this);
    }
}

bool FrmFrequency::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == txtSampleLength) {
            txtSampleLength_GotFocus();
        } else if (watched == txtTopResults) {
            txtTopResults_GotFocus();
        } else if (watched == txtWriteTableRanges) {
            txtWriteTableRanges_GotFocus();
        }
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == lblKestrin) {
        lblKestrin_DblClick();
        return true;
    } else if ((event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
                event->type() == QEvent::Drop) &&
               qobject_cast<QLineEdit*>(watched) != nullptr &&
               static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
        auto* drop = static_cast<QDropEvent*>(event);
        if (event->type() == QEvent::Drop) {
            dropEvent(drop);
        } else {
            drop->setAccepted(TakesDrop(*drop)); // a refused drag goes on to the window, which refuses it too
            drop->setDropAction(Qt::CopyAction);
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void FrmFrequency::closeEvent(QCloseEvent* event)
{
    if (IsRunning()) {
        // The run still reads its files: ask it to stop, and close once it has returned.
        cancelRequested = true;
        closeAfterRun = true;
        event->ignore();
        return;
    }
    event->accept();
}

// ---- Load, reset and the option switches ----

void FrmFrequency::Form_Load()
{
    // Only the tab headers are locked: QTabWidget::setTabEnabled would also grey out the pages, and the
    // program still shows these two itself.
    SSTab1->tabBar()->setTabEnabled(analysisPage, false);
    SSTab1->tabBar()->setTabEnabled(resultsPage, false);
    SSTab1->setCurrentIndex(0);
    SSTab1_Click(0); // setCurrentIndex does not signal a page that is already current
    inputFiles.clear();
}

void FrmFrequency::cmdReset_Click()
{
    inputFiles.clear();
    exclusionTablePath.clear();
    reportFilePath.clear();
    outputTablePath.clear();
    useComments = false;
    useExclusionTable = false;
    writeOutputTable = false;
    writeReportFile = false;
    beepOnFinish = false;
    cmdAnalyze->setEnabled(false);
    EnableDictionaryCommands();
    ShowInputFiles();
    txtSampleLength->setText(FromLatin1(defaultSampleLengths));
    txtTopResults->setText(FromLatin1(defaultTopResults));
    ShowPath(lblOpenOutput, {});
    chkBeepOnFinish->setChecked(false);
    chkRealSavings->setChecked(false);
    ShowPath(lblOpenWriteTable, {});
    txtWriteTableRanges->clear();
    chkUseComments->setChecked(false);
    fraComments->setEnabled(false);
    chkReadInsideComments->setEnabled(false);
    chkReadInsideComments->setChecked(false);
    optC->setChecked(true);
    for (QWidget* control :
         QList<QWidget*>{optC, optCPP, optThingy, optCustom, lblCEnd, lblCPPEnd, lblThingyEnd}) {
        control->setEnabled(false);
    }
    for (QLineEdit* box : {txtBeginComment, txtEndComment}) {
        box->setEnabled(false);
        box->clear();
    }
    lblBegin->setEnabled(false);
    lblEnd->setEnabled(false);
    ShowPath(lblOpenExcludeTable, {});
    chkIgnoreSpace->setChecked(false);
    chkIgnoreReturn->setChecked(false);
    chkIgnoreTab->setChecked(false);
    ResetCharacterControls();
    ResetDictionaryControls();
    SSTab1->setCurrentIndex(0);
    cmdOpen->setFocus();
}

QList<QWidget*> FrmFrequency::CommentControls() const
{
    return {fraComments,   chkReadInsideComments,
            optC,          optCPP,
            optThingy,     optCustom,
            lblCEnd,       lblCPPEnd,
            lblThingyEnd,  txtBeginComment,
            txtEndComment, lblBegin,
            lblEnd};
}

void FrmFrequency::chkUseComments_Click()
{
    useComments = chkUseComments->isChecked();
    for (QWidget* control : CommentControls()) {
        control->setEnabled(useComments);
    }
}

void FrmFrequency::chkBeepOnFinish_Click()
{
    beepOnFinish = chkBeepOnFinish->isChecked();
}

void FrmFrequency::lblKestrin_DblClick()
{
    Label1->setHidden(!Label1->isHidden());
    ShowInputFiles(); // the motto takes room from the input list's line while it shows
}

// ---- Navigation ----

void FrmFrequency::cmdBack_Click()
{
    const int page = SSTab1->currentIndex();
    SSTab1->setCurrentIndex(page == resultsPage ? 0 : page - 1);
}

void FrmFrequency::cmdNext_Click()
{
    SSTab1->setCurrentIndex(SSTab1->currentIndex() + 1);
}

void FrmFrequency::SSTab1_Click(int /*currentPage*/)
{
    // During a run the progress page stays up, whatever key reached the tab control.
    if (IsRunning() && SSTab1->currentIndex() != analysisPage) {
        SSTab1->setCurrentIndex(analysisPage);
        return;
    }
    // Which of Back and Next make sense on each page; the progress page offers neither.
    static constexpr bool backEnabled[] = {false, true, true, true, false, true};
    static constexpr bool nextEnabled[] = {true, true, true, false, false, false};
    const int page = SSTab1->currentIndex();
    if (page < 0 || page > resultsPage) {
        return;
    }
    cmdBack->setEnabled(backEnabled[page]);
    cmdNext->setEnabled(nextEnabled[page]);
    cmdCurve->setVisible(page == resultsPage && !curve.empty());
}

void FrmFrequency::txtSampleLength_GotFocus()
{
    txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
}

void FrmFrequency::txtTopResults_GotFocus()
{
    txtTopResults->setSelection(0, static_cast<int>(txtTopResults->text().size()));
}

void FrmFrequency::txtWriteTableRanges_GotFocus()
{
    txtWriteTableRanges->setSelection(0, static_cast<int>(txtWriteTableRanges->text().size()));
}

// ---- Focus order ----

void FrmFrequency::SetFocusOrder()
{
    // The window's focus order, from the page headers round to Analizza; the tab control takes the focus
    // through its header row, and the input list, while it lists files, follows Apri.
    focusOrder = {SSTab1->tabBar(),
                  cmdOpen,
                  lblOpen,
                  txtSampleLength,
                  txtTopResults,
                  chkRealSavings,
                  txtDictionaryBytes,
                  cmdOpenOutput,
                  cmdOpenWriteTable,
                  txtWriteTableRanges,
                  chkBeepOnFinish,
                  chkUseComments,
                  optC,
                  optCPP,
                  optThingy,
                  optCustom,
                  txtBeginComment,
                  txtEndComment,
                  chkReadInsideComments,
                  cmdOpenExcludeTable,
                  chkIgnoreSpace,
                  chkIgnoreReturn,
                  chkIgnoreTab,
                  cmbEncoding,
                  cmdOpenGameTable,
                  cmdOpenEvaluateTable,
                  cmdEvaluate,
                  cmdOpenKeepTable,
                  cmdClearKeepTable,
                  txtEntryOverhead,
                  chkSavingsCurve,
                  cmdOpenEncodingPreview,
                  cmdClearEncodingPreview,
                  txtResults,
                  cmdCurve,
                  cmdBack,
                  cmdNext,
                  cmdReset,
                  cmdAnalyze};
    // Qt's own chain in the same order, for whatever walks it; Tab itself follows focusOrder.
    for (qsizetype i = 0; i + 1 < focusOrder.size(); ++i) {
        setTabOrder(focusOrder[i], focusOrder[i + 1]);
    }
}

bool FrmFrequency::focusNextPrevChild(bool next)
{
    // The option buttons of a group are one stop, the chosen one, whichever of them Qt last left its Tab
    // focus on; the arrow keys move inside the group.
    const auto takesTab = [this](QWidget* control) {
        const auto* option = qobject_cast<QRadioButton*>(control);
        const bool stop =
            option != nullptr ? option->isChecked() : (control->focusPolicy() & Qt::TabFocus) != 0;
        return control == focusWidget() || (control->isVisible() && control->isEnabled() && stop);
    };
    QList<QWidget*> stops;
    std::copy_if(focusOrder.begin(), focusOrder.end(), std::back_inserter(stops), takesTab);
    const qsizetype at = stops.indexOf(focusWidget());
    if (at < 0) {
        return QWidget::focusNextPrevChild(next); // the focus is somewhere the order does not know
    }
    const qsizetype to = (at + (next ? 1 : stops.size() - 1)) % stops.size();
    stops[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

// ---- Analyze and cancel ----

bool FrmFrequency::IsRunning() const
{
    return escapeKey->isEnabled();
}

void FrmFrequency::cmdAnalyze_Click()
{
    if (IsRunning()) {
        cancelRequested = true;
        return;
    }
    SSTab1->setCurrentIndex(analysisPage);
    if (curveDialog != nullptr) {
        curveDialog->hide(); // it shows the last run's curve until this run has one
    }
    ClearProgress();
    EnableControls(false);
    // Reset would empty the lists the run is reading.
    cmdReset->setEnabled(false);
    // The focus leaves the pages, so that no key sent to the tab control can turn them.
    cmdAnalyze->setFocus();

    QWidget* const toCorrect = RunAndShowOutcome();

    cancelRequested = false; // a request that came too late for the run to see it
    cmdReset->setEnabled(true);
    EnableControls(true);
    if (toCorrect != nullptr && toCorrect != txtSampleLength) {
        // No run started: the user goes straight to the page and box that hold what cannot be used.
        for (int page = 0; page < SSTab1->count(); ++page) {
            if (SSTab1->widget(page)->isAncestorOf(toCorrect)) {
                SSTab1->setCurrentIndex(page);
            }
        }
        toCorrect->setFocus();
    } else {
        SSTab1->tabBar()->setTabEnabled(resultsPage, true);
        SSTab1->setCurrentIndex(resultsPage);
        txtResults->setFocus();
    }
    if (toCorrect == txtSampleLength) {
        // Losing the focus cleared the selection; the rejected lengths stay marked for the user's return.
        txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
    }
    if (closeAfterRun) {
        close();
    }
}

void FrmFrequency::ClearProgress()
{
    lblCalc->setText(QStringLiteral("Calcolo in corso... Indirizzo corrente:"));
    lblAddr->setText(QStringLiteral("0"));
    lblMatchCount->setText(QStringLiteral("0"));
    linCompletion->SetX2(0);
}

void FrmFrequency::EnableControls(bool idle)
{
    cmdAnalyze->setText(idle ? QStringLiteral("&Analzza") : QStringLiteral("Annulla"));
    escapeKey->setEnabled(!idle);
    SetTabControlEnabled(idle);
    lblCalc->setVisible(!idle);
    lblAddr->setVisible(!idle);
    linCompletion->setVisible(!idle);
    cmdOpen->setEnabled(idle);
}

void FrmFrequency::SetTabControlEnabled(bool enabled)
{
    // The headers and every page but the progress page: that page holds nothing to change, and a
    // disabled page would grey out the progress it shows.
    SSTab1->tabBar()->setEnabled(enabled);
    for (int i = 0; i < SSTab1->count(); ++i) {
        if (i != analysisPage) {
            SSTab1->widget(i)->setEnabled(enabled);
        }
    }
}

QWidget* FrmFrequency::RunAndShowOutcome()
{
    const std::variant<RunSettings, QString> settings = ReadSettings();
    if (const QString* refusal = std::get_if<QString>(&settings)) {
        ShowMessage(this, *refusal);
        return UnencodableDelimiterBox();
    }
    try {
        WindowRunObserver observer(
            {this, lblCalc, lblAddr, lblMatchCount, linCompletion, txtTopResults, chkUseComments},
            cancelRequested);
        return ShowOutcome(analysis(std::get<RunSettings>(settings), observer));
    } catch (const std::exception& error) {
        // Out of memory on a huge request, say: the window survives and the user can ask for less.
        ShowMessage(this, PhraseUnexpectedStop(error.what()));
        return nullptr;
    }
}

QWidget* FrmFrequency::ShowOutcome(const RunOutcome& outcome)
{
    switch (outcome.status) {
    case RunStatus::Completed:
        ShowCurve(outcome.curve);
        txtResults->setPlainText(ReportForDisplay(TruncateForDisplay(outcome.report, ChosenEncoding()),
                                                  inputFiles, ChosenEncoding()));
        if (beepOnFinish) {
            QApplication::beep();
        }
        for (const FileError& error : outcome.errors) {
            ShowMessage(this, PhraseWriteError(error));
        }
        if (const QString notes = PhraseTableNotes(outcome); !notes.isEmpty()) {
            ShowMessage(this, notes);
        }
        break;
    case RunStatus::Declined:
        SelectSampleLength();
        return txtSampleLength;
    case RunStatus::Refused: {
        const Refusal refusal = outcome.refusal.value_or(Refusal{});
        ShowMessage(this, PhraseRefusal(refusal, ChosenEncoding()));
        if (const QString notes = PhraseTableNotes(outcome); !notes.isEmpty()) {
            ShowMessage(this, notes); // what the game table's lines say may explain the refusal
        }
        QWidget* const box = BoxToCorrect(refusal);
        if (box == txtSampleLength) {
            SelectSampleLength();
        }
        return box;
    }
    case RunStatus::Cancelled:
        break;
    case RunStatus::Failed:
        ShowMessage(
            this, PhraseFailure(outcome, ChosenEncoding() == TextEncoding::Utf8 || !gameTablePath.isEmpty()));
        break;
    case RunStatus::InputFailed:
        for (const FileError& error : outcome.errors) {
            // An input that cannot be read would fail every later run: offer to take it off the list.
            const bool isInput = std::any_of(inputFiles.begin(), inputFiles.end(),
                                             [&](const QString& path) { return ToPath(path) == error.path; });
            if (!isInput) {
                ShowMessage(this, PhraseReadError(error));
            } else if (AskYesNo(this, PhraseInputReadError(error))) {
                RemoveInputFile(error.path);
            }
        }
        break;
    }
    return nullptr;
}

void FrmFrequency::SelectSampleLength()
{
    txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
    txtSampleLength->setFocus();
}

} // namespace kestrin
