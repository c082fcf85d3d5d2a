// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

class QFontMetrics;

namespace kestrin {

// Fits paths into one line of a given width in pixels, as the window's file labels show them. The list
// is shown as the paths joined by ";" when that fits. Otherwise every path loses the same number of its
// leading folders, each cut marked "…" ("…/progetto/report.txt"), as few as make the line fit, so that
// each file's name stays whole. When even the bare names do not fit, each name is cut in its middle to
// an equal share of the line. An empty list gives no entries.
[[nodiscard]] QStringList ElidePaths(const QStringList& paths, const QFontMetrics& metrics, int width);

// The separator of the entries on the line.
inline constexpr char16_t pathListSeparator = u';';

} // namespace kestrin
