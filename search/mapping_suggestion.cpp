#include "search/mapping_suggestion.h"

#include <algorithm>
#include <queue>
#include <unordered_map>
#include <utility>

namespace korvane {

namespace {

// One prefix pair and the matches it explains.
struct Pair {
    std::size_t spelledBy; // the match whose folder names spell the stored prefix
    std::size_t depth;     // stored folders below the root
    FolderId local;
    std::vector<std::size_t> explains;
};

class PairSet {
public:
    PairSet(const FileIndex& index, const std::vector<MissingMatch>& matches) : index_(index), matches_(matches) {}

    void collect()
    {
        for (std::size_t m = 0; m < matches_.size(); ++m) {
            const MissingMatch& match = matches_[m];
            if (match.path.root.empty() || !match.path.notSearched.empty())
                continue; // only Windows paths have roots to map
            for (const Candidate& candidate : match.candidates) {
                if (candidate.kind != MatchKind::SameName)
                    continue; // a mapping cannot change an extension
                FolderId local = index_.folderOf(candidate.file);
                for (std::size_t step = 0; step <= candidate.sharedFolders && local != kNoFolder; ++step) {
                    add(m, match.folderKeys.size() - step, local);
                    local = index_.parentOf(local);
                }
            }
        }
    }

    std::vector<Pair>& pairs() { return pairs_; }

private:
    void add(std::size_t m, std::size_t depth, FolderId local)
    {
        const MissingMatch& match = matches_[m];
        key_ = match.rootKey;
        for (std::size_t k = 0; k < depth; ++k) {
            key_ += '\\';
            key_ += match.folderKeys[k];
        }
        key_ += '\0';
        key_ += index_.folderPath(local);
        const auto [it, added] = byKey_.try_emplace(key_, pairs_.size());
        if (added)
            pairs_.push_back({m, depth, local, {}});
        std::vector<std::size_t>& explains = pairs_[it->second].explains;
        if (explains.empty() || explains.back() != m) // two candidates of one file can give one pair
            explains.push_back(m);
    }

    const FileIndex& index_;
    const std::vector<MissingMatch>& matches_;
    std::vector<Pair> pairs_;
    std::unordered_map<std::string, std::size_t> byKey_;
    std::string key_;
};

std::string storedPrefix(const MissingMatch& match, std::size_t depth)
{
    std::string prefix = match.path.root;
    for (std::size_t k = 0; k < depth; ++k) {
        prefix += '\\';
        prefix += match.path.folders[k];
    }
    return prefix;
}

bool isPlainShellCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_@%+,./:-").find(c) != std::string_view::npos;
}

// Chooses among the prefix pairs the ones suggested together: a greedy
// cover, where again and again the pair that explains the most files not
// yet explained is taken.
//
// The suggestions are used together, and a stored path takes the mapping
// with the longest root it starts with. So a pair is never chosen beside
// one with the same prefix, nor below a chosen one whose files it would
// take over without explaining them; and a pair counts only the files that
// no longer chosen prefix takes from it.
class CoverChooser {
public:
    CoverChooser(const FileIndex& index, const std::vector<MissingMatch>& matches, std::vector<Pair> pairs)
        : index_(index), matches_(matches), pairs_(std::move(pairs)), explained_(matches.size(), false)
    {
        prefixes_.reserve(pairs_.size());
        for (const Pair& pair : pairs_)
            prefixes_.push_back(storedPrefix(matches_[pair.spelledBy], pair.depth));
    }

    std::vector<MappingSuggestion> choose(std::size_t maxSuggestions);

private:
    using Entry = std::pair<std::size_t, std::size_t>; // files not yet explained (at most), pair

    // Whether pair p's stored prefix covers match m's stored path, at whole
    // folder names.
    bool covers(std::size_t p, std::size_t m) const
    {
        const MissingMatch& spelling = matches_[pairs_[p].spelledBy];
        const MissingMatch& match = matches_[m];
        const std::size_t depth = pairs_[p].depth;
        return match.rootKey == spelling.rootKey && match.folderKeys.size() >= depth &&
               std::equal(spelling.folderKeys.begin(), spelling.folderKeys.begin() + static_cast<std::ptrdiff_t>(depth),
                          match.folderKeys.begin());
    }

    // Whether pair a, explaining `countA` files not yet explained, is a
    // better choice than pair b explaining `countB`.
    bool better(std::size_t countA, std::size_t a, std::size_t countB, std::size_t b) const
    {
        if (countA != countB)
            return countA > countB;
        if (pairs_[a].depth != pairs_[b].depth)
            return pairs_[a].depth < pairs_[b].depth; // a whole root has depth 0
        if (prefixes_[a] != prefixes_[b])
            return prefixes_[a] < prefixes_[b];
        return index_.folderPath(pairs_[a].local) < index_.folderPath(pairs_[b].local);
    }

