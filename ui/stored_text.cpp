#include "ui/stored_text.h"

#include "text/ascii.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace korvane::ui {

namespace {

std::optional<QString> decodeStrictly(const char* encoding, std::string_view bytes)
{
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QString decodeStoredText(std::string_view bytes)
{
    bytes = bytes.substr(0, bytes.find('\0'));
    const auto size = static_cast<qsizetype>(bytes.size());
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), size);
    for (const char* encoding : {"UTF-8", "Shift_JIS", "windows-1252"}) {
        if (std::optional<QString> text = decodeStrictly(encoding, bytes))
            return *text;
    }
    return QString::fromLatin1(bytes.data(), size);
}

std::string encodePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace korvane::ui
