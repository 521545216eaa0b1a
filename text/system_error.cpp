#include "text/system_error.h"

#include <cstring>
#include <locale.h>

namespace korvane {

std::string systemErrorText(int error)
{
    // Made once and kept: strerror_l reads the locale it is given, never
    // the one setlocale put in force.
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (!c)
        return std::strerror(error);
    return ::strerror_l(error, c);
}

} // namespace korvane
