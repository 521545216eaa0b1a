#include "restore/apply_failure.h"

#include "text/system_error.h"
#include "text/terminal_quote.h"

namespace korvane {

std::string failure(std::string_view what, const std::string& path, int error)
{
    return std::string(what) + " " + quoteName(path) + ": " + systemErrorText(error);
}

} // namespace korvane