    // Whether pair p may be chosen beside the pairs chosen so far.
    bool compatible(std::size_t p) const
    {
        for (const std::size_t q : chosen_) {
            if (pairs_[q].depth > pairs_[p].depth || !covers(q, pairs_[p].spelledBy))
                continue; // q is not p's prefix or an ancestor of it
            if (pairs_[q].depth == pairs_[p].depth)
                return false;
            for (const std::size_t m : pairs_[q].explains) {
                if (covers(p, m) && !std::binary_search(pairs_[p].explains.begin(), pairs_[p].explains.end(), m))
                    return false;
            }
        }
        return true;
    }

    // Whether a chosen pair with a longer prefix than pair p's takes match m.
    bool takenByLonger(std::size_t p, std::size_t m) const
    {
        return std::any_of(chosen_.begin(), chosen_.end(),
                           [&](std::size_t q) { return pairs_[q].depth > pairs_[p].depth && covers(q, m); });
    }

    bool allExplained(std::size_t p) const
    {
        return std::all_of(pairs_[p].explains.begin(), pairs_[p].explains.end(),
                           [&](std::size_t m) { return explained_[m]; });
    }

    // The files pair p would explain if it were chosen now.
    std::size_t freshCount(std::size_t p) const
    {
        return static_cast<std::size_t>(
            std::count_if(pairs_[p].explains.begin(), pairs_[p].explains.end(),
                          [&](std::size_t m) { return !explained_[m] && !takenByLonger(p, m); }));
    }

    // Chooses pair p: it explains what no longer chosen prefix takes from it.
    MappingSuggestion take(std::size_t p);

    const FileIndex& index_;
    const std::vector<MissingMatch>& matches_;
    std::vector<Pair> pairs_;
    std::vector<std::string> prefixes_;
    std::vector<std::size_t> chosen_;
    std::vector<bool> explained_;
};

std::vector<MappingSuggestion> CoverChooser::choose(std::size_t maxSuggestions)
{
    const auto worse = [this](const Entry& x, const Entry& y) { return better(y.first, y.second, x.first, x.second); };
    std::priority_queue<Entry, std::vector<Entry>, decltype(worse)> queue(worse);
    for (std::size_t p = 0; p < pairs_.size(); ++p)
        queue.push({pairs_[p].explains.size(), p});

    // The greedy cover, evaluated lazily: a pair's count only falls as others
    // are chosen, so a pair whose fresh count still heads the queue is the best.
    std::vector<MappingSuggestion> suggestions;
    while (!queue.empty() && suggestions.size() < maxSuggestions) {
        const auto [bound, p] = queue.top();
        queue.pop();
        // A pair whose files are all explained is passed over whatever else
        // holds; finding that first spares compatible() its walk over the
        // files of every chosen prefix above it.
        if (allExplained(p))
            continue;
        if (!compatible(p))
            continue; // it stays so: chosen pairs are never taken back
        const std::size_t fresh = freshCount(p);
        if (fresh == 0)
            continue;
        if (fresh < bound) {
            queue.push({fresh, p});
            continue;
        }
        suggestions.push_back(take(p));
    }
    std::stable_sort(suggestions.begin(), suggestions.end(), [](const MappingSuggestion& a, const MappingSuggestion& b) {
        return a.explains.size() > b.explains.size();
    });
    return suggestions;
}

MappingSuggestion CoverChooser::take(std::size_t p)
{
    Pair& pair = pairs_[p];
    std::erase_if(pair.explains, [&](std::size_t m) { return takenByLonger(p, m); });
    for (const std::size_t m : pair.explains)
        explained_[m] = true;
    chosen_.push_back(p);
    const MissingMatch& spelling = matches_[pair.spelledBy];
    MappingSuggestion suggestion;
    suggestion.root = spelling.path.root;
    suggestion.storedPrefix = prefixes_[p];
    suggestion.storedDepth = pair.depth;
    suggestion.localFolder = index_.folderPath(pair.local);
    suggestion.explains = pair.explains; // still read by compatible()
    suggestion.missingOnRoot = static_cast<std::size_t>(std::count_if(
        matches_.begin(), matches_.end(), [&](const MissingMatch& m) { return m.rootKey == spelling.rootKey; }));
    return suggestion;
}

} // namespace

std::vector<MappingSuggestion> suggestMappings(const FileIndex& index, const std::vector<MissingMatch>& matches,
                                               const SuggestOptions& options)
{
    PairSet set(index, matches);
    set.collect();
    CoverChooser chooser(index, matches, std::move(set.pairs()));
    return chooser.choose(options.maxSuggestions);
}

std::string shellQuote(std::string_view text)
{
    if (!text.empty() && std::all_of(text.begin(), text.end(), isPlainShellCharacter))
        return std::string(text);
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string mapArgument(const MappingSuggestion& suggestion)
{
    return "--map " + shellQuote(suggestion.storedPrefix) + "=" + shellQuote(suggestion.localFolder);
}

std::string configLine(const MappingSuggestion& suggestion)
{
    return "map " + suggestion.storedPrefix + " = " + suggestion.localFolder;
}

} // namespace korvane
