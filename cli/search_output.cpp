#include "cli/search_output.h"

#include "cli/readable_name.h"

#include "text/terminal_quote.h"

#include <algorithm>

namespace korvane {

namespace {

std::string plural(std::size_t n, std::string_view one, std::string_view many)
{
    return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string_view shownPath(const MissingMatch& match, const TextOptions&)
{
    return readableName(match.file.stored, match.file.decoded);
}

} // namespace

bool mappingShownPlainly(const MappingSuggestion& mapping)
{
    return !needsQuoting(mapping.storedPrefix) && !needsQuoting(mapping.localFolder);
}

std::string mappingArgument(const MappingSuggestion& mapping)
{
    return mappingShownPlainly(mapping) ? mapArgument(mapping)
                                        : "--map " + quoteName(mapping.storedPrefix + "=" + mapping.localFolder);
}

std::string renderFoundElsewhere(const SearchResults& results, const TextOptions& options)
{
    const std::string_view end = options.lineEnd;
    std::string out = "Found elsewhere";
    out += end;
    const std::vector<MissingMatch>& matches = results.matches();
    for (const MissingMatch& match : matches) {
        if (!match.found())
            continue;
        out += quoteName(shownPath(match, options));
        out += end;
        const std::size_t shown = std::min(options.maxCandidates, match.candidates.size());
        for (std::size_t k = 0; k < shown; ++k) {
            const Candidate& candidate = match.candidates[k];
            out += "    ";
            out += quoteName(results.index().filePath(candidate.file));
            if (candidate.kind == MatchKind::OtherExtension)
                out += " (other extension)";
            else if (candidate.kind == MatchKind::SameContent)
                out += " (the same file, renamed)";
            out += end;
        }
        if (match.candidateCount > shown)
            out += "    ... and " + std::to_string(match.candidateCount - shown) + " more" + std::string(end);
    }
    const std::size_t found = results.foundCount();
    if (matches.empty())
        out += "Nothing is missing.";
    else if (found == 0)
        out += matches.size() == 1 ? std::string("The missing file was not found.")
                                   : "None of the " + std::to_string(matches.size()) + " missing files was found.";
    else
        out += "Found " + std::to_string(found) + " of " + plural(matches.size(), "missing file.", "missing files.");
    out += end;
    return out;
}

std::string renderSuggestedMappings(const SearchResults& results, const TextOptions& options)
{
    const std::string_view end = options.lineEnd;
    std::string out = "Suggested mappings";
    out += end;
    if (results.mappings().empty()) {
        out += "None: no missing file of a drive or share was found under its own name.";
        out += end;
    }
    for (const MappingSuggestion& mapping : results.mappings()) {
        out += mappingArgument(mapping);
        out += end;
        out += "    ";
        out += mappingShownPlainly(mapping) ? configLine(mapping)
                                     : std::string("(no configuration-file line: a name in it needs quoting)");
        out += end;
        out += "    explains " + std::to_string(mapping.explains.size()) + " of " +
               plural(mapping.missingOnRoot, "missing file", "missing files") + " on " + quoteName(mapping.root);
        out += end;
    }
    return out;
}

} // namespace korvane
