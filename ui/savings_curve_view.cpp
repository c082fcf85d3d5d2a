// SPDX-License-Identifier: MIT
// The savings curve drawn with QPainter: on the widget of the curve dialog, and through QSvgGenerator into
// an SVG file, so that the file shows exactly what the window shows.

#include "savings_curve_view.h"

#include "window_controls.h"

#include <QBuffer>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace kestrin {

namespace {

const QColor scriptColour(0, 0, 192); // the blue of the progress line
const QColor dictionaryColour(0, 128, 0);
const QColor sumColour(128, 0, 0); // the red of the required marks
const QColor gridColour(220, 220, 220);
constexpr qreal dotRadius = 2.5;
constexpr qreal ringRadius = 6;

// The step of the axis ticks: 1, 2 or 5 times a power of ten, so that at most `most` steps cover `span`.
std::int64_t TickStep(std::int64_t span, std::int64_t most)
{
    for (std::int64_t power = 1;; power *= 10) {
        for (const std::int64_t times : {1, 2, 5}) {
            if (power * times * most >= span) {
                return power * times;
            }
        }
    }
}

QString Number(std::int64_t value)
{
    return QLocale(QLocale::Italian)
        .toString(static_cast<qlonglong>(value)); // 1.234.567, as the window reads
}

// One entry of the legend: a sample of what it names ('-' a line, '.' a dot, 'o' a ring, ' ' none), then
// its text. Returns where the next one starts.
qreal LegendEntry(QPainter& painter, QPointF at, const QString& text, const QColor& colour, char mark)
{
    const QFontMetricsF metrics(painter.font());
    const qreal middle = at.y() + metrics.ascent() - metrics.xHeight() / 2;
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::NoBrush);
    if (mark == ' ') {
        painter.setPen(Qt::black);
        painter.drawText(QPointF(at.x(), at.y() + metrics.ascent()), text);
        return at.x() + metrics.horizontalAdvance(text) + 18;
    }
    if (mark == '-') {
        painter.drawLine(QPointF(at.x(), middle), QPointF(at.x() + 20, middle));
    } else if (mark == '.') {
        painter.setBrush(colour);
        painter.drawEllipse(QPointF(at.x() + 10, middle), dotRadius, dotRadius);
    } else {
        painter.drawEllipse(QPointF(at.x() + 10, middle), ringRadius, ringRadius);
    }
    painter.setPen(Qt::black);
    painter.drawText(QPointF(at.x() + 26, at.y() + metrics.ascent()), text);
    return at.x() + 26 + metrics.horizontalAdvance(text) + 18;
}

} // namespace

