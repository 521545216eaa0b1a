#include "search/missing_match.h"

#include "search/folder_evidence.h"

#include "paths/windows_path.h"
#include "text/unicode_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <unordered_set>

namespace korvane {

namespace {

// Splits on both separators, as the Windows path splitter does for Windows
// paths: a stored relative name may have been written on either system.
StoredPath splitOtherPath(std::string_view text)
{
    StoredPath path;
    std::vector<std::string> names;
    appendPathNames(text, names);
    if (!text.empty() && isPathSeparator(text.back()))
        path.notSearched = "the name ends in a separator";
    else if (names.empty())
        path.notSearched = "the name names no file";
    if (!path.notSearched.empty())
        return path;
    path.name = std::move(names.back());
    names.pop_back();
    path.folders = std::move(names);
    return path;
}

// The key of a name without its extension: up to the last dot, unless that
// is the first character (as the index cuts its keys).
std::string_view stemOf(std::string_view key)
{
    const std::size_t dot = key.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? key : key.substr(0, dot);
}

Candidate candidateOf(const FileIndex& index, const FolderEvidence& evidence, const FolderEvidence::Stored& weighed,
                      const MissingMatch& match, FileId id, MatchKind kind)
{
    const FolderId folder = index.folderOf(id);
    const FolderMatch found = evidence.match(weighed, folder);
    Candidate candidate;
    candidate.file = id;
    candidate.kind = kind;
    candidate.sharedFolders = found.sharedTail;
    candidate.sameSpelling = index.fileName(id) == match.path.name;
    candidate.distinctive = static_cast<std::uint32_t>(found.distinctive);
    candidate.distinctiveCount = static_cast<std::uint8_t>(std::popcount(candidate.distinctive));
    candidate.weight = static_cast<float>(found.weight);
    candidate.otherDate = found.otherDate;
    // The tail covers the last `sharedFolders` stored folders.
    const std::size_t stored = match.folderKeys.size();
    for (std::size_t k = stored - candidate.sharedFolders; k < stored && k < 32; ++k)
        if (candidate.distinctive & (std::uint32_t{1} << k))
            candidate.anchoredTail = static_cast<std::uint8_t>(std::min<std::uint16_t>(candidate.sharedFolders, 255));
    return candidate;
}

// The candidates of one missing file, best first, cut to `kept`. The
// paths that break ties are spelled once each, as filePath spells them,
// into one buffer that keeps its memory from one missing file to the next.
void rankCandidates(const FileIndex& index, std::vector<Candidate>& candidates, std::size_t kept)
{
    thread_local std::string spelled;
    thread_local std::vector<std::size_t> starts;
    thread_local std::vector<std::uint32_t> order;
    spelled.clear();
    starts.clear();
    order.clear();
    for (std::size_t k = 0; k < candidates.size(); ++k) {
        starts.push_back(spelled.size());
        const std::size_t folderStart = spelled.size();
        index.appendFolderPath(index.folderOf(candidates[k].file), spelled);
        if (std::string_view(spelled).substr(folderStart) != "/")
            spelled += '/';
        spelled.append(index.fileName(candidates[k].file));
        order.push_back(static_cast<std::uint32_t>(k));
    }
    starts.push_back(spelled.size());
    const auto path = [](std::uint32_t k) {
        return std::string_view(spelled).substr(starts[k], starts[k + 1] - starts[k]);
    };
    const auto before = [&](std::uint32_t i, std::uint32_t j) {
        const Candidate& a = candidates[i];
        const Candidate& b = candidates[j];
        if (a.otherDate != b.otherDate)
            return b.otherDate;
        if (a.distinctiveCount != b.distinctiveCount)
            return a.distinctiveCount > b.distinctiveCount;
        if (a.anchoredTail != b.anchoredTail)
            return a.anchoredTail > b.anchoredTail;
        if (a.weight != b.weight)
            return a.weight > b.weight;
        if (a.kind != b.kind)
            return a.kind == MatchKind::SameName;
        if (a.sameSpelling != b.sameSpelling)
            return a.sameSpelling;
        return path(i) < path(j);
    };
    kept = std::min(kept, candidates.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept), order.end(), before);
    std::vector<Candidate> best;
    best.reserve(kept);
    for (std::size_t k = 0; k < kept; ++k)
        best.push_back(candidates[order[k]]);
    candidates = std::move(best);
}

// A file that cannot be opened is no place to point a project: the best
// `checked` candidates of each match are asked about, and one that fails
// makes way for the next. Whether a file can be read is asked once, and the
// first answers all together.
void keepReadable(const FileIndex& index, std::vector<MissingMatch>& matches, std::size_t checked)
{
    enum : std::uint8_t { kUnasked, kWanted, kReadable, kUnreadable };
    std::vector<std::uint8_t> readable(index.fileCount(), kUnasked);
    std::vector<FileId> wanted;
    for (const MissingMatch& match : matches)
        for (std::size_t k = 0; k < match.candidates.size() && k < checked; ++k)
            if (readable[match.candidates[k].file] == kUnasked) {
                readable[match.candidates[k].file] = kWanted;
                wanted.push_back(match.candidates[k].file);
            }
    const std::vector<bool> answers = index.readable(wanted);
    for (std::size_t k = 0; k < wanted.size(); ++k)
        readable[wanted[k]] = answers[k] ? kReadable : kUnreadable;
    for (MissingMatch& match : matches) {
        std::vector<Candidate>& kept = match.candidates;
        for (std::size_t k = 0; k < kept.size() && k < checked;) {
            std::uint8_t& known = readable[kept[k].file];
            if (known == kUnasked)
                known = index.readable(kept[k].file) ? kReadable : kUnreadable;
            if (known == kReadable) {
                kept[k].readable = true;
                ++k;
            } else {
                kept.erase(kept.begin() + static_cast<std::ptrdiff_t>(k));
                --match.candidateCount;
            }
        }
    }
}

} // namespace

