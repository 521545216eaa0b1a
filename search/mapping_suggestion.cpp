#include "search/mapping_suggestion.h"

#include "paths/config_file.h"

#include <algorithm>
#include <cstdint>
#include <queue>
#include <unordered_map>
#include <unordered_set>
#include <utility>

namespace korvane {

namespace {

// A stored prefix: a root and the folders below it, as one or more missing
// paths start.
struct Prefix {
    std::size_t spelledBy; // the match whose folder names spell it
    std::size_t depth;     // stored folders below the root
    std::size_t below = 0; // searched missing paths that start with it
    bool inUse = false;    // the root of a mapping in use
    bool unwritable = false; // holds a control character, which no configuration line may
};

// One prefix pair and the matches it finds.
struct Pair {
    std::size_t prefix;
    FolderId local;
    std::vector<std::size_t> explains;
};

// A folder name with every run of digits as one '#': "shoot_#" for
// "shoot_001" and "shoot_000".
std::string shapeOf(std::string_view key)
{
    std::string shape;
    for (std::size_t k = 0; k < key.size(); ++k) {
        const bool digit = key[k] >= '0' && key[k] <= '9';
        if (!digit)
            shape += key[k];
        else if (k == 0 || key[k - 1] < '0' || key[k - 1] > '9')
            shape += '#';
    }
    return shape;
}

std::string storedPrefix(const MissingMatch& match, std::size_t depth)
{
    std::string prefix = match.path.root;
    for (std::size_t k = 0; k < depth; ++k) {
        prefix += '\\';
        prefix += match.path.folders[k];
    }
    return prefix;
}

class PairSet {
public:
    PairSet(const FileIndex& index, const std::vector<MissingMatch>& matches, const std::vector<DriveMapping>& inUse)
        : index_(index), matches_(matches)
    {
        for (const DriveMapping& mapping : inUse)
            inUse_.push_back(rootKey(mapping.root));
    }

    // The pairs of the files decided (their chosen file only); none that
    // would send a file left undecided to one of its candidates.
    void collect(const std::vector<Decision>& decisions)
    {
        std::vector<std::size_t> prefixIds;
        for (std::size_t m = 0; m < matches_.size(); ++m) {
            const MissingMatch& match = matches_[m];
            if (match.path.root.empty() || !match.path.notSearched.empty())
                continue; // only Windows paths have roots to map
            internPrefixes(m, prefixIds);
            const Decision& decision = decisions[m];
            const bool undecided =
                decision.kind == Decision::Kind::Ambiguous || decision.kind == Decision::Kind::OtherShoot;
            for (const Candidate& candidate : match.candidates) {
                // A mapping cannot change an extension, and must not send
                // one shoot's folder to another's.
                if (candidate.kind != MatchKind::SameName)
                    continue;
                if (undecided) {
                    forEachPair(match, candidate, prefixIds, [&](std::size_t prefix, FolderId local) {
                        forbidden_.insert((static_cast<std::uint64_t>(prefix) << 32) | local);
                    });
                } else if (decision.kind == Decision::Kind::Chosen && candidate.file == decision.chosen &&
                           !anotherShoot(match, candidate)) {
                    forEachPair(match, candidate, prefixIds,
                                [&](std::size_t prefix, FolderId local) { add(m, prefix, local); });
                }
            }
        }
        std::erase_if(pairs_, [&](const Pair& pair) {
            return forbidden_.contains((static_cast<std::uint64_t>(pair.prefix) << 32) | pair.local);
        });
    }

    std::vector<Prefix>& prefixes() { return prefixes_; }
    std::vector<Pair>& pairs() { return pairs_; }

private:
    // The ids of match m's prefixes, by depth; counts m below each.
    void internPrefixes(std::size_t m, std::vector<std::size_t>& ids)
    {
        const MissingMatch& match = matches_[m];
        ids.clear();
        key_ = match.rootKey;
        for (std::size_t depth = 0; depth <= match.folderKeys.size(); ++depth) {
            if (depth > 0) {
                key_ += '\\';
                key_ += match.folderKeys[depth - 1];
            }
            const auto [it, added] = prefixIds_.try_emplace(key_, prefixes_.size());
            if (added) {
                const std::string text = storedPrefix(match, depth);
                const std::string key = rootKey(text);
                const bool inUse = std::find(inUse_.begin(), inUse_.end(), key) != inUse_.end();
                prefixes_.push_back({m, depth, 0, inUse, holdsControlCharacter(text)});
            }
            ++prefixes_[it->second].below;
            ids.push_back(it->second);
        }
    }

