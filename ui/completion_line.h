// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QWidget>

namespace kestrin {

// A straight horizontal line of fixed thickness from x = 0 to a movable end point X2, in this widget's
// coordinates. The progress page stretches it across the page; the run moves X2 to show how much of
// the current file has been read.
class CompletionLine : public QWidget
{
public:
    CompletionLine(QColor colour, int thickness, QWidget* parent);

    [[nodiscard]] int X2() const { return x2; }
    // Values outside the widget are kept; only the stretch inside is drawn.
    void SetX2(int end);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor colour;
    int thickness;
    int x2 = 0;
};

} // namespace kestrin
