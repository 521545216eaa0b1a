#pragma once

// Names compared without regard to case. The case of a character and the
// folded form of a name (foldCase, foldCaseInto) are those of
// text/unicode_text.h, the same the search indexes names by.

#include "text/unicode_text.h"

#include <string_view>

namespace korvane {

// Whether the on-disk name `name` matches the find-first pattern `pattern`
// (UTF-8) without regard to case: the wildcard rules of matchesFindFirst, with
// `?` standing for one character, not one byte.
bool matchesIgnoringCase(std::string_view pattern, std::string_view name);

} // namespace korvane
