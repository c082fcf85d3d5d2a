// SPDX-License-Identifier: MIT
// The progress bar of the progress page: a line drawn from the left edge to a point that moves as the
// current file is read.

#include "completion_line.h"

#include <QPainter>

#include <algorithm>

namespace kestrin {

CompletionLine::CompletionLine(QColor lineColour, int lineThickness, QWidget* parent)
    : QWidget(parent), colour(lineColour), thickness(lineThickness)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CompletionLine::SetX2(int end)
{
    if (end != x2) {
        x2 = end;
        update();
    }
}

void CompletionLine::paintEvent(QPaintEvent* /*event*/)
{
    const int end = std::min(x2, width());
    if (end <= 0) {
        return;
    }
    QPainter painter(this);
    painter.fillRect(0, (height() - thickness) / 2, end, thickness, colour);
}

} // namespace kestrin
