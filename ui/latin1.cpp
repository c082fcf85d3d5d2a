// SPDX-License-Identifier: MIT
// The one place where the window's text and the engine's bytes meet: Latin-1 both ways, or UTF-8 when a
// run reads its text so.

#include "latin1.h"

#include <QFile>

namespace kestrin {

QString FromLatin1(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::optional<std::string> ToLatin1(const QString& text)
{
    if (FirstNonLatin1(text)) {
        return std::nullopt;
    }
    return ToLatin1Lossy(text);
}

std::string ToLatin1Lossy(const QString& text)
{
    const QByteArray bytes = text.toLatin1(); // Qt writes "?" for what Latin-1 cannot hold
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::optional<char32_t> FirstNonLatin1(const QString& text)
{
    for (const char32_t c : text.toUcs4()) {
        if (c > 0xFF) {
            return c;
        }
    }
    return std::nullopt;
}

std::string ToBytes(const QString& text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Latin1) {
        return ToLatin1Lossy(text);
    }
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString FromBytes(std::string_view bytes, TextEncoding encoding)
{
    if (encoding == TextEncoding::Latin1) {
        return FromLatin1(bytes);
    }
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString ReportForDisplay(std::string_view report, const std::vector<QString>& inputFiles,
                         TextEncoding encoding)
{
    constexpr std::string_view filenameLine = "Filename:";
    QString shown;
    // A cut report opens with its notice and an empty line; the file names follow.
    std::size_t at = report.find(filenameLine);
    if (at == std::string_view::npos || (at != 0 && !report.substr(0, at).ends_with("\r\n\r\n"))) {
        return FromBytes(report, encoding);
    }
    shown += FromBytes(report.substr(0, at), encoding);
    for (const QString& path : inputFiles) {
        const std::string line = std::string(filenameLine) + ToPath(path).string() + "\r\n";
        if (report.substr(at, line.size()) != line) {
            break;
        }
        shown += QString::fromLatin1(filenameLine.data(), static_cast<qsizetype>(filenameLine.size())) +
                 path + QStringLiteral("\r\n");
        at += line.size();
    }
    return shown + FromBytes(report.substr(at), encoding);
}

std::filesystem::path ToPath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    // QFile::encodeName undoes exactly what Qt did to the file system's bytes when it listed them.
    const QByteArray native = QFile::encodeName(path);
    return std::filesystem::path(std::string(native.constData(), static_cast<std::size_t>(native.size())));
#endif
}

} // namespace kestrin
