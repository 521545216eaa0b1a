#include "paths/path_resolver.h"

#include "paths/config_file.h"
#include "report/file_probe.h"
#include "paths/name_match.h"
#include "paths/directory_listing.h"
#include "text/ascii.h"
#include "text/string_table.h"
#include "paths/windows_path.h"

#include <dirent.h> // DT_DIR, DT_LNK, DT_UNKNOWN
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace korvane {

namespace {

std::string child(const std::string& dir, std::string_view name)
{
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

// child(dir, name) into `out`, which keeps its memory.
void assignChild(std::string& out, const std::string& dir, std::string_view name)
{
    out.assign(dir);
    if (out.empty() || out.back() != '/')
        out += '/';
    out += name;
}

// `dir` followed by names[from..to).
std::string join(const std::string& dir, const std::vector<std::string>& names, std::size_t from, std::size_t to)
{
    std::string path = dir;
    for (std::size_t k = from; k < to; ++k)
        path = child(path, names[k]);
    return path;
}

std::string inQuotes(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

std::string cannotRead(const std::string& dir, int error)
{
    const bool missing = error == ENOENT || error == ENOTDIR;
    return "folder " + inQuotes(dir) + (missing ? " not found" : " cannot be read: " + std::string(std::strerror(error)));
}

bool pathExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// "no mapping for drive D:", "no mapping for drive D: outside D:\Video and
// D:\Audio".
std::string noMappingReason(bool drive, const std::string& root, const std::vector<const DriveMapping*>& folders)
{
    std::string reason = (drive ? "no mapping for drive " : "no mapping for share ") + root;
    if (folders.empty())
        return reason;
    std::vector<std::string> roots;
    for (const DriveMapping* folder : folders)
        roots.push_back(folder->root);
    return reason + " outside " + joinWithAnd(roots);
}

bool runningUnderWsl()
{
    if (const char* distro = std::getenv("WSL_DISTRO_NAME"); distro && *distro)
        return true;
    std::ifstream release("/proc/sys/kernel/osrelease");
    std::string text;
    std::getline(release, text);
    return foldCase(text).find("microsoft") != std::string::npos;
}

} // namespace

// What the folder names of mapped paths led to in this run: the names below
// the root of one mapping, all but the last.
struct PathResolver::Chain {
    std::size_t mapping = 0;        // in drives_.all()
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
struct PathResolver::Failure {
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

// What a decoded folder text ("D:\Media\Folder0001") leads to: its names'
// mapping and chain, when every name in that folder can be looked for
// through them (see placeOf).
struct PathResolver::Place {
    bool known = false;
    std::string root; // Resolution::root
    std::size_t mapping = 0;
    std::uint32_t chain = 0;
};

// All that one run remembers.
struct PathResolver::Run {
    DirectoryListings directories;
    StringTable known;  // stored names looked for: 1 found, 0 not
    StringTable places; // decoded folder texts -> index in placeList
    std::vector<Place> placeList;
    StringTable chainKeys; // mapping and names -> index in chains
    std::vector<Chain> chains;
    std::string text;   // the stored name being looked for, decoded
    std::string key;    // a chain's key being made
    std::string folded; // a name being looked for, folded
    Resolution scratch; // what exists() resolves into

    void clear()
    {
        directories.clear();
        known.clear();
        places.clear();
        placeList.clear();
        chainKeys.clear();
        chains.clear();
    }
};

std::string describe(const Resolution& r)
{
    if (r.found)
        return r.kind == PathKind::Mapped ? "found as " + r.localPath : "found as stored";
    switch (r.kind) {
    case PathKind::Mapped:
        return "tried " + r.localPath + ": " + r.reason;
    case PathKind::NoMapping:
        return r.reason + ", looked for as stored";
    case PathKind::NotAFile:
        return r.reason;
    case PathKind::NotWindows:
        break;
    }
    return "not found as stored";
}

MappingSources MappingSources::fromEnvironment()
{
    MappingSources sources;
    sources.configFile = defaultConfigPath();
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        sources.winePrefix = prefix;
    else if (const char* home = std::getenv("HOME"); home && *home)
        sources.winePrefix = std::filesystem::path(home) / ".wine";
    if (runningUnderWsl())
        sources.wslRoot = "/mnt";
    return sources;
}

ResolverSettings loadResolverSettings(const MappingSources& sources)
{
    ResolverSettings settings;
    settings.drives.add(sources.explicitMappings);
    if (!sources.configFile.empty()) {
        std::string error;
        const ConfigFile config = ConfigFile::load(sources.configFile, &error);
        if (!error.empty())
            settings.warnings.push_back(error);
        for (const std::string& warning : config.warnings())
            settings.warnings.push_back(sources.configFile.string() + ", " + warning);
        settings.drives.add(config.mappings());
        if (const std::optional<std::string> codePage = config.codePage())
            settings.codePage = *codePage;
    }
    settings.drives.add(wineMappings(sources.winePrefix));
    settings.drives.add(wslMappings(sources.wslRoot));
    return settings;
}

PathResolver::PathResolver(DriveMap drives, TextDecoder decoder)
    : drives_(std::move(drives)), decoder_(std::move(decoder)), run_(std::make_unique<Run>())
{
}

PathResolver::~PathResolver() = default;
PathResolver::PathResolver(PathResolver&&) noexcept = default;
PathResolver& PathResolver::operator=(PathResolver&&) noexcept = default;

void PathResolver::newRun()
{
    run_->clear();
    unmapped_.clear();
    unmappedKeys_.clear();
}

bool PathResolver::exists(std::string_view stored)
{
    StringTable& known = run_->known;
    const std::uint32_t hash = known.hashOf(stored);
    if (const std::uint32_t* found = known.find(stored, hash))
        return *found != 0;
    bool found = false;
    if (isWindowsPath(stored)) {
        resolveInto(stored, run_->scratch, true);
        found = run_->scratch.found;
    } else {
        found = findFirst(stored);
    }
    known.insert(stored, hash, found ? 1 : 0);
    return found;
}

std::string PathResolver::explain(std::string_view stored)
{
    return describe(resolve(stored));
}

Resolution PathResolver::resolve(std::string_view stored)
{
    Resolution r;
    resolveInto(stored, r, false);
    return r;
}

// With `answerOnly` only r.found counts, and it may be answered from the
// folders read without the exact lookup where that lookup could change the
// path found but not whether something is found.
void PathResolver::resolveInto(std::string_view stored, Resolution& r, bool answerOnly)
{
    r.kind = PathKind::NotWindows;
    r.found = false;
    r.root.clear();
    r.mappedRoot.clear();
    r.localPath.clear();
    r.reason.clear();
    if (!isWindowsPath(stored)) {
        r.localPath = stored;
        r.found = findFirst(stored);
        if (!r.found)
            r.reason = "not found";
        return;
    }
    decoder_.toUtf8(stored, run_->text);
    if (resolveInKnownFolder(r, answerOnly))
        return;

    std::optional<WindowsPath> path = splitWindowsPath(run_->text);
    if (!path) { // not expected: the decoded text starts as the stored bytes do
        r.localPath = stored;
        r.found = findFirst(stored);
        if (!r.found)
            r.reason = "not found";
        return;
    }
    r.root = path->root;
    if (path->kind == WindowsPath::Root::NotAFile) {
        r.kind = PathKind::NotAFile;
        r.localPath = stored;
        r.reason = path->findsNothing;
        return;
    }
    const DriveMap::Match match = drives_.match(path->root, path->names);
    if (!match.mapping) {
        noteUnmapped(path->root);
        r.kind = PathKind::NoMapping;
        r.localPath = stored;
        r.found = findFirst(stored);
        if (!r.found)
            r.reason = noMappingReason(path->kind == WindowsPath::Root::Drive, path->root, drives_.foldersOn(path->root));
        return;
    }
    r.kind = PathKind::Mapped;
    r.mappedRoot = match.mapping->root;
    std::vector<std::string> below = std::move(path->names);
    below.erase(below.begin(), below.begin() + static_cast<std::ptrdiff_t>(match.folders));
    if (!path->findsNothing.empty()) {
        r.localPath = join(match.mapping->folder, below, 0, below.size());
        r.reason = path->findsNothing;
        return;
    }
    lookUp(static_cast<std::size_t>(match.mapping - drives_.all().data()), below, r, answerOnly);
}

// The names of one folder on a mapped drive share all but their last name:
// once a name of that folder has been looked for, the next ones go through
// what the first one learnt, keyed by the decoded text up to the last
// separator. Only a plain last name qualifies: one that is not a device
// name, nor empty or nothing but dots and spaces ("." and ".." included);
// taking the text apart then ends in that name, whatever it is.
bool PathResolver::resolveInKnownFolder(Resolution& r, bool answerOnly)
{
    Run& run = *run_;
    const std::string_view text = run.text;
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
    const std::uint32_t hash = run.places.hashOf(folder);
    const std::uint32_t* known = run.places.find(folder, hash);
    const std::uint32_t index = known ? *known : placeOf(folder, hash, last);
    const Place& place = run.placeList[index];
    if (!place.known)
        return false;
    r.kind = PathKind::Mapped;
    r.root = place.root;
    r.mappedRoot = drives_.all()[place.mapping].root;
    lookUpIn(run.chains[place.chain], last, r, answerOnly);
    return true;
}

// Takes the whole text apart (its last name is `last`) to learn what its
// folder leads to. The folder qualifies when the text is a mapped path that
// finds something only by looking, and when no mapping's root could take
// the last name too (a root of as many names as the path), since then
// another last name could choose another mapping.
std::uint32_t PathResolver::placeOf(std::string_view folderText, std::uint32_t hash, std::string_view last)
{
    Place place;
    const std::optional<WindowsPath> path = splitWindowsPath(run_->text);
    if (path && path->kind != WindowsPath::Root::NotAFile && path->findsNothing.empty() && !path->names.empty() &&
        path->names.back() == last) {
        const std::size_t depth = path->names.size();
        const DriveMap::Match match = drives_.match(path->root, path->names);
        if (match.mapping && match.folders < depth && !mayTakeLastName(path->root, path->names)) {
            place.known = true;
            place.root = path->root;
            place.mapping = static_cast<std::size_t>(match.mapping - drives_.all().data());
            place.chain = chainOf(place.mapping, path->names, match.folders, depth - 1);
        }
    }
    const auto index = static_cast<std::uint32_t>(run_->placeList.size());
    run_->placeList.push_back(std::move(place));
    run_->places.insert(folderText, hash, index);
    return index;
}

// Whether a mapping's root is the folder of `names` (on drive or share
// `root`) and one name more, which a last name could match.
bool PathResolver::mayTakeLastName(std::string_view root, const std::vector<std::string>& names) const
{
    const std::string base = rootKey(root);
    for (const DriveMapping& mapping : drives_.all()) {
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
std::uint32_t PathResolver::chainOf(std::size_t mapping, const std::vector<std::string>& names, std::size_t from,
                                    std::size_t to)
{
    // No name holds a separator, so "/" keeps the names apart.
    std::string& key = run_->key;
    key.assign(std::to_string(mapping));
    for (std::size_t k = from; k < to; ++k) {
        key += '/';
        key += names[k];
    }
    const auto index = static_cast<std::uint32_t>(run_->chains.size());
    const auto [kept, added] = run_->chainKeys.insert(key, index);
    if (!added)
        return *kept;
    Chain& chain = run_->chains.emplace_back();
    chain.mapping = mapping;
    chain.names.assign(names.begin() + static_cast<std::ptrdiff_t>(from),
                       names.begin() + static_cast<std::ptrdiff_t>(to));
    chain.exactPath = join(drives_.all()[mapping].folder, chain.names, 0, chain.names.size());
    return index;
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
        if (entry.type != DT_LNK && entry.type != DT_UNKNOWN) {
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
        const bool needsStat = entry.type == DT_LNK || entry.type == DT_UNKNOWN;
        if (entry.type == DT_DIR || (needsStat && isDirectory(path)))
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
        const unsigned char type = listing.entries[k].type;
        dir = child(dir, name);
        if (!(type == DT_DIR || ((type == DT_LNK || type == DT_UNKNOWN) && isDirectory(dir))))
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
        const bool needsStat = entry.type == DT_LNK || entry.type == DT_UNKNOWN;
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

void PathResolver::noteUnmapped(const std::string& root)
{
    std::string key = rootKey(root);
    if (std::find(unmappedKeys_.begin(), unmappedKeys_.end(), key) != unmappedKeys_.end())
        return;
    unmappedKeys_.push_back(std::move(key));
    unmapped_.push_back(root);
}

} // namespace korvane