    // Each prefix pair that turns the stored path of `match` into the path
    // of `candidate`: down the folders they share at their ends.
    template <typename Take>
    void forEachPair(const MissingMatch& match, const Candidate& candidate, const std::vector<std::size_t>& prefixIds,
                     Take take)
    {
        FolderId local = index_.folderOf(candidate.file);
        for (std::size_t step = 0; step <= candidate.sharedFolders && local != kNoFolder; ++step) {
            take(prefixIds[match.folderKeys.size() - step], local);
            local = index_.parentOf(local);
        }
    }

    // Whether the first folders where the stored path and the candidate's
    // part are alike but for their numbers.
    bool anotherShoot(const MissingMatch& match, const Candidate& candidate) const
    {
        const std::size_t stored = match.folderKeys.size();
        if (candidate.sharedFolders >= stored)
            return false;
        FolderId local = index_.folderOf(candidate.file);
        for (std::size_t k = 0; k < candidate.sharedFolders && local != kNoFolder; ++k)
            local = index_.parentOf(local);
        if (local == kNoFolder)
            return false;
        const std::string_view localKey = index_.folderKey(local);
        const std::string& storedKey = match.folderKeys[stored - 1 - candidate.sharedFolders];
        return localKey != storedKey && shapeOf(localKey) == shapeOf(storedKey);
    }

    // Whether the path of `local` holds a control character; each folder
    // is judged once.
    bool unwritable(FolderId local)
    {
        const auto [it, added] = unwritableLocal_.try_emplace(local, false);
        if (added)
            it->second = holdsControlCharacter(index_.folderPath(local));
        return it->second;
    }

    // A folder whose name holds a line break could make the suggested line
    // read as two (`x\nmap E: = /tmp`); no such pair is suggested.
    void add(std::size_t m, std::size_t prefix, FolderId local)
    {
        if (prefixes_[prefix].inUse || prefixes_[prefix].unwritable || unwritable(local))
            return;
        const std::uint64_t key = (static_cast<std::uint64_t>(prefix) << 32) | local;
        const auto [it, added] = pairIds_.try_emplace(key, pairs_.size());
        if (added)
            pairs_.push_back({prefix, local, {}});
        std::vector<std::size_t>& explains = pairs_[it->second].explains;
        if (explains.empty() || explains.back() != m) // two candidates of one file can give one pair
            explains.push_back(m);
    }

    const FileIndex& index_;
    const std::vector<MissingMatch>& matches_;
    std::vector<std::string> inUse_;
    std::vector<Prefix> prefixes_;
    std::unordered_map<std::string, std::size_t> prefixIds_;
    std::vector<Pair> pairs_;
    std::unordered_map<std::uint64_t, std::size_t> pairIds_;
    std::unordered_map<FolderId, bool> unwritableLocal_;
    std::unordered_set<std::uint64_t> forbidden_; // pairs that would take an undecided file
    std::string key_;
};

bool isPlainShellCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_@%+,./:-").find(c) != std::string_view::npos;
}

// Chooses among the prefix pairs the ones suggested together: a greedy
// cover, where again and again the pair that finds the most files not yet
// found is taken. As every mapping only adds places to look, pairs never
// undo each other; only two of one prefix cannot stand together.
class CoverChooser {
public:
    CoverChooser(const FileIndex& index, const std::vector<MissingMatch>& matches, std::vector<Prefix> prefixes,
                 std::vector<Pair> pairs)
        : index_(index), matches_(matches), prefixes_(std::move(prefixes)), pairs_(std::move(pairs)),
          explained_(matches.size(), false), prefixTaken_(prefixes_.size(), false)
    {
        texts_.reserve(prefixes_.size());
        for (const Prefix& prefix : prefixes_)
            texts_.push_back(storedPrefix(matches_[prefix.spelledBy], prefix.depth));
        for (const MissingMatch& match : matches_)
            ++onRoot_[match.rootKey];
    }

