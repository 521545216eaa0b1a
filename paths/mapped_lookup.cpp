// How a mapped name is looked up on disk: the exact path, then the folders
// read, name by name, without regard to case; and what the run learnt of
// each folder of names.

#include "paths/mapped_lookup.h"

#include "paths/local_path.h"
#include "paths/name_match.h"
#include "paths/windows_path.h"
#include "text/system_error.h"

#include <cerrno>
#include <optional>

namespace korvane {

// What the folder names of mapped paths led to in this run: the names below
// the root of one mapping, all but the last.
struct MappedLookup::Chain {
    std::size_t mapping = 0;        // in drives_->all()
    std::vector<std::string> names; // as stored (decoded)
    std::string exactPath;          // the mapping's folder and `names`, the folder of the exact lookup
    bool resolved = false;          // the fields below are known
    // The folders on disk whose names match `names` without regard to case,
    // in the order they are tried: at each level the entry of exactly the
    // stored name first, then the others in the order read.
    std::vector<std::string> folders;
    std::vector<const DirectoryListing*> listings; // of each of `folders`, once read (or null)
    // Whether the exact path can be there: the folders read do not show
    // otherwise (a folder that could not be read shows nothing).
    bool exactMayExist = true;
    // When no folder matched: the deepest failure met (the path tried, less
    // the last name) and why.
    std::string failedPath;
    std::string reason;
};

// The deepest failure of one search, which is what the user is told: of
// failures at one depth, the first.
struct MappedLookup::Failure {
    bool failed = false;
    std::size_t depth = 0;
    std::string path;
    std::string reason;

