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
