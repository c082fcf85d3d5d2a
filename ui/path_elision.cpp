// SPDX-License-Identifier: MIT
// Shortens paths for the one-line file labels of the window: whole folders are cut from the front of
// each path before any file name loses a letter.

#include "path_elision.h"

#include <QFontMetrics>

#include <algorithm>

namespace kestrin {

namespace {

const QString ellipsis = QStringLiteral("\u2026");

int LineWidth(const QStringList& entries, const QFontMetrics& metrics)
{
    return metrics.horizontalAdvance(entries.join(pathListSeparator));
}

// The path with only its last `kept` components, or the whole path when cutting would not shorten it.
QString LastComponents(const QString& path, qsizetype kept)
{
    const QStringList components = path.split(u'/');
    if (components.size() <= kept) {
        return path;
    }
    const QString cut = ellipsis + u'/' + components.sliced(components.size() - kept).join(u'/');
    return cut.size() < path.size() ? cut : path;
}

} // namespace

QStringList ElidePaths(const QStringList& paths, const QFontMetrics& metrics, int width)
{
    if (LineWidth(paths, metrics) <= width) {
        return paths;
    }
    qsizetype mostParts = 0;
    for (const QString& path : paths) {
        mostParts = std::max(mostParts, path.split(u'/').size());
    }
    QStringList entries;
    for (qsizetype kept = mostParts - 1; kept >= 1; --kept) {
        entries.clear();
        for (const QString& path : paths) {
            entries.append(LastComponents(path, kept));
        }
        if (LineWidth(entries, metrics) <= width) {
            return entries;
        }
    }
    // The bare names, each cut to its share of what the separators leave.
    const auto count = static_cast<int>(paths.size());
    const int share = std::max(0, (width - (count - 1) * metrics.horizontalAdvance(pathListSeparator)) /
                                      std::max(count, 1));
    entries.clear();
    for (const QString& path : paths) {
        const QString name = path.section(u'/', -1);
        const QString cut = metrics.elidedText(name, Qt::ElideMiddle, share);
        entries.append(cut.isEmpty() ? ellipsis : cut);
    }
    return entries;
}

} // namespace kestrin