    void fail(std::size_t at, std::string tried, std::string why)
    {
        if (failed && at <= depth)
            return;
        failed = true;
        depth = at;
        path = std::move(tried);
        reason = std::move(why);
    }
};

// What a decoded folder text ("D:\Media\Folder0001") leads to: for each
// mapping that covers its names, in the order tried, the mapping and the
// chain of its names, when every name in that folder can be looked for
// through them (see placeOf).
struct MappedLookup::Place {
    struct Way {
        std::size_t mapping = 0;
        std::uint32_t chain = 0;
    };
    bool known = false;
    std::string root; // Resolution::root
    std::vector<Way> ways;
};

MappedLookup::MappedLookup(std::shared_ptr<const DriveMap> drives, FolderReader& reader)
    : drives_(std::move(drives)), reader_(&reader), directories_(reader)
{
}

MappedLookup::~MappedLookup() = default;

void MappedLookup::clear()
{
    directories_.clear();
    places_.clear();
    placeList_.clear();
    chainKeys_.clear();
    chains_.clear();
}

// The names of one folder on a mapped drive share all but their last name:
// once a name of that folder has been looked for, the next ones go through
// what the first one learnt, keyed by the decoded text up to the last
// separator. Only a plain last name qualifies: one that is not a device
// name, nor empty or nothing but dots and spaces ("." and ".." included);
// taking the text apart then ends in that name, whatever it is.
bool MappedLookup::lookUpInKnownFolder(std::string_view text, Resolution& r, bool answerOnly)
{
    const std::size_t separator = text.find_last_of("\\/");
    if (separator == std::string_view::npos)
        return false;
    std::string_view last = text.substr(separator + 1);
    if (!containsWildcard(last)) {
        while (!last.empty() && (last.back() == '.' || last.back() == ' '))
            last.remove_suffix(1);
        if (last.empty())
            return false;
    }
    if (isReservedDeviceName(last))
        return false;
    const std::string_view folder = text.substr(0, separator);
    const std::uint32_t hash = places_.hashOf(folder);
    const std::uint32_t* known = places_.find(folder, hash);
    const std::uint32_t index = known ? *known : placeOf(text, folder, hash, last);
    const Place& place = placeList_[index];
    if (!place.known)
        return false;
    r.kind = PathKind::Mapped;
    r.root = place.root;
    for (const Place::Way& way : place.ways) {
        nextAttempt(r, answerOnly);
        r.mappedRoot = drives_->all()[way.mapping].root;
        lookUpIn(chains_[way.chain], last, r, answerOnly);
        if (r.found)
            break;
    }
    return true;
}

// Takes the whole text apart (its last name is `last`) to learn what its
// folder leads to. The folder qualifies when the text is a mapped path that
// finds something only by looking, and when no mapping's root could take
// the last name too (a root of as many names as the path), since then
// another last name could be covered by other mappings.
std::uint32_t MappedLookup::placeOf(std::string_view text, std::string_view folderText, std::uint32_t hash,
                                    std::string_view last)
{
    Place place;
    const std::optional<WindowsPath> path = splitWindowsPath(text);
    if (path && path->kind != WindowsPath::Root::NotAFile && path->findsNothing.empty() && !path->names.empty() &&
        path->names.back() == last) {
        const std::size_t depth = path->names.size();
        const std::vector<DriveMap::Match> matches = drives_->covering(path->root, path->names);
        if (!matches.empty() && matches.front().folders < depth && !mayTakeLastName(path->root, path->names)) {
            place.known = true;
            place.root = path->root;
            for (const DriveMap::Match& match : matches) {
                const auto mapping = static_cast<std::size_t>(match.mapping - drives_->all().data());
                place.ways.push_back({mapping, chainOf(mapping, path->names, match.folders, depth - 1)});
            }
        }
    }
    const auto index = static_cast<std::uint32_t>(placeList_.size());
    placeList_.push_back(std::move(place));
    places_.insert(folderText, hash, index);
    return index;
}

// Whether a mapping's root is the folder of `names` (on drive or share
// `root`) and one name more, which a last name could match.
bool MappedLookup::mayTakeLastName(std::string_view root, const std::vector<std::string>& names) const
{
    const std::string base = rootKey(root);
    for (const DriveMapping& mapping : drives_->all()) {
        const std::string_view drive = driveOrShare(mapping.root);
        if (rootKey(drive) != base)
            continue;
        std::string_view rest = std::string_view(mapping.root).substr(drive.size());
        if (!rest.empty())
            rest.remove_prefix(1);
        std::size_t k = 0;
        while (!rest.empty() && k + 1 < names.size() && foldCase(takePathName(rest)) == foldCase(names[k]))
            ++k;
        if (k + 1 == names.size() && !rest.empty() && rest.find('\\') == std::string_view::npos)
            return true;
    }
    return false;
}

// The chain of names[from..to) below the folder of mappings[mapping].
std::uint32_t MappedLookup::chainOf(std::size_t mapping, const std::vector<std::string>& names, std::size_t from,
                                    std::size_t to)
{
    // No name holds a separator, so "/" keeps the names apart.
    std::string& key = key_;
    key.assign(std::to_string(mapping));
    for (std::size_t k = from; k < to; ++k) {
        key += '/';
        key += names[k];
    }
    const auto index = static_cast<std::uint32_t>(chains_.size());
    const auto [kept, added] = chainKeys_.insert(key, index);
    if (!added)
        return *kept;
    Chain& chain = chains_.emplace_back();
    chain.mapping = mapping;
    chain.names.assign(names.begin() + static_cast<std::ptrdiff_t>(from),
                       names.begin() + static_cast<std::ptrdiff_t>(to));
    chain.exactPath = joinPath(drives_->all()[mapping].folder, chain.names, 0, chain.names.size());
    return index;
}

namespace {

std::string cannotRead(const std::string& dir, int error)
{
    const bool missing = error == ENOENT || error == ENOTDIR;
    return "folder " + inQuotes(dir) + (missing ? " not found" : " cannot be read: " + systemErrorText(error));
}

} // namespace

bool MappedLookup::pathExists(const std::string& path)
{
    EntryKind kind{};
    return reader_->lookUp(path, kind) == 0;
}

bool MappedLookup::isDirectory(const std::string& path)
{
    EntryKind kind{};
    return reader_->lookUp(path, kind) == 0 && kind == EntryKind::Folder;
}

void MappedLookup::lookUp(std::size_t mapping, const std::vector<std::string>& names, Resolution& r, bool answerOnly)
{
    if (names.empty()) { // the stored path is the root of its mapping
        const std::string& folder = drives_->all()[mapping].folder;
        r.localPath = folder;
        r.found = pathExists(folder);
        if (!r.found)
            r.reason = "folder " + inQuotes(folder) + " not found";
        return;
    }
    lookUpIn(chains_[chainOf(mapping, names, 0, names.size() - 1)], names.back(), r, answerOnly);
}

// Looks for `name` in the folders of `chain`: the exact path first, then the
// entries of each folder without regard to case. Once the chain is known the
// exact lookup is left out where it cannot find anything, as far as the
// folders read show, and for an answer alone also where they show an entry
// that matches and needs no stat.
void MappedLookup::lookUpIn(Chain& chain, std::string_view name, Resolution& r, bool answerOnly)
{
    const bool wildcard = containsWildcard(name);
    const bool exactLookup = !wildcard && (!chain.resolved || chain.exactMayExist || !answerOnly);
    if (exactLookup && answerOnly && chain.resolved && foundInSnapshot(chain, name, r))
        return;
    if (exactLookup) {
        assignChildPath(r.localPath, chain.exactPath, name);
        if (pathExists(r.localPath)) {
            r.found = true;
            return;
        }
    }
    if (!chain.resolved)
        resolveChain(chain);
    if (chain.folders.empty()) {
        r.localPath = childPath(chain.failedPath, name);
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
bool MappedLookup::foundInSnapshot(Chain& chain, std::string_view name, Resolution& r)
{
    if (chain.folders.empty() || chain.folders.front() != chain.exactPath)
        return false;
    const DirectoryListing& listing = listingOf(chain, 0);
    if (listing.error != 0)
        return false;
    foldCaseInto(folded_, name);
    for (std::uint32_t k = listing.first(folded_); k != DirectoryListing::kNoEntry;
         k = listing.entries[k].nextSameFold) {
        const DirectoryListing::Entry& entry = listing.entries[k];
        if (entry.kind != EntryKind::Link) {
            assignChildPath(r.localPath, chain.folders.front(), listing.name(entry));
            r.found = true;
            return true;
        }
    }
    return false;
}

const DirectoryListing& MappedLookup::listingOf(Chain& chain, std::size_t k)
{
    if (!chain.listings[k])
        chain.listings[k] = &directories_.list(chain.folders[k]);
    return *chain.listings[k];
}

void MappedLookup::resolveChain(Chain& chain)
{
    Failure failure;
    collect(drives_->all()[chain.mapping].folder, 0, chain, failure);
    chain.failedPath = std::move(failure.path);
    chain.reason = std::move(failure.reason);
    chain.listings.assign(chain.folders.size(), nullptr);
    chain.exactMayExist = exactPathMayExist(chain);
    chain.resolved = true;
}

// Adds to chain.folders every folder below `dir` whose names match
// chain.names[depth..] without regard to case, the exact one first.
void MappedLookup::collect(const std::string& dir, std::size_t depth, Chain& chain, Failure& failure)
{
    const std::vector<std::string>& names = chain.names;
    if (depth == names.size()) {
        chain.folders.push_back(dir);
        return;
    }
    const std::string& name = names[depth];
    const DirectoryListing& listing = directories_.list(dir);
    if (listing.error != 0) {
        failure.fail(depth, joinPath(dir, names, depth, names.size()), cannotRead(dir, listing.error));
        return;
    }
    foldCaseInto(folded_, name);
    const std::uint32_t first = listing.first(folded_);
    if (first == DirectoryListing::kNoEntry) {
        failure.fail(depth, joinPath(dir, names, depth, names.size()),
                     "no entry named " + inQuotes(name) + " in folder " + inQuotes(dir));
        return;
    }
    listing.forEachMatch(first, name, [&](const DirectoryListing::Entry& entry) {
        const std::string_view entryName = listing.name(entry);
        std::string path = childPath(dir, entryName);
        const bool needsStat = entry.kind == EntryKind::Link;
        if (entry.kind == EntryKind::Folder || (needsStat && isDirectory(path)))
            collect(path, depth + 1, chain, failure);
        else
            failure.fail(depth, joinPath(path, names, depth + 1, names.size()),
                         inQuotes(entryName) + " in folder " + inQuotes(dir) + " is not a folder");
        return false;
    });
}

// Whether the folders read show that the exact path of `chain` cannot be
// there: a name of it not in its folder, or not a folder.
bool MappedLookup::exactPathMayExist(const Chain& chain)
{
    std::string dir = drives_->all()[chain.mapping].folder;
    for (const std::string& name : chain.names) {
        const DirectoryListing& listing = directories_.list(dir);
        if (listing.error != 0)
            return true;
        foldCaseInto(folded_, name);
        std::uint32_t k = listing.first(folded_);
        while (k != DirectoryListing::kNoEntry && listing.name(listing.entries[k]) != name)
            k = listing.entries[k].nextSameFold;
        if (k == DirectoryListing::kNoEntry)
            return false;
        const EntryKind kind = listing.entries[k].kind;
        dir = childPath(dir, name);
        if (!(kind == EntryKind::Folder || (kind == EntryKind::Link && isDirectory(dir))))
            return false;
    }
    return true;
}

// Looks for the last name `name` (at `depth` below the mapping) in `dir`;
// every entry that matches it counts, the exact one first.
bool MappedLookup::findIn(const std::string& dir, const DirectoryListing& listing, std::string_view name,
                          std::size_t depth, Failure& failure, std::string& found)
{
    if (listing.error != 0) {
        failure.fail(depth, childPath(dir, name), cannotRead(dir, listing.error));
        return false;
    }
    if (containsWildcard(name)) {
        for (const DirectoryListing::Entry& entry : listing.entries) {
            if (matchesIgnoringCase(name, listing.name(entry))) {
                assignChildPath(found, dir, listing.name(entry));
                return true;
            }
        }
        failure.fail(depth, childPath(dir, name), "nothing matches " + inQuotes(name) + " in folder " + inQuotes(dir));
        return false;
    }
    foldCaseInto(folded_, name);
    const std::uint32_t first = listing.first(folded_);
    if (first == DirectoryListing::kNoEntry) {
        failure.fail(depth, childPath(dir, name), "no entry named " + inQuotes(name) + " in folder " + inQuotes(dir));
        return false;
    }
    return listing.forEachMatch(first, name, [&](const DirectoryListing::Entry& entry) {
        const std::string_view entryName = listing.name(entry);
        const bool needsStat = entry.kind == EntryKind::Link;
        if (!needsStat) {
            assignChildPath(found, dir, entryName);
            return true;
        }
        std::string path = childPath(dir, entryName);
        if (pathExists(path)) {
            found = std::move(path);
            return true;
        }
        failure.fail(depth, std::move(path), inQuotes(entryName) + " in folder " + inQuotes(dir) + " is a broken link");
        return false;
    });
}

} // namespace korvane
