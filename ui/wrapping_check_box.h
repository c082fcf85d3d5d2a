// SPDX-License-Identifier: MIT
#pragma once

#include <QCheckBox>

namespace kestrin {

// A check box whose caption wraps onto as many lines as its width needs; QCheckBox keeps its caption on
// one line. The indicator stays centred on the caption's lines, and the whole box takes clicks.
class WrappingCheckBox : public QCheckBox
{
public:
    WrappingCheckBox(const QString& caption, QWidget* parent);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    [[nodiscard]] bool hitButton(const QPoint& pos) const override;

private:
    [[nodiscard]] QRect CaptionRect() const;
};

} // namespace kestrin
