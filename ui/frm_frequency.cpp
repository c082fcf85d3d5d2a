#include "frm_frequency.h"

#include "completion_line.h"
#include "file_dialogs.h"
#include "latin1.h"
#include "wrapping_check_box.h"

#include "kestrin/file_error.h"
#include "kestrin/report.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>

#include <exception>

namespace kestrin {

namespace {

const char* const messageTitle = "Kestrin";
const char* const contactAddress = "kestrin@example.org";

// The caption of lblCalc for each phase of a run.
QString PhaseCaption(const Progress& now)
{
    switch (now.phase) {
    case RunPhase::Counting:
        return QStringLiteral("Calcolo in corso... Indirizzo corrente: %1/%2:").arg(now.file).arg(now.files);
    case RunPhase::Ranking:
        return QStringLiteral("Calcolo in corso... Risultato corrente:");
    case RunPhase::Formatting:
        return QStringLiteral("Formattazione Risultati...");
    case RunPhase::WritingTable:
        return QStringLiteral("Scrittura valori nella tabella...");
    case RunPhase::Reporting:
        break;
    }
    return QStringLiteral("Generazione report...");
}

// The refusals of the sample-length list, naming the box by its caption.
QString PhraseSampleLengthRefusal(const Refusal& refusal)
{
    switch (refusal.reason) {
    case Refusal::Reason::NegativeSampleLength:
        return QStringLiteral(
                   "Lunghezza(e) campione holds the negative sample length %1: sample lengths must "
                   "be 0 or more.")
            .arg(refusal.length);
    case Refusal::Reason::OnlyZeroLength:
        return QStringLiteral(
            "Lunghezza(e) campione holds only the sample length 0: at least one length must be 1 or more.");
    default:
        return QStringLiteral(
            "Lunghezza(e) campione holds no sample length: type one or more lengths, such as "
            "1, 1-3 or 1,3,5.");
    }
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
    return text + QStringLiteral(", which the report would replace. Choose another report file.");
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

    // Focus and double-click events have no signals; the window watches for them.
    for (QObject* watched :
         std::initializer_list<QObject*>{txtSampleLength, txtTopResults, txtWriteTableRanges, lblKestrin}) {
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
    const FileDialogRequest request = MakeFileDialogRequest(QString::fromUtf8(filter), selectedEntry);
    const DialogAnswer answer = save ? dialogs->GetSaveFileName(this, request, confirmOverwrite)
                                     : dialogs->GetOpenFileName(this, request);
    switch (answer.kind) {
    case DialogAnswer::Kind::Chosen:
        path = answer.path;
        return true;
    case DialogAnswer::Kind::Cancelled:
        return false;
    case DialogAnswer::Kind::Failed:
        ShowFatalError(answer.errorNumber, answer.errorDescription);
        return false;
    }
    return false;
}

void FrmFrequency::ShowFatalError(int number, const QString& description)
{
    const QString text =
        QStringLiteral("Error: %1\r\n%2\r\n\r\nHit OK to close Kestrin. If you believe you received "
                       "this error in error please contact the creator at %3")
            .arg(number)
            .arg(description, QString::fromUtf8(contactAddress));
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Huge Error!"), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    close();
}

void FrmFrequency::cmdOpen_Click()
{
    QString path;
    if (!ChooseFile("All Files|*.*|Text Files(*.txt)|*.txt", 1, false, false, path)) {
        return;
    }
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
        ShowMessage(*refusal);
        return UnencodableDelimiterBox();
    }
    try {
        const RunOutcome outcome = RunAnalysis(std::get<RunSettings>(settings), *this);
        ShowOutcome(outcome);
        const bool lengthsRejected =
            outcome.status == RunStatus::Declined ||
            (outcome.status == RunStatus::Refused &&
             !(outcome.refusal && outcome.refusal->reason == Refusal::Reason::SameFile));
        return lengthsRejected ? txtSampleLength : nullptr;
    } catch (const std::exception& error) {
        // Out of memory on a huge request, say: the window survives and the user can ask for less.
        ShowMessage(QStringLiteral("The analysis stopped: %1").arg(QString::fromLocal8Bit(error.what())));
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
            ShowMessage(QStringLiteral("The report is ready, but this file could not be written:\n%1")
                            .arg(QString::fromLocal8Bit(Describe(error))));
        }
        break;
    case RunStatus::Declined:
        SelectSampleLength();
        break;
    case RunStatus::Refused:
        if (outcome.refusal && outcome.refusal->reason == Refusal::Reason::SameFile) {
            ShowMessage(PhraseFileClash(*outcome.refusal));
        } else {
            ShowMessage(PhraseSampleLengthRefusal(outcome.refusal.value_or(Refusal{})));
            SelectSampleLength();
        }
        break;
    case RunStatus::Cancelled:
        break;
    case RunStatus::Failed:
        ShowMessage(
            outcome.failure == Failure::OutOfMemory
                ? QStringLiteral("Not enough memory for this run: ask for fewer or shorter sample lengths, "
                                 "fewer results, or less input.")
                : QStringLiteral("The run stopped: %1").arg(QString::fromLocal8Bit(outcome.failureDetail)));
        break;
    case RunStatus::InputFailed:
        for (const FileError& error : outcome.errors) {
            ShowMessage(QStringLiteral("The analysis stopped because this file could not be read:\n%1")
                            .arg(QString::fromLocal8Bit(Describe(error))));
        }
        break;
    }
}

void FrmFrequency::SelectSampleLength()
{
    txtSampleLength->setSelection(0, static_cast<int>(txtSampleLength->text().size()));
    txtSampleLength->setFocus();
}

void FrmFrequency::ShowMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(messageTitle), text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
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
        const QString text = box->text();
        const char32_t wide = *FirstNonLatin1(text);
        const QString code = QString::number(static_cast<uint>(wide), 16).toUpper().rightJustified(4, u'0');
        return QStringLiteral("The custom comment box \"%1\" holds the character \"%2\" (U+%3), which has "
                              "no single byte. Comment delimiters can only use characters up to U+00FF.")
            .arg((box == txtBeginComment ? lblBegin : lblEnd)->text(), QString::fromUcs4(&wide, 1), code);
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
    return settings;
}

