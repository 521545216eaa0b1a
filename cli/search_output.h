#pragma once

#include "cli/text_options.h"
#include "search/mapping_suggestion.h"
#include "search/missing_search.h"

#include <string>

namespace korvane {

// "Found elsewhere": each missing file that was found, as the report lists
// it, and under it its candidates, best first, indented; then how many of
// the missing files were found. Candidates with another extension say so.
// Every path is shown as quoteName shows it, wherever the text goes.
std::string renderFoundElsewhere(const SearchResults& results, const TextOptions& options = {});

// "Suggested mappings": each mapping as a --map argument, indented under it
// the same as a configuration-file line and how many of the missing files
// on its drive or share it explains. A mapping with a name that needs
// quoting has its argument in the $'...' form and no configuration-file
// line, which could not be shown as it would be written.
std::string renderSuggestedMappings(const SearchResults& results, const TextOptions& options = {});

// Whether a mapping can be shown as it is: as a --map argument quoted only
// as the shell needs, and as a line of the configuration file, which can
// hold no line break and is shown raw.
bool mappingShownPlainly(const MappingSuggestion& mapping);

// The --map argument of `mapping`, in the $'...' form when a name in it
// needs quoting; either way it can be pasted into a shell.
std::string mappingArgument(const MappingSuggestion& mapping);

} // namespace korvane
