// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kestrin {

// The layout is measured in twips; 15 twips make one pixel at 96 dots per inch.
constexpr int Px(int twips)
{
    return (twips + 7) / 15;
}

// The window's face: a narrow sans serif, close in width to the small bitmap faces the layout was made
// for, so that the help texts fit their boxes. Sizes are in pixels, like the layout, so that text and
// boxes keep their proportions whatever the screen's dots per inch.
[[nodiscard]] QFont SansFont(int pixelSize, bool bold = false);
[[nodiscard]] QFont DialogFont();
[[nodiscard]] QFont HelpFont();
[[nodiscard]] QFont SmallFont();
// A caption as a label without a buddy must show it: "&&" is one "&" and a single "&" only marks the
// next letter, which such a label cannot use as an access key.
[[nodiscard]] QString VisibleCaption(const QString& caption);
void SetTextColour(QWidget* widget, QColor colour);
// Controls with their object names; labels show plain text from their top left corner.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QFont& font);
QLabel* MakeHelpLabel(QWidget* parent, const char* name, const QString& caption);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption);
QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& caption);
QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& caption);
QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QString& text);
// Places a control by the layout's twips.
void Place(QWidget* control, int left, int top, int width, int height);

} // namespace kestrin