// ---- What the run tells the window ----

void FrmFrequency::ShowProgress(const Progress& now)
{
    lblCalc->setText(PhaseCaption(now));
    lblAddr->setText(now.lastResult
                         ? QStringLiteral("%1 of %2").arg(*now.lastResult).arg(FromLatin1(now.request))
                         : QString::number(now.position));
    lblMatchCount->setText(QString::number(now.matchCount));
    linCompletion->SetX2(qRound(SSTab1->width() * now.completion));
}

bool FrmFrequency::YieldAndCheckCancel()
{
    QCoreApplication::processEvents();
    return cancelRequested;
}

void FrmFrequency::WarnManyLengths(std::size_t /*count*/)
{
    ShowMessage(
        QStringLiteral("Warning: This calculation will be very lengthy since there are over ten sample "
                       "lengths to be analyzed."));
}

bool FrmFrequency::ConfirmLongLength(std::int64_t /*longest*/)
{
    QMessageBox box(
        QMessageBox::NoIcon, QString::fromUtf8(messageTitle),
        QStringLiteral("You have a sample length that's way too long. Are you sure you want to use it?"),
        QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void FrmFrequency::ResetTopResults(std::string_view text)
{
    txtTopResults->setText(FromLatin1(text));
}

void FrmFrequency::ClearUseComments()
{
    // The filter stays off for later runs, and the window shows it: unticking the box runs its handler,
    // which clears the field and disables the comment controls as a user's click would.
    chkUseComments->setChecked(false);
    useComments = false;
}

} // namespace kestrin
