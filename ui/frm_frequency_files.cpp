// SPDX-License-Identifier: MIT
// The window's files: the file commands (inputs, exclusion table, report file, output table, game's
// character table, and on the Dizionario page the table to evaluate, the kept entries and the encoding
// preview) and their dialogs, files dropped from a file manager or given on the command
// line (refused, with the reason, when a run could not read them), the input-file list with its
// removals, and the labels that show the chosen paths, shortened to the room the layout leaves them.

#include "file_dialogs.h"
#include "frm_frequency.h"
#include "input_file_list.h"
#include "latin1.h"
#include "path_elision.h"
#include "window_messages.h"

#include "kestrin/file_error.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace kestrin {

// ---- Dropped files ----

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
        if (url.isLocalFile()) {
            AddInputFile(url.toLocalFile(), refused);
        } else {
            refused.append(url.toDisplayString() + QStringLiteral(": not a local file"));
        }
    }
    ShowRefusedInputs(refused);
}

// ---- Input files ----

void FrmFrequency::AddInputFiles(const QStringList& paths)
{
    QStringList refused;
    for (const QString& path : paths) {
        AddInputFile(path, refused);
    }
    ShowRefusedInputs(refused);
}

void FrmFrequency::ShowRefusedInputs(const QStringList& refused)
{
    if (!refused.isEmpty()) {
        // A file manager waits until its drop returns; the message must not keep it waiting.
        QTimer::singleShot(0, this, [this, refused] { ShowMessage(this, PhraseNotAddedAsInput(refused)); });
    }
}

void FrmFrequency::AddInputFile(const QString& path, QStringList& refused)
{
    // The engine says which files a run could not read, in the words the run would use.
    if (const std::optional<FileError> error = CheckInputFile(ToPath(path))) {
        refused.append(path + QStringLiteral(": ") + QString::fromLocal8Bit(error->reason));
        return;
    }
    inputFiles.push_back(path);
    cmdAnalyze->setEnabled(true);
    EnableDictionaryCommands();
    ShowInputFiles();
}

void FrmFrequency::RemoveInputFile(int index)
{
    if (IsRunning() || index < 0 || static_cast<std::size_t>(index) >= inputFiles.size()) {
        return;
    }
    inputFiles.erase(inputFiles.begin() + index);
    InputFilesRemoved();
}

void FrmFrequency::RemoveInputFile(const std::filesystem::path& path)
{
    std::erase_if(inputFiles, [&](const QString& file) { return ToPath(file) == path; });
    InputFilesRemoved();
}

void FrmFrequency::RemoveAllInputFiles()
{
    if (!IsRunning()) {
        inputFiles.clear();
        InputFilesRemoved();
    }
}

void FrmFrequency::InputFilesRemoved()
{
    // Without a file there is nothing to analyse, as after Reset; every other setting stays.
    cmdAnalyze->setEnabled(!inputFiles.empty());
    EnableDictionaryCommands();
    const bool hadFocus = focusWidget() == lblOpen; // also while its context menu is open
    ShowInputFiles();
    if (hadFocus && inputFiles.empty()) {
        cmdOpen->setFocus();
    }
}

void FrmFrequency::ShowInputFiles()
{
    QStringList paths;
    for (const QString& path : inputFiles) {
        paths.append(path);
    }
    lblOpen->SetFiles(paths, RoomOf(lblOpen));
}

// ---- Path labels ----

int FrmFrequency::RoomOf(const QWidget* label) const
{
    // The label may reach the pages' right margin, or the nearest control shown beside it on its line.
    constexpr int gap = 6;
    int right = pageRight;
    const QRect line = label->geometry();
    for (const QWidget* other : label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const QRect box = other->geometry();
        if (other != label && !other->isHidden() && box.left() > line.left() && box.top() < line.bottom() &&
            box.bottom() > line.top()) {
            right = std::min(right, box.left() - gap);
        }
    }
    return right - line.left();
}

void FrmFrequency::ShowPath(QLabel* label, const QString& path)
{
    // Two pixels spare: a label's size hint may round its text's width up.
    const QStringList shown = ElidePaths({path}, label->fontMetrics(), RoomOf(label) - 2);
    label->setText(path.isEmpty() ? QString::fromUtf8(noFileCaption) : shown.front());
    label->setToolTip(path);
    label->adjustSize();
}

// ---- File choosers ----

