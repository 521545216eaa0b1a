#include "restore/candidate_choice.h"

#include "fs/content_digest.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

using Bytes = std::array<std::uint8_t, 32>;

// The files of equal content among `files`, in groups: sizes first, then
// fingerprints of their ends, then whole digests only where those agree.
// A file that cannot be read forms a group of its own.
std::vector<std::vector<std::size_t>> groupByContent(const std::vector<SeenFile>& files)
{
    std::map<std::uint64_t, std::vector<std::size_t>> bySize;
    for (std::size_t k = 0; k < files.size(); ++k)
        bySize[files[k].identity.size].push_back(k);
    std::vector<std::vector<std::size_t>> groups;
    const auto split = [&](const std::vector<std::size_t>& members, bool whole) {
        std::map<Bytes, std::vector<std::size_t>> byDigest;
        for (const std::size_t k : members) {
            const int fd = ::open(files[k].path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            std::optional<Digest> digest;
            if (fd >= 0) {
                if (whole) {
                    if (const std::optional<ContentDigest> content = digestOpenFile(fd))
                        digest = content->digest;
                } else {
                    digest = fingerprintOpenFile(fd, files[k].identity.size);
                }
                ::close(fd);
            }
            if (digest)
                byDigest[digest->bytes].push_back(k);
            else
                groups.push_back({k});
        }
        return byDigest;
    };
    for (const auto& [size, members] : bySize) {
        if (members.size() == 1) {
            groups.push_back(members);
            continue;
        }
        for (auto& [quick, alike] : split(members, false)) {
            if (alike.size() == 1 || size <= 2 * kFingerprintPiece)
                groups.push_back(std::move(alike));
            else
                for (auto& [digest, same] : split(alike, true))
                    groups.push_back(std::move(same));
        }
    }
    // In the order of the candidates.
    std::sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.front() < b.front(); });
    return groups;
}

} // namespace

std::optional<SeenFile> seeFile(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return std::nullopt;
    SeenFile seen{real, {}};
    std::free(real);
    struct stat st {};
    if (::lstat(seen.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(seen.path.c_str(), R_OK) != 0)
        return std::nullopt;
    seen.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    return seen;
}

void chooseCandidate(const SearchResults& results, const MissingMatch& match, RestoreStep& step)
{
    // A best candidate of another extension is a transcoded file, and the
    // files of the same name are weaker evidence.
    if (!match.found() || match.candidates.front().kind == MatchKind::OtherExtension) {
        step.reason = match.found() ? LeftReason::OtherExtension : LeftReason::NotFound;
        return;
    }
    const FileIndex& index = results.index();
    std::vector<Candidate> all = sameNameCandidates(index, match);
    // The best: the most shared folders, then the stored spelling, then by path.
    std::uint16_t best = 0;
    for (const Candidate& c : all)
        best = std::max(best, c.sharedFolders);
    std::vector<std::pair<std::string, bool>> tied; // path, same spelling
    for (const Candidate& c : all)
        if (c.sharedFolders == best)
            tied.emplace_back(index.filePath(c.file), c.sameSpelling);
    std::sort(tied.begin(), tied.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second : a.first < b.first;
    });
    // Each file once, however many names or links lead to it.
    std::vector<SeenFile> files;
    std::set<std::pair<std::uint64_t, std::uint64_t>> inodes;
    for (const auto& [path, spelling] : tied) {
        std::optional<SeenFile> seen = seeFile(path);
        if (seen && inodes.emplace(seen->identity.device, seen->identity.inode).second)
            files.push_back(std::move(*seen));
    }
    if (files.empty()) {
        step.reason = LeftReason::NotFound;
        return;
    }
    const std::vector<std::vector<std::size_t>> groups = groupByContent(files);
    if (groups.size() == 1) {
        step.putBack = true;
        step.source = files.front().path;
        step.sourceIdentity = files.front().identity;
        step.identicalCopies = files.size();
        return;
    }
    step.reason = LeftReason::DifferentFiles;
    for (const std::vector<std::size_t>& group : groups)
        step.differentSizes.push_back(files[group.front()].identity.size);
}

} // namespace korvane
