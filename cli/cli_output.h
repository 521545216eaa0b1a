#pragma once

#include "paths/path_resolver.h"
#include "search/file_index.h"
#include "search/missing_match.h"
#include "search/missing_search.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The "Looked for" part of --explain: each missing path as the report
// lists it (`decoded`: as its UTF-8 text), and indented under it each place
// it was looked for, in order, and why nothing was found there. Every name
// is shown as quoteName shows it, wherever the text goes.
std::string renderExplanations(PathResolver& resolver, const std::vector<MissingFile>& missing, bool decoded,
                               std::string_view lineEnd);

// The line shown on a terminal while the search reads folders.
std::string searchProgressText(const WalkProgress& progress);

} // namespace korvane
