#include "ui/translations.h"

#include "text/message.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

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
    if (!translator->load(locale, name, QStringLiteral("_"), folder) ||
        !QCoreApplication::installTranslator(translator.get()))
        return nullptr;
    return translator;
}

// The core's sentences: korvane-scan's catalogue (po/<language>.po) is built
// into the dialog's, where they have the empty context. Called from the scan's
// thread as well; each translation is kept for as long as the program runs.
const char* translateCoreMessage(const char* english)
{
    const QByteArray translated = QCoreApplication::translate("", english).toUtf8();
    if (translated == english)
        return english;
    static std::mutex lock;
    static std::unordered_map<std::string, std::string> kept; // its elements never move
    const std::lock_guard<std::mutex> hold(lock);
    std::string key = english;
    key += '\0';
    key += translated.toStdString();
    return kept.try_emplace(std::move(key), translated.toStdString()).first->second.c_str();
}

} // namespace

QString translationsFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/korvane/translations"));
}

bool installTranslations(const QLocale& locale)
{
    setMessageTranslator(nullptr);
    remove(own);
    remove(qtBase);
    // The texts are written in English: an English locale, or C, keeps them.
    if (locale.language() == QLocale::English || locale.language() == QLocale::C)
        return false;
    own = load(locale, QStringLiteral("korvane"), translationsFolder());
    if (!own)
        return false;
    qtBase = load(locale, QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    setMessageTranslator(&translateCoreMessage);
    return true;
}

} // namespace korvane::ui
