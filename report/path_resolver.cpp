#include "report/path_resolver.h"

#include "report/config_file.h"
#include "report/file_probe.h"
#include "report/name_match.h"
#include "report/windows_path.h"

#include <dirent.h>
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

// `dir` followed by names[from..].
std::string join(const std::string& dir, const std::vector<std::string>& names, std::size_t from)
{
    std::string path = dir;
    for (std::size_t k = from; k < names.size(); ++k)
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
    for (std::size_t k = 0; k < folders.size(); ++k) {
        reason += k == 0 ? " outside " : k + 1 == folders.size() ? " and " : ", ";
        reason += folders[k]->root;
    }
    return reason;
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

// The folders read in this run: every entry of each, and the entries by
// their folded names.
class PathResolver::Directories {
public:
    struct Entry {
        std::string name;
        unsigned char type; // d_type: DT_UNKNOWN and DT_LNK need a stat
    };
    struct Listing {
        int error = 0; // why the folder could not be read; 0 when it was
        std::vector<Entry> entries;
        std::unordered_map<std::string, std::vector<std::size_t>> byFold;
    };

    const Listing& list(const std::string& dir)
    {
        const auto it = listings_.find(dir);
        if (it != listings_.end())
            return it->second;
        Listing& listing = listings_[dir];
        DIR* handle = ::opendir(dir.c_str());
        if (!handle) {
            listing.error = errno;
            return listing;
        }
        while (const dirent* entry = ::readdir(handle))
            listing.entries.push_back({entry->d_name, entry->d_type});
        ::closedir(handle);
        for (std::size_t k = 0; k < listing.entries.size(); ++k)
            listing.byFold[foldCase(listing.entries[k].name)].push_back(k);
        return listing;
    }

    void clear() { listings_.clear(); }

private:
    // Elements of an unordered_map stay where they are when it grows: a
    // listing can be used while folders below it are read.
    std::unordered_map<std::string, Listing> listings_;
};

// One case-insensitive search: the names to find and the deepest failure
// met, which is what the user is told.
struct PathResolver::Walk {
    explicit Walk(const std::vector<std::string>& wanted) : names(wanted) {}

    const std::vector<std::string>& names;
    std::string foundPath;
    std::size_t failedDepth = 0;
    bool failed = false;
    std::string tried;
    std::string reason;

    void fail(std::size_t depth, std::string path, std::string why)
    {
        if (failed && depth <= failedDepth)
            return;
        failed = true;
        failedDepth = depth;
        tried = std::move(path);
        reason = std::move(why);
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
    : drives_(std::move(drives)), decoder_(std::move(decoder)), directories_(std::make_unique<Directories>())
{
}

PathResolver::~PathResolver() = default;
PathResolver::PathResolver(PathResolver&&) noexcept = default;
PathResolver& PathResolver::operator=(PathResolver&&) noexcept = default;

void PathResolver::newRun()
{
    directories_->clear();
    known_.clear();
    unmapped_.clear();
    unmappedKeys_.clear();
}

bool PathResolver::exists(std::string_view stored)
{
    if (const auto it = known_.find(stored); it != known_.end())
        return it->second;
    const bool found = resolve(stored).found;
    known_.emplace(std::string(stored), found);
    return found;
}

std::string PathResolver::explain(std::string_view stored)
{
    return describe(resolve(stored));
}

Resolution PathResolver::resolve(std::string_view stored)
{
    Resolution r;
    const std::optional<WindowsPath> path =
        isWindowsPath(stored) ? splitWindowsPath(decoder_.toUtf8(stored)) : std::nullopt;
    if (!path) {
        r.localPath = stored;
        r.found = findFirst(stored);
        if (!r.found)
            r.reason = "not found";
        return r;
    }
    r.root = path->root;
    if (path->kind == WindowsPath::Root::NotAFile) {
        r.kind = PathKind::NotAFile;
        r.localPath = stored;
        r.reason = path->findsNothing;
        return r;
    }
    const DriveMap::Match match = drives_.match(path->root, path->names);
    if (!match.mapping) {
        noteUnmapped(path->root);
        r.kind = PathKind::NoMapping;
        r.localPath = stored;
        r.found = findFirst(stored);
        if (!r.found)
            r.reason = noMappingReason(path->kind == WindowsPath::Root::Drive, path->root, drives_.foldersOn(path->root));
        return r;
    }
    r.kind = PathKind::Mapped;
    r.mappedRoot = match.mapping->root;
    std::vector<std::string> below = std::move(path->names);
    below.erase(below.begin(), below.begin() + static_cast<std::ptrdiff_t>(match.folders));
    if (!path->findsNothing.empty()) {
        r.localPath = join(match.mapping->folder, below, 0);
        r.reason = path->findsNothing;
        return r;
    }
    lookUp(match.mapping->folder, below, r);
    return r;
}

void PathResolver::lookUp(const std::string& folder, const std::vector<std::string>& names, Resolution& r)
{
    if (names.empty()) { // the stored path is the root of its mapping
        r.localPath = folder;
        r.found = pathExists(folder);
        if (!r.found)
            r.reason = "folder " + inQuotes(folder) + " not found";
        return;
    }
    if (!containsWildcard(names.back())) {
        std::string exact = join(folder, names, 0);
        if (pathExists(exact)) {
            r.found = true;
            r.localPath = std::move(exact);
            return;
        }
    }
    Walk search{names};
    if (walk(folder, 0, search)) {
        r.found = true;
        r.localPath = std::move(search.foundPath);
    } else {
        r.localPath = std::move(search.tried);
        r.reason = std::move(search.reason);
    }
}

// Looks for names[depth..] in `dir`; every entry that matches names[depth] is
// tried in turn, the exact one first.
bool PathResolver::walk(const std::string& dir, std::size_t depth, Walk& search)
{
    const std::vector<std::string>& names = search.names;
    const std::string& name = names[depth];
    const bool last = depth + 1 == names.size();
    const Directories::Listing& listing = directories_->list(dir);
    if (listing.error != 0) {
        const bool missing = listing.error == ENOENT || listing.error == ENOTDIR;
        search.fail(depth, join(dir, names, depth),
                    "folder " + inQuotes(dir) + (missing ? " not found" : " cannot be read: " + std::string(std::strerror(listing.error))));
        return false;
    }

    if (last && containsWildcard(name)) {
        for (const Directories::Entry& entry : listing.entries) {
            if (matchesIgnoringCase(name, entry.name)) {
                search.foundPath = child(dir, entry.name);
                return true;
            }
        }
        search.fail(depth, child(dir, name), "nothing matches " + inQuotes(name) + " in folder " + inQuotes(dir));
        return false;
    }

    const auto match = listing.byFold.find(foldCase(name));
    if (match == listing.byFold.end()) {
        search.fail(depth, join(dir, names, depth), "no entry named " + inQuotes(name) + " in folder " + inQuotes(dir));
        return false;
    }
    std::vector<std::size_t> candidates = match->second;
    std::stable_partition(candidates.begin(), candidates.end(),
                          [&](std::size_t k) { return listing.entries[k].name == name; });
    for (const std::size_t k : candidates) {
        const Directories::Entry& entry = listing.entries[k];
        const std::string path = child(dir, entry.name);
        const bool needsStat = entry.type == DT_LNK || entry.type == DT_UNKNOWN;
        if (last) {
            if (!needsStat || pathExists(path)) {
                search.foundPath = path;
                return true;
            }
            search.fail(depth, path, inQuotes(entry.name) + " in folder " + inQuotes(dir) + " is a broken link");
        } else if (entry.type == DT_DIR || (needsStat && isDirectory(path))) {
            if (walk(path, depth + 1, search))
                return true;
        } else {
            search.fail(depth, join(path, names, depth + 1),
                        inQuotes(entry.name) + " in folder " + inQuotes(dir) + " is not a folder");
        }
    }
    return false;
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