QStringList FrmFrequency::ChooseFiles(const char* filter, int selectedEntry, DialogKind kind)
{
    FileDialogRequest request = MakeFileDialogRequest(QString::fromUtf8(filter), selectedEntry);
    request.folder = lastFolder;
    const DialogAnswer answer = kind == DialogKind::OpenSeveral ? dialogs->GetOpenFileNames(this, request)
                                : kind == DialogKind::Open
                                    ? dialogs->GetOpenFileName(this, request)
                                    : dialogs->GetSaveFileName(this, request, kind == DialogKind::Replace);
    switch (answer.kind) {
    case DialogAnswer::Kind::Chosen:
        lastFolder = QFileInfo(answer.paths.front()).absolutePath();
        return answer.paths;
    case DialogAnswer::Kind::Cancelled:
        return {};
    case DialogAnswer::Kind::Failed:
        ShowFatalError(this, answer.errorNumber, answer.errorDescription);
        close();
        return {};
    }
    return {};
}

void FrmFrequency::cmdOpen_Click()
{
    // Several files may be chosen at once; they are added in the order the dialog gives them, and what
    // a run could not read is refused as a drop refuses it.
    AddInputFiles(ChooseFiles("All Files|*.*|Text Files(*.txt)|*.txt", 1, DialogKind::OpenSeveral));
}

void FrmFrequency::ChooseOneFile(const char* filter, DialogKind kind, QString& path, bool& use, QLabel* label)
{
    const QStringList chosen = ChooseFiles(filter, 2, kind);
    if (!chosen.isEmpty()) {
        path = chosen.front();
        use = true;
        ShowPath(label, path);
    }
}

void FrmFrequency::ClearOneFile(QString& path, bool& use, QLabel* label)
{
    path.clear();
    use = false;
    ShowPath(label, {});
    EnableDictionaryCommands();
}

void FrmFrequency::cmdOpenExcludeTable_Click()
{
    ChooseOneFile("All Files|*.*|Table Files(*.tbl)|*.tbl", DialogKind::Open, exclusionTablePath,
                  useExclusionTable, lblOpenExcludeTable);
}

void FrmFrequency::cmdOpenOutput_Click()
{
    // The report file is replaced by every run, so choosing an existing one asks first.
    ChooseOneFile("All Files|*.*|Text Files(*.txt)|*.txt|", DialogKind::Replace, reportFilePath,
                  writeReportFile, lblOpenOutput);
}

void FrmFrequency::cmdOpenWriteTable_Click()
{
    // Runs append to the output table, so an existing table is the usual choice and needs no warning.
    ChooseOneFile("All Files|*.*|Table Files(*.tbl)|*.tbl", DialogKind::Append, outputTablePath,
                  writeOutputTable, lblOpenWriteTable);
}

void FrmFrequency::cmdOpenGameTable_Click()
{
    ChooseOneFile("All Files|*.*|Table Files(*.tbl)|*.tbl", DialogKind::Open, gameTablePath, useGameTable,
                  lblOpenGameTable);
}

void FrmFrequency::cmdOpenEvaluateTable_Click()
{
    ChooseOneFile("All Files|*.*|Table Files(*.tbl)|*.tbl", DialogKind::Open, evaluateTablePath,
                  useEvaluateTable, lblOpenEvaluateTable);
    EnableDictionaryCommands();
}

void FrmFrequency::cmdOpenKeepTable_Click()
{
    ChooseOneFile("All Files|*.*|Table Files(*.tbl)|*.tbl", DialogKind::Open, keepTablePath, useKeepTable,
                  lblOpenKeepTable);
    EnableDictionaryCommands();
}

void FrmFrequency::cmdClearKeepTable_Click()
{
    ClearOneFile(keepTablePath, useKeepTable, lblOpenKeepTable);
}

void FrmFrequency::cmdOpenEncodingPreview_Click()
{
    // Every run that writes the preview replaces it, as it does the report file.
    ChooseOneFile("All Files|*.*|Text Files(*.txt)|*.txt", DialogKind::Replace, encodingPreviewPath,
                  writeEncodingPreview, lblOpenEncodingPreview);
    EnableDictionaryCommands();
}

void FrmFrequency::cmdClearEncodingPreview_Click()
{
    ClearOneFile(encodingPreviewPath, writeEncodingPreview, lblOpenEncodingPreview);
}

} // namespace kestrin
