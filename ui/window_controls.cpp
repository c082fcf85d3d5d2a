// SPDX-License-Identifier: MIT
// The window's controls as the layout makes them: its fonts, and labels, buttons, boxes and options
// with their object names, placed in twips.

#include "window_controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>

namespace kestrin {

// The window's face: a narrow sans serif, close in width to the small bitmap faces the layout was made
// for, so that the help texts fit their boxes. Sizes are in pixels, like the layout, so that text and
// boxes keep their proportions whatever the screen's dots per inch.
QFont SansFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow"),
                      QStringLiteral("Arial Narrow"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Arial")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont DialogFont()
{
    return SansFont(10); // 8 pt, a pixel smaller so that the short captions keep within their boxes
}

QFont HelpFont()
{
    return SansFont(12); // 9.75 pt, kept in the same proportion to the dialog font
}

QFont SmallFont()
{
    return SansFont(9); // 6.75 pt
}

// A caption as a label without a buddy must show it: "&&" is one "&" and a single "&" only marks the
// next letter, which such a label cannot use as an access key.
QString VisibleCaption(const QString& caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size()) {
            ++i;
        }
        shown.append(caption[i]);
    }
    return shown;
}

void SetTextColour(QWidget* widget, QColor colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QFont& font)
{
    auto* label = new QLabel(VisibleCaption(caption), parent);
    label->setObjectName(QLatin1StringView(name));
    label->setTextFormat(Qt::PlainText); // paths and help texts are never markup
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(font);
    return label;
}

QLabel* MakeHelpLabel(QWidget* parent, const char* name, const QString& caption)
{
    QLabel* label = MakeLabel(parent, name, caption, HelpFont());
    label->setWordWrap(true);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1StringView(name));
    button->setAutoDefault(false);
    return button;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1StringView(name));
    return box;
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption)
{
    auto* option = new QRadioButton(caption, parent);
    option->setObjectName(QLatin1StringView(name));
    return option;
}

QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QString& text)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1StringView(name));
    return box;
}

void Place(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

} // namespace kestrin
