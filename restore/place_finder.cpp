#include "restore/place_finder.h"

#include "text/unicode_text.h"

#include <cerrno>
#include <cstdlib>
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

// Whether `path` lies below `folder`, both normalised.
bool below(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return path.size() > 1;
    return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/';
}

// A name a put back never makes: a hidden one (".ssh", ".config", ...).
bool isHiddenName(std::string_view name)
{
    return name.starts_with('.');
}

std::string resolved(const std::string& folder)
{
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real)
        return normalisedPath(folder);
    std::string out = real;
    std::free(real);
    return out;
}

// The entry of `dir` named `name` in another letter case, and its type;
// empty when there is none.
std::pair<std::string, mode_t> otherCaseEntry(const std::string& dir, const std::string& name)
{
    DIR* stream = ::opendir(dir.c_str());
    if (!stream)
        return {};
    const std::string folded = foldCase(name);
    std::pair<std::string, mode_t> found;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == ".." || foldCase(entryName) != folded)
            continue;
        struct stat st {};
        if (::lstat(join(dir, entryName).c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode))) {
            found = {join(dir, entryName), st.st_mode};
            break;
        }
    }
    ::closedir(stream);
    return found;
}

int accessForWriting(const std::string& folder)
{
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

bool leave(RestoreStep& step, LeftReason reason, std::string detail, int error = 0)
{
    step.reason = reason;
    step.detail = std::move(detail);
    step.error = error;
    return false;
}

} // namespace

std::string normalisedPath(std::string_view path)
{
    std::string whole;
    if (!path.starts_with('/')) {
        char* here = ::getcwd(nullptr, 0);
        whole = here ? here : "/";
        std::free(here);
        whole += '/';
    }
    whole += path;
    std::vector<std::string_view> names;
    const std::string_view text = whole;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t slash = std::min(text.find('/', start), text.size());
        const std::string_view name = text.substr(start, slash - start);
        if (name == "..") {
            if (!names.empty())
                names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = slash + 1;
    }
    std::string out;
    for (const std::string_view name : names) {
        out += '/';
        out += name;
    }
    return out.empty() ? "/" : out;
}

PlaceFinder::PlaceFinder(const PlanOptions& options) : options_(options)
{
    for (const std::string& root : options.roots)
        roots_.push_back(resolved(root));
    if (!options.projectFolder.empty())
        projectRoot_ = resolved(options.projectFolder);
}

bool PlaceFinder::checkRoot(const std::string& root, RestoreStep& step)
{
    auto known = rootProblems_.find(root);
    if (known == rootProblems_.end()) {
        std::string folder;
        std::string problem = unmountedRootProblem(root, options_.mounts, folder);
        known = rootProblems_.emplace(root, std::move(problem)).first;
        rootFolders_[root] = folder;
    }
    if (known->second.empty())
        return true;
    return leave(step, known->second == "is not a folder" ? LeftReason::NotAFolder : LeftReason::NotMounted,
                 rootFolders_[root], known->second == "does not exist" ? ENOENT : 0);
}

std::string PlaceFinder::respelled(const std::string& folder, const std::string& name, bool windows) const
{
    if (!windows)
        return join(folder, name);
    const auto it = plannedFolders_.find(join(folder, foldCase(name)));
    return it == plannedFolders_.end() ? join(folder, name) : it->second;
}

bool PlaceFinder::place(const std::string& root, const std::vector<std::string>& names, bool otherCase,
                        RestoreStep& step)
{
    for (const std::string& name : names)
        if (isHiddenName(name))
            return leave(step, LeftReason::HiddenName, name);
    if (!checkRoot(root, step))
        return false;
    step.root = root;
    std::string at = root;
    bool exists = true;
    for (std::size_t k = 0; k + 1 < names.size(); ++k) {
        const std::string next = join(at, names[k]);
        if (!exists) {
            at = respelled(at, names[k], otherCase);
            continue;
        }
        struct stat st {};
        if (::lstat(next.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode))
                return leave(step, LeftReason::LinkInPath, next);
            if (!S_ISDIR(st.st_mode))
                return leave(step, LeftReason::NotAFolder, next);
            at = next;
            continue;
        }
        if (errno != ENOENT)
            return leave(step, LeftReason::NotWritable, at, errno);
        const auto [other, mode] = otherCase ? otherCaseEntry(at, names[k]) : std::pair<std::string, mode_t>{};
        if (!other.empty() && S_ISLNK(mode))
            return leave(step, LeftReason::LinkInPath, other);
        if (!other.empty()) {
            at = other;
            continue;
        }
        if (const int error = options_.writable ? options_.writable(at) : accessForWriting(at); error != 0)
            return leave(step, LeftReason::NotWritable, at, error);
        exists = false;
        at = respelled(at, names[k], otherCase);
    }
    step.destination = join(at, names.back());
    struct stat st {};
    if (exists && ::lstat(step.destination.c_str(), &st) == 0)
        return leave(step, LeftReason::AlreadyThere, {});
    if (exists && errno != ENOENT)
        return leave(step, LeftReason::NotWritable, at, errno);
    if (exists) {
        if (const int error = options_.writable ? options_.writable(at) : accessForWriting(at); error != 0)
            return leave(step, LeftReason::NotWritable, at, error);
    }
    const std::string key = otherCase ? foldCase(step.destination) : "=" + step.destination;
    if (const auto same = plannedFiles_.find(key); same != plannedFiles_.end())
        return leave(step, LeftReason::SamePlace, same->second);
    return true;
}

bool PlaceFinder::placeWindows(const std::string& mappingFolder, const std::vector<std::string>& names,
                               RestoreStep& step)
{
    return place(normalisedPath(mappingFolder), names, true, step);
}

bool PlaceFinder::placeOther(std::string_view stored, RestoreStep& step)
{
    const std::string path = normalisedPath(stored);
    step.destination = path;
    const std::string* root = nullptr;
    const std::vector<std::string> projectOnly = {projectRoot_};
    const std::vector<std::string>& roots = !roots_.empty() ? roots_
                                            : !stored.starts_with('/') && !projectRoot_.empty() ? projectOnly
                                                                                                 : roots_;
    for (const std::string& candidate : roots)
        if (below(path, candidate) && (!root || candidate.size() > root->size()))
            root = &candidate;
    if (!root)
        return leave(step, LeftReason::OutsideRoot, {});
    std::vector<std::string> names;
    for (std::size_t start = root->size() == 1 ? 1 : root->size() + 1; start <= path.size();) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        names.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    return place(*root, names, false, step);
}

void PlaceFinder::reserve(const RestoreStep& step, bool windows)
{
    plannedFiles_.emplace(windows ? foldCase(step.destination) : "=" + step.destination, step.stored);
    if (!windows)
        return;
    // Each folder below the root that the put back may make, by its key.
    for (std::size_t slash = step.destination.find('/', step.root.size() + 1); slash != std::string::npos;
         slash = step.destination.find('/', slash + 1)) {
        const std::string folder = step.destination.substr(0, slash);
        const std::size_t last = folder.rfind('/');
        plannedFolders_.emplace(join(folder.substr(0, last), foldCase(folder.substr(last + 1))), folder);
    }
}

} // namespace korvane
