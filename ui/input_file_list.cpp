// SPDX-License-Identifier: MIT
// The input-file list of the first page: a one-line label that shows the chosen files, shortened to
// its room, and lets the user pick one and ask the window to remove it, from the keyboard or a menu.

#include "input_file_list.h"

#include "path_elision.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

namespace kestrin {

InputFileList::InputFileList(const QString& placeholderText, QWidget* parent)
    : QLabel(placeholderText, parent), placeholder(placeholderText)
{
    setTextFormat(Qt::PlainText); // paths are never markup
    setFocusPolicy(Qt::NoFocus);
}

void InputFileList::SetFiles(const QStringList& newPaths, int room)
{
    const bool grew = newPaths.size() > paths.size();
    paths = newPaths;
    // Two pixels spare: a label's size hint may round its text's width up.
    shown = ElidePaths(paths, fontMetrics(), room - 2);
    current = paths.isEmpty() ? -1
              : grew          ? static_cast<int>(paths.size()) - 1
                              : std::min(std::max(current, 0), static_cast<int>(paths.size()) - 1);
    setText(paths.isEmpty() ? placeholder : shown.join(pathListSeparator));
    setToolTip(paths.join(u'\n'));
    setFocusPolicy(paths.isEmpty() ? Qt::NoFocus : Qt::StrongFocus);
    adjustSize();
    update();
}

int InputFileList::StartOf(int index) const
{
    const QStringList before = shown.mid(0, index);
    return before.isEmpty()
               ? 0
               : fontMetrics().horizontalAdvance(before.join(pathListSeparator) + pathListSeparator);
}

int InputFileList::FileAt(int x) const
{
    const int left = contentsRect().left();
    for (int i = static_cast<int>(shown.size()) - 1; i >= 0; --i) {
        if (x >= left + StartOf(i)) {
            return x < left + StartOf(i) + fontMetrics().horizontalAdvance(shown[i]) + 4 ? i : -1;
        }
    }
    return -1;
}

void InputFileList::Choose(int index)
{
    if (!paths.isEmpty()) {
        current = std::clamp(index, 0, static_cast<int>(paths.size()) - 1);
        update();
    }
}

void InputFileList::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
        if (current >= 0) {
            emit RemoveFileRequested(current);
        }
        return;
    case Qt::Key_Left:
        Choose(current - 1);
        return;
    case Qt::Key_Right:
        Choose(current + 1);
        return;
    case Qt::Key_Home:
        Choose(0);
        return;
    case Qt::Key_End:
        Choose(static_cast<int>(paths.size()) - 1);
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void InputFileList::mousePressEvent(QMouseEvent* event)
{
    const int at = FileAt(event->position().toPoint().x());
    if (at >= 0) {
        Choose(at);
    }
    QLabel::mousePressEvent(event);
}

void InputFileList::contextMenuEvent(QContextMenuEvent* event)
{
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    // A click names the file under the pointer; the menu key, the file already chosen.
    if (event->reason() == QContextMenuEvent::Mouse) {
        const int at = FileAt(event->pos().x());
        if (at >= 0) {
            Choose(at);
        }
        setFocus(Qt::MouseFocusReason); // so that the file the menu acts on is framed
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuInputFiles"));
    QAction* removeOne = menu.addAction(QStringLiteral("Rimuovi file"));
    QAction* removeAll = menu.addAction(QStringLiteral("Rimuovi tutti"));
    removeOne->setToolTip(paths.value(current));
    const int chosen = current;
    const QAction* picked = menu.exec(event->globalPos());
    if (picked == removeOne) {
        emit RemoveFileRequested(chosen);
    } else if (picked == removeAll) {
        emit RemoveAllRequested();
    }
}

void InputFileList::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus() || current < 0 || current >= shown.size()) {
        return;
    }
    // Frame the chosen file, as a list frames its current item.
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    const QRect text = contentsRect();
    frame.rect = QRect(text.left() + StartOf(current), text.top(),
                       fontMetrics().horizontalAdvance(shown[current]), text.height());
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
}

} // namespace kestrin
