#include "ui/shown_name.h"

#include "text/terminal_quote.h"

#include <QByteArray>
#include <QFile>

namespace korvane::ui {

namespace {

// Characters that would break a line or turn the text around it: those a
// terminal is kept from, and the invisible direction marks besides.
bool needsEscape(char16_t c)
{
    return c < 0x20 || c == 0x7f || isHiddenControl(c) || c == 0x061c || c == 0x200e || c == 0x200f ||
           c == 0xfeff;
}

QString escaped(char16_t c)
{
    switch (c) {
    case u'\n':
        return QStringLiteral("\\n");
    case u'\r':
        return QStringLiteral("\\r");
    case u'\t':
        return QStringLiteral("\\t");
    default:
        break;
    }
    if (c < 0x100)
        return QStringLiteral("\\x%1").arg(static_cast<unsigned>(c), 2, 16, QLatin1Char('0'));
    return QStringLiteral("\\u%1").arg(static_cast<unsigned>(c), 4, 16, QLatin1Char('0'));
}

} // namespace

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString fromBytes(std::string_view text)
{
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

QString oneLineName(const QString& name, qsizetype maxChars)
{
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : name) {
        if (needsEscape(c.unicode()))
            shown += escaped(c.unicode());
        else
            shown += c;
    }
    if (shown.size() <= maxChars || maxChars < 2)
        return shown;
    qsizetype head = maxChars / 2;
    qsizetype tail = shown.size() - (maxChars - head - 1);
    // Never half a character of two code units.
    if (head > 0 && shown.at(head - 1).isHighSurrogate())
        --head;
    if (tail < shown.size() && shown.at(tail).isLowSurrogate())
        ++tail;
    return shown.left(head) + QChar(0x2026) + shown.mid(tail);
}

} // namespace korvane::ui