void PaintSavingsCurve(QPainter& painter, const QRectF& area, const std::vector<CurvePoint>& points)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, Qt::white);
    if (points.empty()) {
        painter.restore();
        return;
    }
    painter.setFont(HelpFont());
    const QFontMetricsF metrics(painter.font());
    const qreal line = metrics.height();
    const qreal margin = 12;

    // The title, and the legend below it, on as many lines as it needs.
    QFont bold = painter.font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), area.top() + margin / 2, area.width(), line), Qt::AlignHCenter,
                     QStringLiteral("Curva dei risparmi: byte secondo il numero di voci"));
    painter.setFont(HelpFont());
    struct Entry {
        QString text;
        QColor colour;
        char mark;
    };
    std::vector<Entry> legend = {{QStringLiteral("Testo (corrispondenza più lunga)"), scriptColour, '-'},
                                 {QStringLiteral("Somma"), sumColour, '-'},
                                 {QStringLiteral("Dizionario (scala a destra)"), dictionaryColour, '-'},
                                 {QStringLiteral("testo misurato codificandolo"), Qt::black, '.'},
                                 {QStringLiteral("somma minima"), sumColour, 'o'}};
    if (std::any_of(points.begin(), points.end(), [](const CurvePoint& p) { return !p.exact; })) {
        legend.push_back({QStringLiteral("(fra i punti: il conto della scelta)"), Qt::black, ' '});
    }
    QPointF at(area.left() + margin, area.top() + margin / 2 + line * 1.5);
    for (const Entry& entry : legend) {
        if (at.x() + 26 + metrics.horizontalAdvance(entry.text) > area.right() - margin) {
            at = QPointF(area.left() + margin, at.y() + line * 1.2);
        }
        at.setX(LegendEntry(painter, at, entry.text, entry.colour, entry.mark));
    }

    // The scales. The script and the sum share the left one, from a whole tick below the smallest script
    // to one past the largest sum, so that the savings fill the height; the dictionary, far smaller, has
    // the right one, from 0, with ticks on the same grid lines.
    const auto sum = [](const CurvePoint& p) { return p.script + p.dictionary; };
    std::int64_t lastEntries = 1;
    std::int64_t low = points.front().script;
    std::int64_t high = 0;
    std::int64_t largestDictionary = 0;
    for (const CurvePoint& p : points) {
        lastEntries = std::max(lastEntries, p.entries);
        low = std::min(low, p.script);
        high = std::max(high, sum(p));
        largestDictionary = std::max(largestDictionary, p.dictionary);
    }
    const std::int64_t xStep = TickStep(lastEntries, 8);
    const std::int64_t xEnd = (lastEntries + xStep - 1) / xStep * xStep;
    const std::int64_t yStep = TickStep(high - low, 6);
    const std::int64_t yBegin = low / yStep * yStep;
    const std::int64_t ticks = std::max<std::int64_t>(1, (high - yBegin + yStep - 1) / yStep);
    const std::int64_t yEnd = yBegin + ticks * yStep;
    const std::int64_t dStep = TickStep(largestDictionary, ticks);
    const qreal leftWidth =
        std::max(metrics.horizontalAdvance(Number(yEnd)), metrics.horizontalAdvance(Number(yBegin)));
    const qreal rightWidth = metrics.horizontalAdvance(Number(dStep * ticks));
    const QRectF plot(QPointF(area.left() + margin + leftWidth + 6, at.y() + line * 2.6),
                      QPointF(area.right() - margin - rightWidth - 6, area.bottom() - margin - line * 2.2));
    const auto x = [&](std::int64_t entries) { return plot.left() + plot.width() * entries / xEnd; };
    const auto y = [&](std::int64_t bytes) {
        return plot.bottom() - plot.height() * (bytes - yBegin) / (yEnd - yBegin);
    };
    const auto yDictionary = [&](std::int64_t bytes) {
        return plot.bottom() - plot.height() * bytes / (dStep * ticks);
    };

    // The grid, the axes and their labels.
    painter.setBrush(Qt::NoBrush);
    for (std::int64_t tick = 0; tick <= ticks; ++tick) {
        const qreal level = y(yBegin + tick * yStep);
        painter.setPen(QPen(gridColour, 1));
        painter.drawLine(QPointF(plot.left(), level), QPointF(plot.right(), level));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), level - line / 2, plot.left() - 6 - area.left(), line),
                         Qt::AlignRight | Qt::AlignVCenter, Number(yBegin + tick * yStep));
        painter.setPen(dictionaryColour);
        painter.drawText(QRectF(plot.right() + 6, level - line / 2, rightWidth + 1, line),
                         Qt::AlignLeft | Qt::AlignVCenter, Number(tick * dStep));
    }
    for (std::int64_t value = 0; value <= xEnd; value += xStep) {
        painter.setPen(QPen(gridColour, 1));
        painter.drawLine(QPointF(x(value), plot.top()), QPointF(x(value), plot.bottom()));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x(value) - 60, plot.bottom() + 4, 120, line), Qt::AlignHCenter,
                         Number(value));
    }
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(plot);
    const qreal captions = plot.top() - line * 1.4;
    painter.drawText(QRectF(area.left() + margin, captions, plot.width(), line), Qt::AlignLeft,
                     QStringLiteral("Byte del testo e della somma"));
    painter.setPen(dictionaryColour);
    painter.drawText(QRectF(area.left(), captions, area.width() - margin, line), Qt::AlignRight,
                     QStringLiteral("Byte del dizionario"));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4 + line, plot.width(), line), Qt::AlignHCenter,
                     QStringLiteral("Voci"));

    // The three curves, the measured points and the smallest sum (the fewest entries among equals).
    const auto curve = [&](const QColor& colour, auto level) {
        QPainterPath path(QPointF(x(points.front().entries), level(points.front())));
        for (const CurvePoint& p : points) {
            path.lineTo(x(p.entries), level(p));
        }
        painter.setPen(QPen(colour, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    };
    curve(dictionaryColour, [&](const CurvePoint& p) { return yDictionary(p.dictionary); });
    curve(sumColour, [&](const CurvePoint& p) { return y(sum(p)); });
    curve(scriptColour, [&](const CurvePoint& p) { return y(p.script); });
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    for (const CurvePoint& p : points) {
        if (p.exact) {
            painter.drawEllipse(QPointF(x(p.entries), y(p.script)), dotRadius, dotRadius);
        }
    }
    const CurvePoint& smallest =
        *std::min_element(points.begin(), points.end(),
                          [&](const CurvePoint& a, const CurvePoint& b) { return sum(a) < sum(b); });
    const QPointF mark(x(smallest.entries), y(sum(smallest)));
    painter.setPen(QPen(sumColour, 1, Qt::DashLine));
    painter.drawLine(mark, QPointF(mark.x(), plot.bottom()));
    painter.setPen(QPen(sumColour, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(mark, ringRadius, ringRadius);
    const QString named =
        QStringLiteral("minimo: %1 byte con %2 voci").arg(Number(sum(smallest)), Number(smallest.entries));
    const qreal width = metrics.horizontalAdvance(named);
    // Centred on the mark, but inside the plot where there is room; from its left edge where there is not.
    const qreal left = std::max(plot.left() + 2, std::min(mark.x() - width / 2, plot.right() - width - 2));
    const qreal above = mark.y() - ringRadius - line - 2;
    painter.setPen(sumColour);
    painter.drawText(QRectF(left, above < plot.top() ? mark.y() + ringRadius + 2 : above, width + 1, line),
                     Qt::AlignLeft, named);
    painter.restore();
}

QString SaveSavingsCurveSvg(const QString& path, const std::vector<CurvePoint>& points, QSize size)
{
    QBuffer picture;
    picture.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&picture);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setResolution(96);
    svg.setTitle(QStringLiteral("Kestrin: curva dei risparmi"));
    svg.setDescription(
        QStringLiteral("Byte del testo, del dizionario e della loro somma secondo il numero di voci"));
    {
        QPainter painter(&svg);
        PaintSavingsCurve(painter, QRectF(QPointF(0, 0), size), points);
    }
    // QSaveFile replaces the file only once all of it is written, so a failure leaves an old picture whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(picture.data()) != picture.data().size() ||
        !file.commit()) {
        return file.errorString();
    }
    return {};
}

SavingsCurveView::SavingsCurveView(std::vector<CurvePoint> curvePoints, QWidget* parent)
    : QWidget(parent), points(std::move(curvePoints))
{
    setMinimumSize(480, 320);
}

void SavingsCurveView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    PaintSavingsCurve(painter, rect(), points);
}

} // namespace kestrin
