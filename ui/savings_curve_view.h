// SPDX-License-Identifier: MIT
#pragma once

#include "kestrin/savings_curve.h"

#include <QRectF>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

class QPainter;

namespace kestrin {

// Draws the savings curve of a real-savings run into `area`: bytes against the number of entries for the
// script by longest match, the dictionary and their sum, with axes, labels and a legend. The points
// measured by encoding the script are dots, the sum's smallest point is ringed and named, and between the
// dots the script follows the choice's own running figure. Points are in entry order; none draws only the
// white ground.
void PaintSavingsCurve(QPainter& painter, const QRectF& area, const std::vector<CurvePoint>& points);

// Writes the same picture, `size` pixels, as a standalone SVG file, replacing `path` only once the whole
// picture is written. Returns the system's reason when the file could not be written, or an empty text.
[[nodiscard]] QString SaveSavingsCurveSvg(const QString& path, const std::vector<CurvePoint>& points,
                                          QSize size = {720, 480});

// The savings curve as a widget, for the curve dialog of the results page.
class SavingsCurveView : public QWidget
{
public:
    explicit SavingsCurveView(std::vector<CurvePoint> curvePoints, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override { return {720, 480}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<CurvePoint> points;
};

} // namespace kestrin
