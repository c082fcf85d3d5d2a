// SPDX-License-Identifier: MIT
// A check box whose caption wraps over several lines, as the window's long captions need.

#include "wrapping_check_box.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace kestrin {

namespace {

constexpr int captionFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;

} // namespace

WrappingCheckBox::WrappingCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}

QRect WrappingCheckBox::CaptionRect() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    const QRect indicator = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    const int spacing = style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, this);
    QRect caption = rect();
    caption.setLeft(indicator.right() + 1 + spacing);
    return caption;
}

QSize WrappingCheckBox::sizeHint() const
{
    // As wide as the box was made; only as tall as the wrapped caption needs.
    const QRect caption = CaptionRect();
    const QRect needed =
        fontMetrics().boundingRect(QRect(0, 0, caption.width(), 10000), captionFlags, text());
    return {width(), std::max(needed.height(), QCheckBox::sizeHint().height())};
}

QSize WrappingCheckBox::minimumSizeHint() const
{
    return sizeHint();
}

void WrappingCheckBox::paintEvent(QPaintEvent* /*event*/)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);

    QStyleOptionButton indicator = option;
    indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);

    const QRect caption = CaptionRect();
    painter.drawItemText(caption, captionFlags, option.palette, isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = fontMetrics().boundingRect(caption, captionFlags, text()).adjusted(-1, 0, 1, 0);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool WrappingCheckBox::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

} // namespace kestrin
