#include "search/missing_search.h"
#include "search/renamed_files.h"
#include "text/message.h"

#include <algorithm>

namespace korvane {

SearchResults::SearchResults(FileIndex index, std::vector<MissingMatch> matches, std::vector<Decision> decisions,
                             std::vector<MappingSuggestion> mappings)
    : SearchResults(std::make_shared<const FileIndex>(std::move(index)), std::move(matches), std::move(decisions),
                    std::move(mappings))
{
}

SearchResults::SearchResults(std::shared_ptr<const FileIndex> index, std::vector<MissingMatch> matches,
                             std::vector<Decision> decisions, std::vector<MappingSuggestion> mappings)
    : index_(std::move(index)), matches_(std::move(matches)), decisions_(std::move(decisions)),
      mappings_(std::move(mappings))
{
    for (std::size_t k = 0; k < matches_.size(); ++k)
        byStored_.emplace(matches_[k].file.stored, k);
}

const MissingMatch* SearchResults::find(std::string_view stored) const
{
    const auto it = byStored_.find(stored);
    return it == byStored_.end() ? nullptr : &matches_[it->second];
}

std::size_t SearchResults::foundCount() const
{
    return static_cast<std::size_t>(
        std::count_if(matches_.begin(), matches_.end(), [](const MissingMatch& m) { return m.found(); }));
}

SearchResults searchMissing(const std::vector<std::string>& folders, const std::vector<MissingFile>& missing,
                            const SearchOptions& options)
{
    return searchIndex(std::make_shared<const FileIndex>(FileIndex::build(folders, options.index)), missing, options);
}

SearchResults searchIndex(std::shared_ptr<const FileIndex> index, const std::vector<MissingFile>& missing,
                          const SearchOptions& options)
{
    SearchStep step{SearchPhase::Matching, missing.size(), 0, index->fileCount()};
    if (options.step)
        options.step(step);
    std::vector<MissingMatch> matches = matchMissing(*index, missing, options.match);
    addRenamedFiles(*index, matches, options.decide);
    if (options.step) {
        step.phase = SearchPhase::Suggesting;
        step.found = static_cast<std::size_t>(
            std::count_if(matches.begin(), matches.end(), [](const MissingMatch& m) { return m.found(); }));
        options.step(step);
    }
    std::vector<Decision> decisions = decideMissing(*index, matches, options.decide);
    std::vector<MappingSuggestion> mappings = suggestMappings(*index, matches, decisions, options.suggest);
    return SearchResults(std::move(index), std::move(matches), std::move(decisions), std::move(mappings));
}

std::string searchStepText(const SearchStep& step)
{
    const auto count = [](std::size_t n, const char* one, const char* many) {
        return fillMessage(n == 1 ? one : many, {std::to_string(n)});
    };
    if (step.phase == SearchPhase::Matching)
        return fillMessage("Matching: %1 against %2",
                           {count(step.missing, N_("%1 missing file"), N_("%1 missing files")),
                            count(step.indexed, N_("%1 file found"), N_("%1 files found"))});
    return fillMessage(step.missing == 1 ? N_("Suggesting mappings: %1 of %2 missing file found")
                                         : N_("Suggesting mappings: %1 of %2 missing files found"),
                       {std::to_string(step.found), std::to_string(step.missing)});
}

} // namespace korvane
