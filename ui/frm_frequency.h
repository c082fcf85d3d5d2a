// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/run_analysis.h"
#include "kestrin/run_settings.h"

#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QDropEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QShortcut;
class QTabWidget;

namespace kestrin {

class CompletionLine;
class FileDialogs;
class InputFileList;
class WrappingCheckBox;

// The Kestrin window: a six-page wizard (input, output, formatting, dictionary, progress, results) whose
// controls hold every setting of a run. The run itself is the engine's RunAnalysis, called on this window's
// thread; a WindowRunObserver shows its progress and handles the window's events whenever it yields.
//
// The controls, their captions and geometry are made in frm_frequency_layout.cpp; the file commands,
// drops, the input list and the path labels are in frm_frequency_files.cpp; ReadSettings and the
// controls of the game's characters are in frm_frequency_settings.cpp; the other handlers, the focus
// order and the outcomes are in frm_frequency.cpp, with the savings curve's dialog.
class FrmFrequency : public QWidget
{
    Q_OBJECT

public:
    // The file commands ask through Qt's file dialog.
    FrmFrequency();
    // The file commands ask through dialogs; null uses Qt's file dialog.
    explicit FrmFrequency(std::unique_ptr<FileDialogs> dialogs, QWidget* parent = nullptr);
    ~FrmFrequency() override;

    // The settings of a run as the controls and the window's fields hold them now. A delimiter that
    // the custom comment style would use and that cannot become bytes (a character above U+00FF while
    // Codifica is Latin-1) gives, instead, the message that refuses the run.
    [[nodiscard]] std::variant<RunSettings, QString> ReadSettings() const;

    // Whether a run is working (cmdAnalyze is then the button that Escape presses).
    [[nodiscard]] bool IsRunning() const;

    // Shows how a run ended: the report (decoded in the encoding that Codifica chooses), messages, and
    // the sample lengths selected after a No or a refusal of them. Returns the box the user has to
    // correct (see BoxToCorrect), or null.
    QWidget* ShowOutcome(const RunOutcome& outcome);

    // What Analizza and Valuta run; RunAnalysis unless a test stands in for the engine.
    using Analysis = std::function<RunOutcome(const RunSettings&, RunObserver&)>;
    void SetAnalysis(Analysis analysis);

