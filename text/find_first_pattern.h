#pragma once

#include <string_view>

namespace korvane {

// Whether `name` matches the find-first search pattern `pattern`. `*` matches
// any run of characters and `?` any one; as in the find-first search, `?`
// also matches nothing at a dot or at the end of the name, a `.` in front of
// a wildcard or at the end also matches the end of a name without a dot, and
// `*` in front of a `.` stops at the last dot of the name (so `*.*` matches
// every name and `*.` matches names without an extension).
bool matchesFindFirst(std::string_view pattern, std::string_view name, bool ignoreCase = false);

// Whether `name` holds `*` or `?`.
bool hasWildcard(std::string_view name);

} // namespace korvane
