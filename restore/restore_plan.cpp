#include "restore/restore_plan.h"

#include "restore/content_hash.h"
#include "text/terminal_quote.h"
#include "text/unicode_text.h"
#include "text/system_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

std::string join(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

bool isFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder of `dir` named `name` in another letter case, the first in the
// order listed; empty when there is none.
std::string folderInOtherCase(const std::string& dir, const std::string& name)
{
    DIR* stream = ::opendir(dir.c_str());
    if (!stream)
        return {};
    const std::string folded = foldCase(name);
    std::string found;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == ".." || foldCase(entryName) != folded)
            continue;
        const std::string path = join(dir, entryName);
        if (isFolder(path)) {
            found = path;
            break;
        }
    }
    ::closedir(stream);
    return found;
}

// The local place of `names` below `folder`: each folder that exists taken
// as it is on disk (the exact name first, then one in another case), the
// rest as stored.
std::string placeBelow(std::string folder, const std::vector<std::string>& names, std::size_t from)
{
    bool exists = isFolder(folder);
    for (std::size_t k = from; k + 1 < names.size(); ++k) {
        std::string next = join(folder, names[k]);
        if (exists && !isFolder(next)) {
            if (std::string other = folderInOtherCase(folder, names[k]); !other.empty())
                next = std::move(other);
            else
                exists = false;
        }
        folder = std::move(next);
    }
    return join(folder, names.back());
}

// The deepest folder of `path`'s folders that exists.
std::string existingFolderOf(std::string path)
{
    for (;;) {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos)
            return ".";
        path.resize(slash == 0 ? 1 : slash);
        if (isFolder(path) || path == "/")
            return path;
    }
}

// A path made absolute from the current folder, as it is looked for.
std::string absolute(const std::string& path)
{
    if (path.starts_with('/'))
        return path;
    char* here = ::getcwd(nullptr, 0);
    if (!here)
        return path;
    std::string out = join(here, path);
    std::free(here);
    return out;
}

int accessForWriting(const std::string& folder)
{
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

// Chooses the candidate to put back, or says why none is chosen.
void choose(const SearchResults& results, const MissingMatch& match, RestoreStep& step)
{
    // Best first: the most shared folders, then the same name before another
    // extension. A best candidate of another extension is a transcoded file,
    // and the files of the same name are weaker evidence.
    if (!match.found() || match.candidates.front().kind == MatchKind::OtherExtension) {
        step.reason = match.found() ? LeftReason::OtherExtension : LeftReason::NotFound;
        return;
    }
    std::vector<const Candidate*> same;
    for (const Candidate& candidate : match.candidates) {
        if (candidate.kind == MatchKind::SameName)
            same.push_back(&candidate);
    }
    // The candidates are ranked by shared folders first.
    const std::uint16_t best = same.front()->sharedFolders;
    std::size_t tied = 1;
    while (tied < same.size() && same[tied]->sharedFolders == best)
        ++tied;
    const FileIndex& index = results.index();
    step.source = index.filePath(same.front()->file);
    // A list that was cut may hold more of the best.
    const bool allSeen = match.candidateCount == match.candidates.size() || tied < same.size();
    if (tied == 1 && allSeen) {
        step.putBack = true;
        return;
    }
    // Equally good: put back only when they are one file; sizes first, the
    // content only when the sizes agree.
    std::vector<std::optional<std::uint64_t>> sizes;
    for (std::size_t k = 0; k < tied; ++k) {
        struct stat st;
        const std::string path = index.filePath(same[k]->file);
        sizes.push_back(::stat(path.c_str(), &st) == 0 ? std::optional<std::uint64_t>(st.st_size) : std::nullopt);
    }
    bool identical =
        allSeen && std::all_of(sizes.begin(), sizes.end(), [&](const auto& s) { return s && s == sizes[0]; });
    if (identical) {
        const std::optional<ContentHash> first = hashFile(step.source);
        for (std::size_t k = 1; identical && k < tied; ++k)
            identical = first && hashFile(index.filePath(same[k]->file)) == first;
    }
    if (identical) {
        step.putBack = true;
        return;
    }
    step.reason = LeftReason::DifferentFiles;
    step.source.clear();
    // Different files: one size a distinct content.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> seen; // size, hash
    for (std::size_t k = 0; k < tied; ++k) {
        const std::uint64_t size = sizes[k].value_or(0);
        std::uint64_t hash = 0;
        if (std::count(sizes.begin(), sizes.end(), sizes[k]) > 1) {
            const std::optional<ContentHash> h = hashFile(index.filePath(same[k]->file));
            hash = h ? h->hash : k + 1;
        }
        if (std::find(seen.begin(), seen.end(), std::pair(size, hash)) == seen.end()) {
            seen.emplace_back(size, hash);
            step.differentSizes.push_back(size);
        }
    }
    if (step.differentSizes.size() < 2) // more of the best were cut from the list
        step.differentSizes.resize(std::max<std::size_t>(2, tied), sizes[0].value_or(0));
}

std::string listOf(const std::vector<std::uint64_t>& sizes)
{
    std::string out;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        if (k > 0)
            out += k + 1 == sizes.size() ? " and " : ", ";
        out += std::to_string(sizes[k]);
    }
    return out + " bytes";
}

} // namespace