    // Adds input files as Apri and a drop add them (files given on the command line): the files a run
    // could read, in order; the others are named, with the reason, in a message shown once the caller
    // has returned to the event loop.
    void AddInputFiles(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Tab and Shift+Tab go round the window's focus order: the page headers, the shown page's controls,
    // then the buttons below; controls that are disabled or on another page are passed over.
    bool focusNextPrevChild(bool next) override;
    void closeEvent(QCloseEvent* event) override;
    // Files dropped from a file manager are input files, added as Apri adds them, while no run works.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    static constexpr int dictionaryPage = 3;
    static constexpr int analysisPage = 4;
    static constexpr int resultsPage = 5;
    static constexpr const char* noFileCaption = "--Nessun file specificato--";

    // The layout: the window itself and every control with its start state. A page is built group by
    // group in a fixed order, which is its controls' stacking order.
    void CreateControls();
    void CreateInputPage(QWidget* page);
    void CreateOutputPage(QWidget* page);
    void CreateTopResultsControls(QWidget* page);
    void CreateFileOutputHelp(QWidget* page);     // the help of the report file, real savings, table
    void CreateFileOutputChoosers(QWidget* page); // the buttons, ranges and paths of those files
    void CreateBeepControls(QWidget* page);
    void CreateFormattingPage(QWidget* page);
    void CreateCommentFrame(QWidget* page); // the frame, its help text and its caption check box
    void CreateCommentStyles();             // the controls inside the frame
    void CreateExclusionTableControls(QWidget* page);
    void CreateIgnoreControls(QWidget* page);
    void CreateCharacterControls(QWidget* page); // Codifica and the game's character table
    void CreateDictionaryBytesControls(QWidget* page);
    void CreateDictionaryPage(QWidget* page); // Dizionario: the settings of the translator's loop
    void CreateEvaluateControls(QWidget* page);
    void CreateKeepControls(QWidget* page);
    void CreateCurveControls(QWidget* page); // the entry overhead and the savings curve
    void CreatePreviewControls(QWidget* page);
    // A file box of the Dizionario page at `top`: its command, a ✕ that clears it, the chosen path below
    // them and the help beside.
    struct ClearableFile {
        QPushButton* open;
        QPushButton* clear;
        QLabel* path;
    };
    ClearableFile MakeClearableFile(QWidget* page, const char* name, const QString& caption,
                                    const QString& clearName, const QString& clearTip, const QString& help,
                                    int top);
    // A file command's help text (also its controls' tooltip), placed on the page.
    void MakeDictionaryHelp(QWidget* page, const char* name, const QString& text, int top, int height,
                            const QList<QWidget*>& controls);
    void CreateAnalysisPage(QWidget* page);
    void CreateResultsPage(QWidget* page);
    void FitOneLineCaptions();
    void SetFocusOrder();

    // Places a page's control at the given twips, measured from the tab control's corner.
    void PlaceOnPage(QWidget* control, int left, int top, int width, int height) const;
    // The red "*" beside a required input, lblRequired_N, sized to its text.
    void MakeRequiredMarker(QWidget* page, std::size_t index, int left, int top);
    // A label that shows a chosen file's path, sized to its placeholder until a file is chosen.
    QLabel* MakePathCaption(QWidget* page, const char* name, int left, int top) const;
    // The width a one-line label may grow to, in pixels: up to the pages' right margin, or to the
    // nearest control shown to its right on its line.
    [[nodiscard]] int RoomOf(const QWidget* label) const;
    // Shows a path on a label that sizes itself to its text, shortened to its room (the full path in
    // the tooltip); an empty path shows the placeholder.
    void ShowPath(QLabel* label, const QString& path);

    // The handlers, connected in one place, and what they share.
    void ConnectHandlers();
    void Form_Load();
    void cmdBack_Click();
    void cmdNext_Click();
    void SSTab1_Click(int currentPage); // the page just shown
    void txtSampleLength_GotFocus();
    void txtTopResults_GotFocus();
    void txtWriteTableRanges_GotFocus();
    void cmdOpen_Click();
    void cmdOpenExcludeTable_Click();
    void cmdOpenOutput_Click();
    void cmdOpenWriteTable_Click();
    void cmdOpenGameTable_Click();
    void cmdOpenEvaluateTable_Click();
    void cmdEvaluate_Click();
    void cmdOpenKeepTable_Click();
    void cmdClearKeepTable_Click();
    void cmdOpenEncodingPreview_Click();
    void cmdClearEncodingPreview_Click();
    void cmdCurve_Click();
    void cmdSaveCurve_Click();
    void chkRealSavings_Click();
    void cmdReset_Click();
    void ResetCharacterControls();
    void ResetDictionaryControls();
    // Valuta needs an input file and a table to evaluate; a file's ✕ button, the file.
    void EnableDictionaryCommands();
    void chkUseComments_Click();
    void chkBeepOnFinish_Click();
    void lblKestrin_DblClick();
    void cmdAnalyze_Click();
    void EnableControls(bool idle);

    // The input files: adding one that a run could read (or adding its refusal, "path: reason", to
    // those that one message names), removing one, every file with a path, or all of them, and showing
    // the list. Removals leave every other setting as it is; without files Analizza is disabled again.
    void AddInputFile(const QString& path, QStringList& refused);
    void ShowRefusedInputs(const QStringList& refused);
    void RemoveInputFile(int index);
    void RemoveInputFile(const std::filesystem::path& path);
    void RemoveAllInputFiles();
    void InputFilesRemoved();
    void ShowInputFiles();
    // Whether a drag may drop here: it carries a local file, may be a copy, and no run works.
    [[nodiscard]] bool TakesDrop(const QDropEvent& event) const;

    // The file-dialog steps the file commands share: the chosen paths, in the dialog's order, or
    // none when the dialog was cancelled or failed (a failure has shown the fatal-error message and
    // closed the window). The dialog opens in the folder of the last file chosen through any of them.
    enum class DialogKind {
        Open,        // one file to read
        OpenSeveral, // files to read, one or more
        Replace,     // a file to write that each run replaces: an existing one is confirmed
        Append,      // a file to write that runs append to
    };
    [[nodiscard]] QStringList ChooseFiles(const char* filter, int selectedEntry, DialogKind kind);
    // Asks for the one file of an option (its filter's second entry selected); a file chosen becomes
    // `path`, switches the option on through `use` and shows on `label`.
    void ChooseOneFile(const char* filter, DialogKind kind, QString& path, bool& use, QLabel* label);
    // Forgets the file of an option: the option is off again and `label` shows that no file is chosen.
    void ClearOneFile(QString& path, bool& use, QLabel* label);
    // Runs with the current settings and reports how the run ended. Returns the box the user has to
    // correct (the sample lengths after a No, a comment box that holds a character without a byte, or
    // the box of a refusal: see BoxToCorrect), or null when the results are next.
    [[nodiscard]] QWidget* RunAndShowOutcome();
    // The custom comment box in use that holds a character above U+00FF while Codifica is Latin-1, or
    // null.
    [[nodiscard]] QLineEdit* UnencodableDelimiterBox() const;
    [[nodiscard]] TextEncoding ChosenEncoding() const;
    // The box or button to correct after a refusal: the sample lengths for theirs, the dictionary bytes,
    // Codifica for text that is not valid in it, the game table's button for a table that cannot be
    // used or text it does not hold; null for a clash of files, which the results page explains.
    [[nodiscard]] QWidget* BoxToCorrect(const Refusal& refusal) const;
    // The progress page as a run starts: no file, no position, no strings, an empty bar.
    void ClearProgress();
    // The savings curve of the last completed run, offered by cmdCurve on the results page; none hides it.
    void ShowCurve(const std::vector<CurvePoint>& points);
    void SelectSampleLength();
    void SetTabControlEnabled(bool enabled);
    [[nodiscard]] QList<QWidget*> CommentControls() const;

    std::unique_ptr<FileDialogs> dialogs;
    Analysis analysis;

    // Window-level fields: the file paths with their flags, the switches, and the cancel request.
    std::vector<QString> inputFiles;
    QString exclusionTablePath;
    QString reportFilePath;
    QString outputTablePath;
    QString gameTablePath;
    QString evaluateTablePath;
    QString keepTablePath;
    QString encodingPreviewPath;
    bool useExclusionTable = false;
    bool useGameTable = false;
    bool useEvaluateTable = false;
    bool useKeepTable = false;
    bool writeEncodingPreview = false;
    bool evaluating = false; // Valuta started the run: it judges the table to evaluate
    bool writeReportFile = false;
    bool writeOutputTable = false;
    bool useComments = false;
    bool beepOnFinish = false;
    bool cancelRequested = false;
    bool closeAfterRun = false; // the window was closed during a run
    QString lastFolder;         // of the last file chosen by a dialog; kept by Reset

    // Where page coordinates start inside SSTab1, and where the pages' controls end on the right, in
    // pixels.
    QPoint pageOrigin;
    int pageRight = 0;
    // The controls that Tab visits, in order, whether or not they may take the focus now.
    QList<QWidget*> focusOrder;

    QTabWidget* SSTab1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* cmdReset = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdAnalyze = nullptr;
    QShortcut* escapeKey = nullptr; // makes cmdAnalyze the cancel button while enabled
    QShortcut* quitKey = nullptr;   // Ctrl+Q closes the window, as its close button does

    // Page 0, input.
    QLabel* lblInfoWelcome = nullptr;
    QLabel* lblKestrin = nullptr;
    QPushButton* cmdOpen = nullptr;
    QLabel* lblInfoOpen = nullptr;
    QLabel* Label1 = nullptr;
    InputFileList* lblOpen = nullptr;
    QLabel* lblSampleSize = nullptr;
    QLineEdit* txtSampleLength = nullptr;
    QLabel* lblInfoSampleLength = nullptr;
    QLabel* lblInfoRequired = nullptr;
    std::array<QLabel*, 4> lblRequired{};

    // Page 1, output.
    QLabel* lblInfoTopResults = nullptr;
    QLabel* lblTop = nullptr;
    QLineEdit* txtTopResults = nullptr;
    QLabel* lblResults = nullptr;
    QLabel* lblInfoOpenOutput = nullptr;
    QLabel* lblInfoOpenWriteTable = nullptr;
    QLabel* lblWriteTableRanges = nullptr;
    QPushButton* cmdOpenOutput = nullptr;
    QPushButton* cmdOpenWriteTable = nullptr;
    QLineEdit* txtWriteTableRanges = nullptr;
    QLabel* lblOpenOutput = nullptr;
    QLabel* lblOpenWriteTable = nullptr;
    QCheckBox* chkBeepOnFinish = nullptr;
    QCheckBox* chkRealSavings = nullptr;
    QLabel* lblInfoRealSavings = nullptr;
    QLabel* lblInfoBeepOnFinish = nullptr;
    QLabel* lblDictionaryBytes = nullptr;
    QLineEdit* txtDictionaryBytes = nullptr; // beside chkRealSavings, which enables it

    // Page 2, formatting, with the comment frame.
    QGroupBox* fraComments = nullptr;
    QCheckBox* chkUseComments = nullptr;
    QLabel* lblInfoOpenExcludeTable = nullptr;
    QPushButton* cmdOpenExcludeTable = nullptr;
    QLabel* lblOpenExcludeTable = nullptr;
    QCheckBox* chkIgnoreSpace = nullptr;
    QLabel* lblInfoIgnores = nullptr;
    QCheckBox* chkIgnoreReturn = nullptr;
    QCheckBox* chkIgnoreTab = nullptr;
    QLabel* lblInfoComments = nullptr;
    QLabel* lblBegin = nullptr;
    QLabel* lblEnd = nullptr;
    QRadioButton* optC = nullptr;
    QLabel* lblCEnd = nullptr;
    QRadioButton* optCPP = nullptr;
    QLabel* lblCPPEnd = nullptr;
    QRadioButton* optThingy = nullptr;
    QLabel* lblThingyEnd = nullptr;
    QRadioButton* optCustom = nullptr;
    QLineEdit* txtBeginComment = nullptr;
    QLineEdit* txtEndComment = nullptr;
    WrappingCheckBox* chkReadInsideComments = nullptr;
    QLabel* lblEncoding = nullptr;
    QComboBox* cmbEncoding = nullptr; // Latin-1, UTF-8
    QPushButton* cmdOpenGameTable = nullptr;
    QLabel* lblOpenGameTable = nullptr;

    // Page 3, the dictionary: the table to evaluate, the kept entries, the entry overhead, the savings
    // curve and the encoding preview. All but the table to evaluate and the preview count only with
    // Risparmio reale, which enables them.
    QLabel* lblInfoEvaluateTable = nullptr;
    QPushButton* cmdOpenEvaluateTable = nullptr;
    QPushButton* cmdEvaluate = nullptr;
    QLabel* lblOpenEvaluateTable = nullptr;
    QLabel* lblInfoKeepTable = nullptr;
    QPushButton* cmdOpenKeepTable = nullptr;
    QPushButton* cmdClearKeepTable = nullptr;
    QLabel* lblOpenKeepTable = nullptr;
    QLabel* lblInfoEntryOverhead = nullptr;
    QLabel* lblEntryOverhead = nullptr;
    QLineEdit* txtEntryOverhead = nullptr;
    QLabel* lblInfoSavingsCurve = nullptr;
    QCheckBox* chkSavingsCurve = nullptr;
    QLabel* lblInfoEncodingPreview = nullptr;
    QPushButton* cmdOpenEncodingPreview = nullptr;
    QPushButton* cmdClearEncodingPreview = nullptr;
    QLabel* lblOpenEncodingPreview = nullptr;

    // Page 4, the progress of a run.
    QLabel* lblCalc = nullptr;
    QLabel* lblAddr = nullptr;
    QLabel* lblMatches = nullptr;
    QLabel* lblMatchCount = nullptr;
    CompletionLine* linCompletion = nullptr;

    // Page 5, the report, and below it the savings curve's command and dialog.
    QPlainTextEdit* txtResults = nullptr;
    QPushButton* cmdCurve = nullptr; // shown on the results page while the last run has a curve
    std::vector<CurvePoint> curve;
    QDialog* curveDialog = nullptr; // made by cmdCurve for the curve of the last run
};

} // namespace kestrin
