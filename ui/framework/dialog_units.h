#pragma once

// Dialog units: templates are laid out in units of the dialog's font, so a
// dialog keeps its proportions in any font. A horizontal unit is a quarter
// of the font's average character width, a vertical unit an eighth of its
// character height.

#include <QFont>
#include <QRect>
#include <QSize>

namespace korvane::ui {

class DialogUnits {
public:
    // baseX: average character width, baseY: character height, in pixels.
    DialogUnits(int baseX, int baseY) : baseX_(baseX), baseY_(baseY) {}

    // The average width is that of the 52 Latin letters, rounded; the
    // height is ascent plus descent.
    static DialogUnits fromFont(const QFont& font);

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    // Rounded to the nearest pixel, halves away from zero.
    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QRect toPixels(const QRect& units) const;
    QSize toPixels(const QSize& units) const;

private:
    int baseX_;
    int baseY_;
};

// The dialog font: `face` at `points` where it exists, else a Japanese
// proportional Gothic (IPAPGothic, Noto Sans CJK JP), else the system's
// font for dialogs.
QFont dialogFont(const QString& face, int points);

} // namespace korvane::ui
