// How PathResolver looks a mapped name up on disk: the exact path, then
// the folders read, name by name, without regard to case.

#include "paths/name_match.h"
#include "paths/path_resolver.h"
#include "paths/path_resolver_run.h"
#include "paths/windows_path.h"
#include "text/system_error.h"

#include <cerrno>
#include <cstring>

namespace korvane {

using namespace resolver_detail;

namespace {

std::string cannotRead(const std::string& dir, int error)
{
    const bool missing = error == ENOENT || error == ENOTDIR;
    return "folder " + inQuotes(dir) + (missing ? " not found" : " cannot be read: " + systemErrorText(error));
}

} // namespace

bool PathResolver::pathExists(const std::string& path)
{
    EntryKind kind{};
    return reader_->lookUp(path, kind) == 0;
}

bool PathResolver::isDirectory(const std::string& path)
{
    EntryKind kind{};
    return reader_->lookUp(path, kind) == 0 && kind == EntryKind::Folder;
}

void PathResolver::lookUp(std::size_t mapping, const std::vector<std::string>& names, Resolution& r, bool answerOnly)
{
    if (names.empty()) { // the stored path is the root of its mapping
        const std::string& folder = drives_.all()[mapping].folder;
        r.localPath = folder;
        r.found = pathExists(folder);
        if (!r.found)
            r.reason = "folder " + inQuotes(folder) + " not found";
        return;
    }
    lookUpIn(run_->chains[chainOf(mapping, names, 0, names.size() - 1)], names.back(), r, answerOnly);
}

// Looks for `name` in the folders of `chain`: the exact path first, then the
// entries of each folder without regard to case. Once the chain is known the
// exact lookup is left out where it cannot find anything, as far as the
// folders read show, and for an answer alone also where they show an entry
// that matches and needs no stat.
void PathResolver::lookUpIn(Chain& chain, std::string_view name, Resolution& r, bool answerOnly)
{
    const bool wildcard = containsWildcard(name);
    const bool exactLookup = !wildcard && (!chain.resolved || chain.exactMayExist || !answerOnly);
    if (exactLookup && answerOnly && chain.resolved && foundInSnapshot(chain, name, r))
        return;
    if (exactLookup) {
        assignChild(r.localPath, chain.exactPath, name);
        if (pathExists(r.localPath)) {
            r.found = true;
            return;
        }
    }
    if (!chain.resolved)
        resolveChain(chain);
    if (chain.folders.empty()) {
        r.localPath = child(chain.failedPath, name);
        r.reason = chain.reason;
        return;
    }
    Failure failure;
    const std::size_t depth = chain.names.size();
    for (std::size_t k = 0; k < chain.folders.size(); ++k) {
        if (findIn(chain.folders[k], listingOf(chain, k), name, depth, failure, r.localPath)) {
            r.found = true;
            return;
        }
    }
    r.localPath = std::move(failure.path);
    r.reason = std::move(failure.reason);
}

// Whether the exact folder of `chain`, as read, holds an entry that matches
// `name` (in any case) and needs no stat: then the name is found whether or
// not the exact lookup finds it.
bool PathResolver::foundInSnapshot(Chain& chain, std::string_view name, Resolution& r)
{
    if (chain.folders.empty() || chain.folders.front() != chain.exactPath)
        return false;
    const DirectoryListing& listing = listingOf(chain, 0);
    if (listing.error != 0)
        return false;
    foldCaseInto(run_->folded, name);
    for (std::uint32_t k = listing.first(run_->folded); k != DirectoryListing::kNoEntry;
         k = listing.entries[k].nextSameFold) {
        const DirectoryListing::Entry& entry = listing.entries[k];
        if (entry.kind != EntryKind::Link) {
            assignChild(r.localPath, chain.folders.front(), listing.name(entry));
            r.found = true;
            return true;
        }
    }
    return false;
}

const DirectoryListing& PathResolver::listingOf(Chain& chain, std::size_t k)
{
    if (!chain.listings[k])
        chain.listings[k] = &run_->directories.list(chain.folders[k]);
    return *chain.listings[k];
}

void PathResolver::resolveChain(Chain& chain)
{
    Failure failure;
    collect(drives_.all()[chain.mapping].folder, 0, chain, failure);
    chain.failedPath = std::move(failure.path);
    chain.reason = std::move(failure.reason);
    chain.listings.assign(chain.folders.size(), nullptr);
    chain.exactMayExist = exactPathMayExist(chain);
    chain.resolved = true;
}

// Adds to chain.folders every folder below `dir` whose names match
// chain.names[depth..] without regard to case, the exact one first.
void PathResolver::collect(const std::string& dir, std::size_t depth, Chain& chain, Failure& failure)
{
    const std::vector<std::string>& names = chain.names;
    if (depth == names.size()) {
        chain.folders.push_back(dir);
        return;
    }
    const std::string& name = names[depth];
    const DirectoryListing& listing = run_->directories.list(dir);
    if (listing.error != 0) {
        failure.fail(depth, join(dir, names, depth, names.size()), cannotRead(dir, listing.error));
        return;
    }
    foldCaseInto(run_->folded, name);
    const std::uint32_t first = listing.first(run_->folded);
    if (first == DirectoryListing::kNoEntry) {
        failure.fail(depth, join(dir, names, depth, names.size()),
                     "no entry named " + inQuotes(name) + " in folder " + inQuotes(dir));
        return;
    }
    listing.forEachMatch(first, name, [&](const DirectoryListing::Entry& entry) {
        const std::string_view entryName = listing.name(entry);
        std::string path = child(dir, entryName);
        const bool needsStat = entry.kind == EntryKind::Link;
        if (entry.kind == EntryKind::Folder || (needsStat && isDirectory(path)))
            collect(path, depth + 1, chain, failure);
        else
            failure.fail(depth, join(path, names, depth + 1, names.size()),
                         inQuotes(entryName) + " in folder " + inQuotes(dir) + " is not a folder");
        return false;
    });
}

// Whether the folders read show that the exact path of `chain` cannot be
// there: a name of it not in its folder, or not a folder.
bool PathResolver::exactPathMayExist(const Chain& chain)
{
    std::string dir = drives_.all()[chain.mapping].folder;
    for (const std::string& name : chain.names) {
        const DirectoryListing& listing = run_->directories.list(dir);
        if (listing.error != 0)
            return true;
        foldCaseInto(run_->folded, name);
        std::uint32_t k = listing.first(run_->folded);
        while (k != DirectoryListing::kNoEntry && listing.name(listing.entries[k]) != name)
            k = listing.entries[k].nextSameFold;
        if (k == DirectoryListing::kNoEntry)
            return false;
        const EntryKind kind = listing.entries[k].kind;
        dir = child(dir, name);
        if (!(kind == EntryKind::Folder || (kind == EntryKind::Link && isDirectory(dir))))
            return false;
    }
    return true;
}

// Looks for the last name `name` (at `depth` below the mapping) in `dir`;
// every entry that matches it counts, the exact one first.
bool PathResolver::findIn(const std::string& dir, const DirectoryListing& listing, std::string_view name,
                          std::size_t depth, Failure& failure, std::string& found)
{
    if (listing.error != 0) {
        failure.fail(depth, child(dir, name), cannotRead(dir, listing.error));
        return false;
    }
    if (containsWildcard(name)) {
        for (const DirectoryListing::Entry& entry : listing.entries) {
            if (matchesIgnoringCase(name, listing.name(entry))) {
                assignChild(found, dir, listing.name(entry));
                return true;
            }
        }
        failure.fail(depth, child(dir, name), "nothing matches " + inQuotes(name) + " in folder " + inQuotes(dir));
        return false;
    }
    foldCaseInto(run_->folded, name);
    const std::uint32_t first = listing.first(run_->folded);
    if (first == DirectoryListing::kNoEntry) {
        failure.fail(depth, child(dir, name), "no entry named " + inQuotes(name) + " in folder " + inQuotes(dir));
        return false;
    }
    return listing.forEachMatch(first, name, [&](const DirectoryListing::Entry& entry) {
        const std::string_view entryName = listing.name(entry);
        const bool needsStat = entry.kind == EntryKind::Link;
        if (!needsStat) {
            assignChild(found, dir, entryName);
            return true;
        }
        std::string path = child(dir, entryName);
        if (pathExists(path)) {
            found = std::move(path);
            return true;
        }
        failure.fail(depth, std::move(path), inQuotes(entryName) + " in folder " + inQuotes(dir) + " is a broken link");
        return false;
    });
}

} // namespace korvane
