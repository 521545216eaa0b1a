#include "cli/messages.h"

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <libintl.h>
#include <system_error>

namespace korvane {

namespace {

constexpr const char* kDomain = "korvane";

} // namespace

void setUpMessages()
{
    // Not LC_ALL: LC_NUMERIC, LC_COLLATE and the rest stay "C", so that no
    // number or order of the output depends on the locale. LC_CTYPE gives
    // gettext the terminal's character set.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_MESSAGES, "");
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        ::bindtextdomain(kDomain, (program.parent_path().parent_path() / "share" / "locale").c_str());
    ::textdomain(kDomain);
    // The core's sentences come from the same catalogue.
    setMessageTranslator(&_);
}

const char* _(const char* text)
{
    return ::dgettext(kDomain, text);
}

std::string formatted(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(size > 0 ? static_cast<std::size_t>(size) : 0u, '\0');
    if (size > 0)
        std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

} // namespace korvane