StoredPath parseStoredPath(std::string_view decoded)
{
    const std::optional<WindowsPath> windows = splitWindowsPath(decoded);
    if (!windows)
        return splitOtherPath(decoded);
    StoredPath path;
    path.root = windows->root;
    if (windows->kind == WindowsPath::Root::NotAFile || !windows->findsNothing.empty()) {
        path.notSearched = windows->findsNothing.empty() ? "the name names no file" : windows->findsNothing;
        return path;
    }
    path.folders.assign(windows->names.begin(), windows->names.end() - 1);
    path.name = windows->names.back();
    if (containsWildcard(path.name))
        path.notSearched = "the name holds wildcards";
    return path;
}

std::vector<MissingFile> missingFiles(const std::vector<std::string_view>& stored,
                                      const std::function<std::string(std::string_view)>& decode)
{
    std::vector<MissingFile> files;
    files.reserve(stored.size());
    for (const std::string_view path : stored)
        files.push_back({std::string(path), decode ? decode(path) : toValidUtf8(path)});
    return files;
}

std::vector<MissingMatch> matchMissing(const FileIndex& index, const std::vector<MissingFile>& missing,
                                       const MatchOptions& options)
{
    std::vector<MissingMatch> matches;
    const FolderEvidence evidence(index);
    std::unordered_set<std::string_view> seen; // of the stored paths given
    MatchKeyMaker keys;
    std::vector<FileId> found;
    std::string nameKey;
    for (const MissingFile& file : missing) {
        if (!seen.insert(file.stored).second)
            continue;
        MissingMatch match;
        match.file = file;
        match.path = parseStoredPath(file.decoded);
        match.rootKey = matchKey(match.path.root);
        for (const std::string& folder : match.path.folders) {
            match.folderKeys.emplace_back();
            keys.append(folder, match.folderKeys.back());
        }
        if (match.path.notSearched.empty()) {
            nameKey.clear();
            keys.append(match.path.name, nameKey);
            found.clear();
            index.findByName(nameKey, found);
            const std::size_t sameName = found.size();
            index.findByStem(stemOf(nameKey), found);
            const FolderEvidence::Stored weighed = evidence.weigh(match.folderKeys);
            for (std::size_t k = 0; k < found.size(); ++k) {
                const FileId id = found[k];
                if (k >= sameName && index.fileKey(id) == nameKey)
                    continue; // found by its whole name already
                match.candidates.push_back(candidateOf(index, evidence, weighed, match, id,
                                                       k < sameName ? MatchKind::SameName : MatchKind::OtherExtension));
            }
            match.candidateCount = match.candidates.size();
            rankCandidates(index, match.candidates, options.maxCandidates);
        }
        matches.push_back(std::move(match));
    }
    keepReadable(index, matches, options.checkedCandidates);
    return matches;
}

std::vector<Candidate> sameNameCandidates(const FileIndex& index, const FolderEvidence& evidence,
                                          const MissingMatch& match)
{
    std::vector<Candidate> candidates;
    if (!match.path.notSearched.empty())
        return candidates;
    std::string nameKey;
    MatchKeyMaker().append(match.path.name, nameKey);
    std::vector<FileId> found;
    index.findByName(nameKey, found);
    const FolderEvidence::Stored weighed = evidence.weigh(match.folderKeys);
    for (const FileId id : found)
        candidates.push_back(candidateOf(index, evidence, weighed, match, id, MatchKind::SameName));
    return candidates;
}

} // namespace korvane
