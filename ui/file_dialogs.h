// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <utility>

class QWidget;

namespace kestrin {

// What a file dialog answered. A cancel is not a failure: the command that asked simply ends.
struct DialogAnswer {
    enum class Kind { Chosen, Cancelled, Failed };

    Kind kind = Kind::Cancelled;
    QStringList paths;        // Chosen: one path or more, exactly as and in the order the dialog gave them
    int errorNumber = 0;      // Failed: the failure's number and description, shown to the user as
    QString errorDescription; // they are

    [[nodiscard]] static DialogAnswer Chose(QString chosen) { return ChoseSeveral({std::move(chosen)}); }
    [[nodiscard]] static DialogAnswer ChoseSeveral(QStringList chosen)
    {
        return {Kind::Chosen, std::move(chosen), 0, {}};
    }
    [[nodiscard]] static DialogAnswer Cancel() { return {}; }
    [[nodiscard]] static DialogAnswer Fail(int number, QString description)
    {
        return {Kind::Failed, {}, number, std::move(description)};
    }
};

// One dialog request: the filter entries in Qt's "Description (patterns)" form, the entry that is
// selected when the dialog opens, and the folder it opens in (empty: where Qt opens it by default).
struct FileDialogRequest {
    QStringList nameFilters;
    QString selectedFilter;
    QString folder;
};

// Turns a filter list written as "description|pattern|description|pattern" into Qt's name filters, one
// per pair and in the same order, each showing its pattern once: "Text Files(*.txt)|*.txt" becomes
// "Text Files (*.txt)", since a description that already ends with its pattern in brackets loses that
// copy (other brackets stay). "*.*" becomes "*" so that "All Files" also lists names without a dot. A
// trailing "|" adds no entry. selectedEntry counts from 1; an entry out of range selects the first. The
// folder is left empty.
[[nodiscard]] FileDialogRequest MakeFileDialogRequest(QStringView pairs, int selectedEntry);

// The window asks for file names through this interface, so that tests can answer in place of a user.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;

    // A file to read. The dialog opens in request.folder when it is not empty, and never proposes an
    // earlier choice.
    [[nodiscard]] virtual DialogAnswer GetOpenFileName(QWidget* parent, const FileDialogRequest& request) = 0;

    // Files to read, one or more, with the same folder rule, in the order the dialog shows them in its
    // file-name box.
    [[nodiscard]] virtual DialogAnswer GetOpenFileNames(QWidget* parent,
                                                        const FileDialogRequest& request) = 0;

    // A file to write, with the same folder rule; confirmOverwrite asks before an existing file is chosen.
    [[nodiscard]] virtual DialogAnswer GetSaveFileName(QWidget* parent, const FileDialogRequest& request,
                                                       bool confirmOverwrite) = 0;
};

// Qt's own modal file dialog.
class QtFileDialogs final : public FileDialogs
{
public:
    [[nodiscard]] DialogAnswer GetOpenFileName(QWidget* parent, const FileDialogRequest& request) override;
    [[nodiscard]] DialogAnswer GetOpenFileNames(QWidget* parent, const FileDialogRequest& request) override;
    [[nodiscard]] DialogAnswer GetSaveFileName(QWidget* parent, const FileDialogRequest& request,
                                               bool confirmOverwrite) override;
};

} // namespace kestrin
