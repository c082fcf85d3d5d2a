// SPDX-License-Identifier: MIT
// Qt's file dialogs, opened with the window's filter lists in the last folder used.

#include "file_dialogs.h"

#include <QFileDialog>

namespace kestrin {

namespace {

// One Qt name filter from one description and pattern pair of the window's filter lists.
QString NameFilter(QStringView description, QStringView pattern)
{
    const QString bracketed = u'(' + pattern.toString() + u')';
    QStringView name = description.trimmed();
    if (name.size() > bracketed.size() && name.endsWith(bracketed)) {
        name = name.chopped(bracketed.size()).trimmed();
    }
    const QString shown = pattern == u"*.*" ? QStringLiteral("*") : pattern.toString();
    return name.toString() + QStringLiteral(" (") + shown + u')';
}

DialogAnswer ShowDialog(QFileDialog& dialog, const FileDialogRequest& request)
{
    if (!request.folder.isEmpty()) {
        dialog.setDirectory(request.folder);
    }
    dialog.setNameFilters(request.nameFilters);
    dialog.selectNameFilter(request.selectedFilter);
    dialog.selectFile(QString());
    if (dialog.exec() != QDialog::Accepted) {
        return DialogAnswer::Cancel();
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.contains(QString())) {
        return DialogAnswer::Fail(1, QStringLiteral("The file dialog was accepted without a file name."));
    }
    return DialogAnswer::ChoseSeveral(chosen);
}

} // namespace

FileDialogRequest MakeFileDialogRequest(QStringView pairs, int selectedEntry)
{
    QList<QStringView> items = pairs.split(u'|');
    if (items.size() % 2 == 1 && items.back().isEmpty()) {
        items.pop_back(); // the bar that ends the last pattern
    }
    FileDialogRequest request;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        request.nameFilters.append(NameFilter(items[i], items[i + 1]));
    }
    if (!request.nameFilters.isEmpty()) {
        const bool inRange = selectedEntry >= 1 && selectedEntry <= request.nameFilters.size();
        request.selectedFilter = request.nameFilters[inRange ? selectedEntry - 1 : 0];
    }
    return request;
}

DialogAnswer QtFileDialogs::GetOpenFileName(QWidget* parent, const FileDialogRequest& request)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return ShowDialog(dialog, request);
}

DialogAnswer QtFileDialogs::GetOpenFileNames(QWidget* parent, const FileDialogRequest& request)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return ShowDialog(dialog, request);
}

DialogAnswer QtFileDialogs::GetSaveFileName(QWidget* parent, const FileDialogRequest& request,
                                            bool confirmOverwrite)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    return ShowDialog(dialog, request);
}

} // namespace kestrin
