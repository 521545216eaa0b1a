#include "search/renamed_files.h"

#include <algorithm>
#include <optional>
#include <sys/stat.h>
#include <unordered_map>

namespace korvane {

namespace {

struct Wanted {
    std::size_t match;
    RememberedContent content;
};

// The size of a regular file of the index, links followed; nothing for any
// other file. With `contentOf`, the size of what it gives.
std::optional<std::uint64_t> sizeOf(const std::string& path, const ContentOracle::ContentOf& contentOf)
{
    if (contentOf) {
        const std::optional<std::string> content = contentOf(path);
        return content ? std::optional<std::uint64_t>(content->size()) : std::nullopt;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

// The matches whose remembered size none of their candidates has.
std::vector<Wanted> wantedOf(const FileIndex& index, const std::vector<MissingMatch>& matches,
                             const DecisionOptions& options)
{
    std::vector<Wanted> wanted;
    if (!options.remembered)
        return wanted;
    for (std::size_t m = 0; m < matches.size(); ++m) {
        const MissingMatch& match = matches[m];
        if (!match.path.notSearched.empty())
            continue;
        const std::optional<RememberedContent> content = options.remembered(match.file.stored);
        if (!content)
            continue;
        const bool sized = std::any_of(match.candidates.begin(), match.candidates.end(), [&](const Candidate& c) {
            return c.kind == MatchKind::SameName && sizeOf(index.filePath(c.file), options.contentOf) == content->size;
        });
        if (!sized)
            wanted.push_back({m, *content});
    }
    return wanted;
}

} // namespace

void addRenamedFiles(const FileIndex& index, std::vector<MissingMatch>& matches, const DecisionOptions& options)
{
    const std::vector<Wanted> wanted = wantedOf(index, matches, options);
    if (wanted.empty())
        return;
    std::unordered_map<std::uint64_t, std::vector<FileId>> bySize;
    for (const Wanted& w : wanted)
        bySize.try_emplace(w.content.size);
    for (FileId file = 0; file < index.fileCount(); ++file) {
        const std::optional<std::uint64_t> size = sizeOf(index.filePath(file), options.contentOf);
        if (!size)
            continue;
        if (const auto it = bySize.find(*size); it != bySize.end())
            it->second.push_back(file);
    }
    ContentOracle content(index, options.contentOf);
    for (const Wanted& w : wanted) {
        MissingMatch& match = matches[w.match];
        std::vector<Candidate> renamed;
        for (const FileId file : bySize[w.content.size]) {
            const bool listed = std::any_of(match.candidates.begin(), match.candidates.end(),
                                            [&](const Candidate& c) { return c.file == file; });
            if (listed || !content.holds(file, w.content))
                continue;
            Candidate candidate;
            candidate.file = file;
            candidate.kind = MatchKind::SameContent;
            candidate.readable = true;
            renamed.push_back(candidate);
        }
        match.candidates.insert(match.candidates.begin(), renamed.begin(), renamed.end());
        match.candidateCount += renamed.size();
    }
}

} // namespace korvane
