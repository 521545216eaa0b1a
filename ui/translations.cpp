#include "ui/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace korvane::ui {

namespace {

std::unique_ptr<QTranslator> own;
std::unique_ptr<QTranslator> qtBase;

void remove(std::unique_ptr<QTranslator>& translator)
{
    if (translator)
        QCoreApplication::removeTranslator(translator.get());
    translator.reset();
}

// The catalogue for `locale` from `folder`, installed; null where none is found.
std::unique_ptr<QTranslator> load(const QLocale& locale, const QString& name, const QString& folder)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, name, QStringLiteral("_"), folder) || !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

} // namespace

QString translationsFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/korvane/translations"));
}

bool installTranslations(const QLocale& locale)
{
    remove(own);
    remove(qtBase);
    // The texts are written in English: an English locale, or C, keeps them.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return false;
    own = load(locale, QStringLiteral("korvane"), translationsFolder());
    if (own)
        qtBase = load(locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return own != nullptr;
}

} // namespace korvane::ui
