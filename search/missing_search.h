#pragma once

#include "search/file_index.h"
#include "search/mapping_suggestion.h"
#include "search/missing_decision.h"
#include "search/missing_match.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// The parts of a search after the walk, in order.
enum class SearchPhase : std::uint8_t {
    Matching,   // looking up each missing file in the index
    Suggesting, // finding the mappings that explain the files found
};

// Where a search is once the walk is done: the part that begins, and what
// it has to work on.
struct SearchStep {
    SearchPhase phase = SearchPhase::Matching;
    std::size_t missing = 0; // files to look for
    std::size_t found = 0;   // of them found (known from Suggesting on)
    std::size_t indexed = 0; // files the walk found
};

// What a progress line says once the walk is done: "Matching: ..." or
// "Suggesting mappings: ...".
std::string searchStepText(const SearchStep& step);

struct SearchOptions {
    IndexOptions index; // index.progress is told during the walk
    MatchOptions match;
    DecisionOptions decide;
    SuggestOptions suggest;
    std::function<void(const SearchStep&)> step; // told as each later part begins
};

// Where the missing files of a project are now: what the search read, each
// missing file with its candidates, the mappings that would make the
// project find them.
class SearchResults {
public:
    SearchResults(FileIndex index, std::vector<MissingMatch> matches, std::vector<Decision> decisions,
                  std::vector<MappingSuggestion> mappings);
    // The same over an index shared with other searches (of other projects).
    SearchResults(std::shared_ptr<const FileIndex> index, std::vector<MissingMatch> matches,
                  std::vector<Decision> decisions, std::vector<MappingSuggestion> mappings);
    // Moves keep the matches where they are; copies would not.
    SearchResults(SearchResults&&) = default;
    SearchResults& operator=(SearchResults&&) = default;
    SearchResults(const SearchResults&) = delete;
    SearchResults& operator=(const SearchResults&) = delete;

    const FileIndex& index() const { return *index_; }
    const std::vector<MissingMatch>& matches() const { return matches_; }
    // What was decided for each match, in the same order.
    const std::vector<Decision>& decisions() const { return decisions_; }
    const std::vector<MappingSuggestion>& mappings() const { return mappings_; }
    // The match of a stored path; null when it was not searched for.
    const MissingMatch* find(std::string_view stored) const;
    std::size_t foundCount() const;

private:
    std::shared_ptr<const FileIndex> index_;
    std::vector<MissingMatch> matches_;
    std::vector<Decision> decisions_;
    std::vector<MappingSuggestion> mappings_;
    std::unordered_map<std::string_view, std::size_t> byStored_;
};

// Walks `folders` once, looks for every missing file, decides which file
// found is each (or leaves it undecided), suggests mappings.
SearchResults searchMissing(const std::vector<std::string>& folders, const std::vector<MissingFile>& missing,
                            const SearchOptions& options = {});
// Looks for every missing file in `index`, which may be shared with other
// searches, decides which file found is each, and suggests mappings; options.index is not used.
SearchResults searchIndex(std::shared_ptr<const FileIndex> index, const std::vector<MissingFile>& missing,
                          const SearchOptions& options = {});

} // namespace korvane
