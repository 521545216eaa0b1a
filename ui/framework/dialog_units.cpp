#include "ui/framework/dialog_units.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

namespace korvane::ui {

namespace {

// a * b / c rounded, halves away from zero.
int mulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    const long long q = product >= 0 ? (product + half) / c : (product - half) / c;
    return static_cast<int>(q);
}

} // namespace

DialogUnits DialogUnits::fromFont(const QFont& font)
{
    const QFontMetrics metrics(font);
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = metrics.horizontalAdvance(letters);
    return DialogUnits((width + 26) / 52, metrics.height());
}

int DialogUnits::toPixelsX(int units) const
{
    return mulDiv(units, baseX_, 4);
}

int DialogUnits::toPixelsY(int units) const
{
    return mulDiv(units, baseY_, 8);
}

QRect DialogUnits::toPixels(const QRect& units) const
{
    return QRect(toPixelsX(units.x()), toPixelsY(units.y()), toPixelsX(units.width()), toPixelsY(units.height()));
}

QSize DialogUnits::toPixels(const QSize& units) const
{
    return QSize(toPixelsX(units.width()), toPixelsY(units.height()));
}

QFont dialogFont(const QString& face, int points)
{
    const QStringList installed = QFontDatabase::families();
    // fontconfig may list a family under its English or its Japanese name.
    const QString candidates[] = {face, QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                                  QStringLiteral("IPA Pゴシック"), QStringLiteral("Noto Sans CJK JP")};
    for (const QString& family : candidates) {
        if (installed.contains(family)) {
            QFont font(family, points);
            font.setWeight(QFont::Normal);
            font.setItalic(false);
            return font;
        }
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

} // namespace korvane::ui