    std::vector<MappingSuggestion> choose(std::size_t maxSuggestions);

private:
    using Entry = std::pair<std::size_t, std::size_t>; // files not yet found (at most), pair

    // Whether pair a, finding `countA` files not yet found, is a better
    // choice than pair b finding `countB`.
    bool better(std::size_t countA, std::size_t a, std::size_t countB, std::size_t b) const
    {
        if (countA != countB)
            return countA > countB;
        const Prefix& x = prefixes_[pairs_[a].prefix];
        const Prefix& y = prefixes_[pairs_[b].prefix];
        if (x.depth != y.depth)
            return x.depth < y.depth; // a whole root has depth 0
        if (pairs_[a].prefix != pairs_[b].prefix)
            return texts_[pairs_[a].prefix] < texts_[pairs_[b].prefix];
        return index_.folderPath(pairs_[a].local) < index_.folderPath(pairs_[b].local);
    }

    // A folder mapping that finds one file is a guess, unless that file is
    // all that is missing below its prefix.
    bool enoughEvidence(const Pair& pair) const
    {
        const Prefix& prefix = prefixes_[pair.prefix];
        return prefix.depth == 0 || pair.explains.size() > 1 || pair.explains.size() == prefix.below;
    }

    std::size_t freshCount(std::size_t p) const
    {
        return static_cast<std::size_t>(std::count_if(pairs_[p].explains.begin(), pairs_[p].explains.end(),
                                                      [&](std::size_t m) { return !explained_[m]; }));
    }

    MappingSuggestion take(std::size_t p);

    const FileIndex& index_;
    const std::vector<MissingMatch>& matches_;
    std::vector<Prefix> prefixes_;
    std::vector<Pair> pairs_;
    std::vector<std::string> texts_; // of the prefixes
    std::vector<bool> explained_;
    std::vector<bool> prefixTaken_;
    std::unordered_map<std::string_view, std::size_t> onRoot_; // matches by root key
};

std::vector<MappingSuggestion> CoverChooser::choose(std::size_t maxSuggestions)
{
    const auto worse = [this](const Entry& x, const Entry& y) { return better(y.first, y.second, x.first, x.second); };
    std::priority_queue<Entry, std::vector<Entry>, decltype(worse)> queue(worse);
    for (std::size_t p = 0; p < pairs_.size(); ++p) {
        if (enoughEvidence(pairs_[p]))
            queue.push({pairs_[p].explains.size(), p});
    }

    // The greedy cover, evaluated lazily: a pair's count only falls as others
    // are chosen, so a pair whose fresh count still heads the queue is the
    // best.
    std::vector<MappingSuggestion> suggestions;
    while (!queue.empty() && suggestions.size() < maxSuggestions) {
        const auto [bound, p] = queue.top();
        queue.pop();
        if (prefixTaken_[pairs_[p].prefix])
            continue;
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
    std::erase_if(pair.explains, [&](std::size_t m) { return explained_[m]; });
    for (const std::size_t m : pair.explains)
        explained_[m] = true;
    prefixTaken_[pair.prefix] = true;
    const Prefix& prefix = prefixes_[pair.prefix];
    const MissingMatch& spelling = matches_[prefix.spelledBy];
    MappingSuggestion suggestion;
    suggestion.root = spelling.path.root;
    suggestion.storedPrefix = texts_[pair.prefix];
    suggestion.storedDepth = prefix.depth;
    suggestion.localFolder = index_.folderPath(pair.local);
    suggestion.explains = std::move(pair.explains);
    suggestion.missingOnRoot = onRoot_.at(spelling.rootKey);
    return suggestion;
}

} // namespace

std::vector<MappingSuggestion> suggestMappings(const FileIndex& index, const std::vector<MissingMatch>& matches,
                                               const std::vector<Decision>& decisions, const SuggestOptions& options)
{
    PairSet set(index, matches, options.inUse);
    set.collect(decisions);
    CoverChooser chooser(index, matches, std::move(set.prefixes()), std::move(set.pairs()));
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
