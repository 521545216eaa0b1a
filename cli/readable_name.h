#pragma once

#include <string_view>

namespace korvane {

// How korvane's own sections (Found elsewhere, Suggested mappings, Put back)
// show a stored name: decoded from the project's code page, so that a
// person can read the plan they approve; as stored (and so, quoted, in the
// shell's $'...' form) where the code page has no reading for some of its
// bytes. The report itself is always the stored bytes.
inline std::string_view readableName(std::string_view stored, std::string_view decoded)
{
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD, for bytes that could not be read
    const bool lossy = decoded.find(kReplacement) != std::string_view::npos &&
                       stored.find(kReplacement) == std::string_view::npos;
    return lossy ? stored : decoded;
}

} // namespace korvane
