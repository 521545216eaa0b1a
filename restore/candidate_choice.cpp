#include "restore/candidate_choice.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

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

void chooseCandidate(const SearchResults& results, std::size_t k, RestoreStep& step)
{
    const MissingMatch& match = results.matches()[k];
    const Decision& decision = results.decisions()[k];
    const FileIndex& index = results.index();
    switch (decision.kind) {
    case Decision::Kind::NotFound:
        step.reason = match.found() && match.candidates.front().kind == MatchKind::OtherExtension
                          ? LeftReason::OtherExtension
                          : LeftReason::NotFound;
        return;
    case Decision::Kind::OtherShoot:
        step.reason = LeftReason::OtherShoot;
        return;
    case Decision::Kind::Ambiguous:
        step.reason = LeftReason::DifferentFiles;
        for (const FileId file : decision.contenders) {
            const std::optional<SeenFile> seen = seeFile(index.filePath(file));
            step.differentSizes.push_back(seen ? seen->identity.size : 0);
            step.choices.push_back({seen ? seen->path : index.filePath(file), seen ? seen->identity.size : 0,
                                    seen ? seen->identity.mtime : 0});
        }
        return;
    case Decision::Kind::Chosen:
        break;
    }
    const std::optional<SeenFile> seen = seeFile(index.filePath(decision.chosen));
    if (!seen) {
        step.reason = LeftReason::NotFound;
        return;
    }
    step.putBack = true;
    step.source = seen->path;
    step.sourceIdentity = seen->identity;
    step.identicalCopies = decision.identical;
}

} // namespace korvane
