#include "frm_frequency.h"

#include "completion_line.h"
#include "file_dialogs.h"
#include "latin1.h"
#include "window_messages.h"
#include "window_run_observer.h"
#include "wrapping_check_box.h"

#include "kestrin/report.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
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
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <system_error>
#include <unistd.h>

namespace kestrin {

namespace {

// A refusal for the files rather than for the sample lengths.
bool IsFileClash(const RunOutcome& outcome)
{
    return outcome.refusal && outcome.refusal->reason == Refusal::Reason::SameFile;
}

// Why a dropped item cannot be an input file, in the system's words; empty when it can be one.
QString WhyNotAnInputFile(const QUrl& url)
{
    if (!url.isLocalFile()) {
        return QStringLiteral("not a local file");
    }
    const QString path = url.toLocalFile();
    int error = 0;
    if (access(QFile::encodeName(path).constData(), R_OK) != 0) {
        error = errno; // a missing file, or one that may not be read
    } else if (QFileInfo(path).isDir()) {
        error = EISDIR;
    }
    return error == 0 ? QString() : QString::fromStdString(std::generic_category().message(error));
}

} // namespace

FrmFrequency::FrmFrequency() : FrmFrequency(nullptr) {}

FrmFrequency::FrmFrequency(std::unique_ptr<FileDialogs> fileDialogs, QWidget* parent)
    : QWidget(parent), dialogs(std::move(fileDialogs))
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

void FrmFrequency::ConnectHandlers()
{
    connect(cmdBack, &QPushButton::clicked, this, &FrmFrequency::cmdBack_Click);
    connect(cmdNext, &QPushButton::clicked, this, &FrmFrequency::cmdNext_Click);
    connect(SSTab1, &QTabWidget::currentChanged, this, &FrmFrequency::SSTab1_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &FrmFrequency::cmdOpen_Click);
    connect(cmdOpenExcludeTable, &QPushButton::clicked, this, &FrmFrequency::cmdOpenExcludeTable_Click);
    connect(cmdOpenOutput, &QPushButton::clicked, this, &FrmFrequency::cmdOpenOutput_Click);
    connect(cmdOpenWriteTable, &QPushButton::clicked, this, &FrmFrequency::cmdOpenWriteTable_Click);
    connect(cmdReset, &QPushButton::clicked, this, &FrmFrequency::cmdReset_Click);
    // A check box's click event follows every change of its state, by the user or by the program.
    connect(chkUseComments, &QCheckBox::toggled, this, &FrmFrequency::chkUseComments_Click);
    connect(chkBeepOnFinish, &QCheckBox::toggled, this, &FrmFrequency::chkBeepOnFinish_Click);
    connect(cmdAnalyze, &QPushButton::clicked, this, &FrmFrequency::cmdAnalyze_Click);
    connect(escapeKey, &QShortcut::activated, cmdAnalyze, &QPushButton::click);

    // Files dropped from a file manager reach dragEnterEvent and dropEvent.
    setAcceptDrops(true);
    // Focus and double-click events have no signals, and text boxes would take a file drop as text: the
    // window watches for them.
    for (QObject* watched :
         std::initializer_list<QObject*>{txtSampleLength, txtTopResults, txtWriteTableRanges, txtBeginComment,
                                         txtEndComment, lblKestrin}) {
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
    Form_Unload();
    event->accept();
}

bool FrmFrequency::TakesDrop(const QDropEvent& event) const
{
    // The files are only read: the drop is a copy, so that a file manager never removes what it "moved".
    if (IsRunning() || !event.possibleActions().testFlag(Qt::CopyAction)) {
        return false;
    }
    const QList<QUrl> urls = event.mimeData()->urls();
    return std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

void FrmFrequency::dragEnterEvent(QDragEnterEvent* event)
{
    event->setAccepted(TakesDrop(*event));
    event->setDropAction(Qt::CopyAction);
}

void FrmFrequency::dropEvent(QDropEvent* event)
{
    if (!TakesDrop(*event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QStringList refused;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString reason = WhyNotAnInputFile(url);
        if (reason.isEmpty()) {
            AddInputFile(url.toLocalFile());
        } else {
            refused.append((url.isLocalFile() ? url.toLocalFile() : url.toDisplayString()) +
                           QStringLiteral(": ") + reason);
        }
    }
    if (!refused.isEmpty()) {
        // The file manager waits until the drop returns; the message must not keep it waiting.
        QTimer::singleShot(0, this, [this, refused] { ShowMessage(this, PhraseDropRefused(refused)); });
    }
}

// ---- Load, unload, reset and the option switches ----

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

void FrmFrequency::Form_Unload()
{
    // Every file the engine opens is closed by the operation that opened it, so no file is left open.
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
    SetAutoSizeCaption(lblOpen, QString::fromUtf8(noFileCaption));
    txtSampleLength->setText(QStringLiteral("1"));
    txtTopResults->setText(QStringLiteral("25"));
    SetAutoSizeCaption(lblOpenOutput, QString::fromUtf8(noFileCaption));
    chkBeepOnFinish->setChecked(false);
    chkRealSavings->setChecked(false);
    SetAutoSizeCaption(lblOpenWriteTable, QString::fromUtf8(noFileCaption));
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
    SetAutoSizeCaption(lblOpenExcludeTable, QString::fromUtf8(noFileCaption));
    chkIgnoreSpace->setChecked(false);
    chkIgnoreReturn->setChecked(false);
    chkIgnoreTab->setChecked(false);
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
    static constexpr bool backEnabled[] = {false, true, true, false, true};
    static constexpr bool nextEnabled[] = {true, true, false, false, false};
    const int page = SSTab1->currentIndex();
    if (page < 0 || page > resultsPage) {
        return;
    }
    cmdBack->setEnabled(backEnabled[page]);
    cmdNext->setEnabled(nextEnabled[page]);
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

// ---- File choosers ----

bool FrmFrequency::ChooseFile(const char* filter, int selectedEntry, bool save, bool confirmOverwrite,
                              QString& path)
{
    FileDialogRequest request = MakeFileDialogRequest(QString::fromUtf8(filter), selectedEntry);
    request.folder = lastFolder;
    const DialogAnswer answer = save ? dialogs->GetSaveFileName(this, request, confirmOverwrite)
                                     : dialogs->GetOpenFileName(this, request);
    switch (answer.kind) {
    case DialogAnswer::Kind::Chosen:
        path = answer.path;
        lastFolder = QFileInfo(path).absolutePath();
        return true;
    case DialogAnswer::Kind::Cancelled:
        return false;
    case DialogAnswer::Kind::Failed:
        ShowFatalError(this, answer.errorNumber, answer.errorDescription);
        close();
        return false;
    }
    return false;
}

void FrmFrequency::cmdOpen_Click()
{
    QString path;
    if (ChooseFile("All Files|*.*|Text Files(*.txt)|*.txt", 1, false, false, path)) {
        AddInputFile(path);
    }
}

void FrmFrequency::AddInputFile(const QString& path)
{
    // Each engine operation closes the files it opens, so there are no files left to close here.
    inputFiles.push_back(path);
    cmdAnalyze->setEnabled(true);
    SetAutoSizeCaption(lblOpen, inputFiles.size() == 1 ? path : lblOpen->text() + u';' + path);
}

void FrmFrequency::cmdOpenExcludeTable_Click()
{
    QString path;
    if (ChooseFile("All Files|*.*|Table Files(*.tbl)|*.tbl", 2, false, false, path)) {
        exclusionTablePath = path;
        useExclusionTable = true;
        SetAutoSizeCaption(lblOpenExcludeTable, path);
    }
}

void FrmFrequency::cmdOpenOutput_Click()
{
    // The report file is replaced by every run, so choosing an existing one asks first.
    QString path;
    if (ChooseFile("All Files|*.*|Text Files(*.txt)|*.txt|", 2, true, true, path)) {
        reportFilePath = path;
        writeReportFile = true;
        SetAutoSizeCaption(lblOpenOutput, path);
    }
}

void FrmFrequency::cmdOpenWriteTable_Click()
{
    // Runs append to the output table, so an existing table is the usual choice and needs no warning.
    QString path;
    if (ChooseFile("All Files|*.*|Table Files(*.tbl)|*.tbl", 2, true, false, path)) {
        outputTablePath = path;
        writeOutputTable = true;
        SetAutoSizeCaption(lblOpenWriteTable, path);
    }
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
        // No run started: the user goes straight to the comment box that holds what cannot be used.
        SSTab1->setCurrentIndex(formattingPage);
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

QLineEdit* FrmFrequency::UnencodableDelimiterBox() const
{
    if (!useComments || !optCustom->isChecked()) {
        return nullptr; // the boxes are not read
    }
    for (QLineEdit* box : {txtBeginComment, txtEndComment}) {
        if (FirstNonLatin1(box->text())) {
            return box;
        }
    }
    return nullptr;
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
        const RunOutcome outcome = RunAnalysis(std::get<RunSettings>(settings), observer);
        ShowOutcome(outcome);
        const bool lengthsRejected = outcome.status == RunStatus::Declined ||
                                     (outcome.status == RunStatus::Refused && !IsFileClash(outcome));
        return lengthsRejected ? txtSampleLength : nullptr;
    } catch (const std::exception& error) {
        // Out of memory on a huge request, say: the window survives and the user can ask for less.
        ShowMessage(this, PhraseUnexpectedStop(error.what()));
        return nullptr;
    }
}

void FrmFrequency::ShowOutcome(const RunOutcome& outcome)
{
    switch (outcome.status) {
    case RunStatus::Completed:
        txtResults->setPlainText(ReportForDisplay(TruncateForDisplay(outcome.report), inputFiles));
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
        break;
    case RunStatus::Refused:
        ShowMessage(this, PhraseRefusal(outcome.refusal.value_or(Refusal{})));
        if (!IsFileClash(outcome)) {
            SelectSampleLength();
        }
        break;
    case RunStatus::Cancelled:
        break;
    case RunStatus::Failed:
        ShowMessage(this, PhraseFailure(outcome.failure, outcome.failureDetail));
        break;
    case RunStatus::InputFailed:
        for (const FileError& error : outcome.errors) {
            ShowMessage(this, PhraseReadError(error));
        }
        break;
    }
}

void FrmFrequency::SelectSampleLength()
{
    txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
    txtSampleLength->setFocus();
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
    settings.beginComment = ToLatin1Lossy(txtBeginComment->text());
    settings.endComment = ToLatin1Lossy(txtEndComment->text());
    settings.readInsideComments = chkReadInsideComments->isChecked();

    settings.ignoreSpace = chkIgnoreSpace->isChecked();
    settings.ignoreReturn = chkIgnoreReturn->isChecked();
    settings.ignoreTab = chkIgnoreTab->isChecked();

    if (useExclusionTable) {
        settings.exclusionTable = ToPath(exclusionTablePath);
    }
    if (writeReportFile) {
        settings.reportFile = ToPath(reportFilePath);
    }
    if (writeOutputTable) {
        settings.outputTable = ToPath(outputTablePath);
    }
    settings.writeTableRanges = ToLatin1Lossy(txtWriteTableRanges->text());
    settings.beepOnFinish = beepOnFinish;
    settings.realSavings = chkRealSavings->isChecked();
    return settings;
}

} // namespace kestrin
