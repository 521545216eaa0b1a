#pragma once

#include "search/file_index.h"
#include "search/mapping_suggestion.h"
#include "search/missing_match.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

struct SearchOptions {
    IndexOptions index;
    MatchOptions match;
    SuggestOptions suggest;
};

// Where the missing files of a project are now: what the search read, each
// missing file with its candidates, the mappings that would make the
// project find them.
class SearchResults {
public:
    SearchResults(FileIndex index, std::vector<MissingMatch> matches, std::vector<MappingSuggestion> mappings);
    // Moves keep the matches where they are; copies would not.
    SearchResults(SearchResults&&) = default;
    SearchResults& operator=(SearchResults&&) = default;
    SearchResults(const SearchResults&) = delete;
    SearchResults& operator=(const SearchResults&) = delete;

    const FileIndex& index() const { return index_; }
    const std::vector<MissingMatch>& matches() const { return matches_; }
    const std::vector<MappingSuggestion>& mappings() const { return mappings_; }
    // The match of a stored path; null when it was not searched for.
    const MissingMatch* find(std::string_view stored) const;
    std::size_t foundCount() const;

private:
    FileIndex index_;
    std::vector<MissingMatch> matches_;
    std::vector<MappingSuggestion> mappings_;
    std::unordered_map<std::string_view, std::size_t> byStored_;
};

// Walks `folders` once, looks for every missing file, suggests mappings.
SearchResults searchMissing(const std::vector<std::string>& folders, const std::vector<MissingFile>& missing,
                            const SearchOptions& options = {});

} // namespace korvane