std::size_t RestorePlan::putBackCount() const
{
    return static_cast<std::size_t>(
        std::count_if(steps.begin(), steps.end(), [](const RestoreStep& s) { return s.putBack; }));
}

std::string describeLeft(const RestoreStep& step)
{
    switch (step.reason) {
    case LeftReason::NotFound:
        return "not found";
    case LeftReason::OtherExtension:
        return "the closest file found has another extension (a transcoded file is not the original)";
    case LeftReason::DifferentFiles:
        return std::to_string(step.differentSizes.size()) + " different files found (" +
               listOf(step.differentSizes) + ")";
    case LeftReason::NoMapping:
        return "no mapping for " + std::string(step.detail.starts_with("\\\\") ? "share " : "drive ") +
               quoteName(step.detail);
    case LeftReason::NotWritable:
        return "cannot write in folder " + quoteName(step.detail) + ": " + systemErrorText(step.error);
    case LeftReason::NotSearched:
        return "not searched for: " + step.detail;
    case LeftReason::AlreadyThere:
        return "its place holds an entry now: " + quoteName(step.destination);
    }
    return {};
}

RestorePlan makeRestorePlan(const SearchResults& results, PathResolver& resolver, const PlanOptions& options)
{
    RestorePlan plan;
    for (const MissingMatch& match : results.matches()) {
        RestoreStep& step = plan.steps.emplace_back();
        step.stored = match.file.stored;
        step.decoded = match.file.decoded;
        if (!match.path.notSearched.empty()) {
            step.reason = LeftReason::NotSearched;
            step.detail = match.path.notSearched;
            continue;
        }
        const Resolution resolution = resolver.resolve(match.file.stored);
        if (resolution.kind == PathKind::NotAFile) {
            step.reason = LeftReason::NotSearched;
            step.detail = "it names no file";
            continue;
        }
        if (resolution.kind == PathKind::NoMapping) {
            step.reason = LeftReason::NoMapping;
            step.detail = resolution.root;
            continue;
        }
        if (resolution.kind == PathKind::Mapped) {
            std::vector<std::string> names = match.path.folders;
            names.push_back(match.path.name);
            const DriveMap::Match mapping = resolver.drives().match(match.path.root, names);
            if (!mapping.mapping || mapping.folders >= names.size()) {
                step.reason = LeftReason::NotSearched;
                step.detail = "it names the folder of a mapping";
                continue;
            }
            step.destination = placeBelow(mapping.mapping->folder, names, mapping.folders);
        } else {
            step.destination = absolute(resolution.localPath);
        }
        struct stat st;
        if (resolution.found || ::lstat(step.destination.c_str(), &st) == 0) {
            step.reason = LeftReason::AlreadyThere;
            continue;
        }
        choose(results, match, step);
        if (!step.putBack)
            continue;
        const std::string folder = existingFolderOf(step.destination);
        if (const int error = options.writable ? options.writable(folder) : accessForWriting(folder); error != 0) {
            step.putBack = false;
            step.reason = LeftReason::NotWritable;
            step.detail = folder;
            step.source.clear();
            step.error = error;
        }
    }
    return plan;
}

} // namespace korvane
