// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>
#include <QStringList>

namespace kestrin {

// The label that lists the input files (lblOpen): the paths joined by ";" on one line, shortened to the
// room the label has (path_elision.h), the whole list, one path a line, in its tooltip. While it lists
// files it takes the focus: Left, Right, Home and End choose a file (framed while the label has the
// focus), Delete asks to remove it, and the context menu asks to remove the file under the pointer
// ("Rimuovi file") or every file ("Rimuovi tutti"). The window owns the list; this label only shows it.
class InputFileList : public QLabel
{
    Q_OBJECT

public:
    InputFileList(const QString& placeholder, QWidget* parent);

    // Shows these paths, or the placeholder when there are none, in at most `room` pixels. The chosen
    // file stays chosen where it can, and is the last one after the list grew.
    void SetFiles(const QStringList& paths, int room);

    // The chosen file's index, -1 with no files.
    [[nodiscard]] int Current() const { return current; }

    // What each file shows on the line, in order.
    [[nodiscard]] const QStringList& Shown() const { return shown; }

signals:
    void RemoveFileRequested(int index);
    void RemoveAllRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The file whose text lies under x, in the label's coordinates; -1 past the line's end.
    [[nodiscard]] int FileAt(int x) const;
    // Where a file's text starts on the line, in pixels from the text's start.
    [[nodiscard]] int StartOf(int index) const;
    void Choose(int index);

    QString placeholder;
    QStringList paths;
    QStringList shown;
    int current = -1;
};

} // namespace kestrin
