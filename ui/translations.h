#pragma once

// The dialog's language: its own catalogue korvane_<language>.qm from
// <executable>/../share/korvane/translations (the build tree's share/ next to
// bin/, or the installed /usr/share/...) and Qt's qtbase_<language>.qm for
// the standard buttons, each where it exists.

#include <QLocale>
#include <QString>

namespace korvane::ui {

// The folder the dialog's catalogues are read from.
QString translationsFolder();

// Puts the catalogues for `locale` in force in place of the ones before:
// none for an English or C locale, or where none is found, so that every
// text is shown as written. True when the dialog's own catalogue was found.
bool installTranslations(const QLocale& locale);

} // namespace korvane::ui
