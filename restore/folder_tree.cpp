#include "restore/folder_tree.h"

#include "restore/apply_failure.h"
#include "restore/source_file.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr int kOpenFolder = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr std::size_t kMostCached = 256;

std::string join(const std::string& folder, std::string_view name)
{
    std::string path = folder;
    if (path != "/")
        path += '/';
    path += name;
    return path;
}

// Why what stands at `name` in `dir` is no folder to go through.
std::string notAFolder(int dir, const std::string& path, const std::string& name)
{
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return failure("will not go through the symbolic link", path, ELOOP);
    return failure("cannot make folder", path, ENOTDIR);
}

} // namespace

FolderHandle::FolderHandle(int fd, std::string path) : fd_(fd), path_(std::move(path))
{
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        device_ = st.st_dev;
}

FolderHandle::~FolderHandle()
{
    ::close(fd_);
}

std::string newTemporaryName()
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name(kTemporaryPrefix);
    for (int k = 0; k < 12; ++k)
        name += kLetters[random() % (sizeof kLetters - 1)];
    return name;
}

// A folder asked for, while the folders it needs are made: the deepest
// folder it has so far, and the names still to be made below it.
struct FolderTree::Pending {
    FolderRef at;
    std::vector<std::string> rest;
    std::size_t next = 0;
    std::string error;
};

// One folder to be made in a round.
struct FolderTree::Target {
    FolderRef above;
    std::string name;
    std::string path;
    std::uint64_t id = 0;
    std::string temporary;
    int fd = -1; // the folder made, open
    struct stat made {};
    FolderRef folder;
    std::string error;
};

FolderTree::FolderTree(JournalWriter& journal, const FaultHook& fault) : journal_(journal), fault_(fault) {}

std::string FolderTree::addRoot(const std::string& root)
{
    if (roots_.contains(root))
        return {};
    const int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failure("cannot open folder", root, errno);
    roots_[root] = std::make_shared<FolderHandle>(fd, root);
    JournalRecord record;
    record.kind = JournalRecord::Kind::Root;
    record.path = root;
    if (!journal_.add(record))
        return failure("cannot write the journal", journal_.path(), journal_.error());
    return {};
}

FolderRef FolderTree::cached(const std::string& path)
{
    const auto it = cache_.find(path);
    return it == cache_.end() ? nullptr : it->second;
}

void FolderTree::keep(const FolderRef& folder)
{
    if (cache_.size() >= kMostCached)
        cache_.clear(); // those in use stay open with their users
    cache_[folder->path()] = folder;
}

// Goes down from the root as far as the folders exist; the names below
// that go into `pending`.
FolderTree::Result FolderTree::walk(const std::string& root, const std::string& path, Pending& pending)
{
    const auto known = roots_.find(root);
    if (known == roots_.end())
        return {nullptr, failure("cannot open folder", root, ENOENT)};
    FolderRef at = known->second;
    std::vector<std::string> names;
    for (std::size_t start = root == "/" ? 1 : root.size() + 1; start <= path.size() && path != root;) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        names.push_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    for (std::size_t k = 0; k < names.size(); ++k) {
        const std::string sub = join(at->path(), names[k]);
        if (FolderRef c = cached(sub)) {
            at = std::move(c);
            continue;
        }
        const int fd = ::openat(at->fd(), names[k].c_str(), kOpenFolder);
        if (fd >= 0) {
            at = std::make_shared<FolderHandle>(fd, sub);
            keep(at);
            continue;
        }
        if (errno == ENOTDIR || errno == ELOOP)
            return {nullptr, notAFolder(at->fd(), sub, names[k])};
        if (errno != ENOENT)
            return {nullptr, failure("cannot open folder", sub, errno)};
        pending.at = at;
        pending.rest.assign(names.begin() + static_cast<std::ptrdiff_t>(k), names.end());
        return {nullptr, {}};
    }
    return {at, {}};
}

std::vector<FolderTree::Result> FolderTree::prepare(const std::vector<std::pair<std::string, std::string>>& wanted)
{
    std::vector<Result> results(wanted.size());
    std::vector<Pending> pending(wanted.size());
    bool more = false;
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        results[k] = walk(wanted[k].first, wanted[k].second, pending[k]);
        more = more || !pending[k].rest.empty();
    }
    // A round makes the next missing folder of each, one level deeper each time.
    while (more) {
        std::vector<Target> targets;
        std::vector<std::size_t> targetOf(wanted.size(), 0);
        for (std::size_t k = 0; k < wanted.size(); ++k) {
            Pending& p = pending[k];
            if (p.next >= p.rest.size() || !p.error.empty())
                continue;
            const std::string path = join(p.at->path(), p.rest[p.next]);
            auto same = std::find_if(targets.begin(), targets.end(), [&](const Target& t) { return t.path == path; });
            if (same == targets.end()) {
                Target& target = targets.emplace_back();
                target.above = p.at;
                target.name = p.rest[p.next];
                target.path = path;
                same = targets.end() - 1;
            }
            targetOf[k] = static_cast<std::size_t>(same - targets.begin());
        }
        makeRound(targets);
        more = false;
        for (std::size_t k = 0; k < wanted.size(); ++k) {
            Pending& p = pending[k];
            if (p.next >= p.rest.size() || !p.error.empty())
                continue;
            const Target& t = targets[targetOf[k]];
            p.at = t.folder;
            p.error = t.error;
            ++p.next;
            if (!p.error.empty())
                results[k].error = p.error;
            else if (p.next == p.rest.size())
                results[k].folder = p.at;
            else
                more = true;
        }
    }
    return results;
}

// Makes the folders of one round: their intents, synced; each folder under
// its temporary name and its identity, synced; then each named.
void FolderTree::makeRound(std::vector<Target>& targets)
{
    const auto journalFailed = [&] {
        for (Target& t : targets)
            if (t.error.empty())
                t.error = failure("cannot write the journal", journal_.path(), journal_.error());
    };
    for (Target& t : targets) {
        t.id = journal_.nextId();
        t.temporary = newTemporaryName();
        JournalRecord intent;
        intent.kind = JournalRecord::Kind::FolderIntent;
        intent.id = t.id;
        intent.temporary = join(t.above->path(), t.temporary);
        intent.path = t.path;
        journal_.add(intent);
    }
    if (!journal_.sync())
        return journalFailed();
    for (Target& t : targets) {
        if (const int injected = faultAt(fault_, "mkdir"); injected != 0 ||
            ::mkdirat(t.above->fd(), t.temporary.c_str(), 0777) != 0) {
            t.error = failure("cannot make folder", t.path, injected ? injected : errno);
            continue;
        }
        t.fd = ::openat(t.above->fd(), t.temporary.c_str(), kOpenFolder);
        if (t.fd < 0 || ::fstat(t.fd, &t.made) != 0) {
            t.error = failure("cannot make folder", t.path, errno);
            continue;
        }
        JournalRecord made;
        made.kind = JournalRecord::Kind::FolderMade;
        made.id = t.id;
        made.device = static_cast<std::uint64_t>(t.made.st_dev);
        made.inode = static_cast<std::uint64_t>(t.made.st_ino);
        made.birth = birthTime(t.fd, "");
        journal_.add(made);
    }
    if (!journal_.sync()) {
        for (Target& t : targets)
            dropTemporary(t);
        return journalFailed();
    }
    for (Target& t : targets)
        if (t.error.empty())
            makeFolder(t);
}

// Names a folder made under its temporary name, unless its name was taken
// meanwhile: then the folder found there is used, and ours removed.
void FolderTree::makeFolder(Target& t)
{
    const int injected = faultAt(fault_, "rename-folder");
    if (injected == 0 &&
        ::renameat2(t.above->fd(), t.temporary.c_str(), t.above->fd(), t.name.c_str(), RENAME_NOREPLACE) == 0) {
        made_.push_back({t.above, t.name, t.id, t.made.st_dev, t.made.st_ino});
        t.folder = std::make_shared<FolderHandle>(t.fd, t.path);
        t.fd = -1;
        keep(t.folder);
        touched_.push_back(t.above);
        return;
    }
    const int error = injected ? injected : errno;
    dropTemporary(t);
    if (error == EINVAL || error == ENOSYS) {
        makeInPlace(t); // a file system that cannot rename without replacing
        return;
    }
    if (error != EEXIST) {
        t.error = failure("cannot make folder", t.path, error);
        return;
    }
    const int fd = ::openat(t.above->fd(), t.name.c_str(), kOpenFolder);
    if (fd < 0) {
        t.error = errno == ENOTDIR || errno == ELOOP ? notAFolder(t.above->fd(), t.path, t.name)
                                                    : failure("cannot open folder", t.path, errno);
        return;
    }
    t.folder = std::make_shared<FolderHandle>(fd, t.path);
    keep(t.folder);
}

// Makes a folder under its own name where renaming cannot refuse to
// replace (a folder is replaced by another if empty): announced under a
// temporary name never used, so undo looks for it under its own.
void FolderTree::makeInPlace(Target& t)
{
    JournalRecord intent;
    intent.kind = JournalRecord::Kind::FolderIntent;
    intent.id = journal_.nextId();
    intent.temporary = join(t.above->path(), newTemporaryName());
    intent.path = t.path;
    if (!journal_.add(intent) || !journal_.sync()) {
        t.error = failure("cannot write the journal", journal_.path(), journal_.error());
        return;
    }
    const int injected = faultAt(fault_, "mkdir");
    if (injected != 0 || ::mkdirat(t.above->fd(), t.name.c_str(), 0777) != 0) {
        const int error = injected ? injected : errno;
        t.error = failure("cannot make folder", t.path, error);
        return;
    }
    const int fd = ::openat(t.above->fd(), t.name.c_str(), kOpenFolder);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        t.error = failure("cannot make folder", t.path, errno);
        if (fd >= 0)
            ::close(fd);
        return;
    }
    JournalRecord made;
    made.kind = JournalRecord::Kind::FolderMade;
    made.id = intent.id;
    made.device = static_cast<std::uint64_t>(st.st_dev);
    made.inode = static_cast<std::uint64_t>(st.st_ino);
    made.birth = birthTime(fd, "");
    journal_.add(made);
    made_.push_back({t.above, t.name, intent.id, st.st_dev, st.st_ino});
    t.folder = std::make_shared<FolderHandle>(fd, t.path);
    keep(t.folder);
    touched_.push_back(t.above);
}

void FolderTree::removeEmptyMade()
{
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
        struct stat st {};
        if (::fstatat(it->above->fd(), it->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_dev != it->device ||
            st.st_ino != it->inode || faultAt(fault_, "rmdir") != 0 ||
            ::unlinkat(it->above->fd(), it->name.c_str(), AT_REMOVEDIR) != 0)
            continue;
        JournalRecord dropped;
        dropped.kind = JournalRecord::Kind::Dropped;
        dropped.id = it->id;
        journal_.add(dropped);
    }
}

// Removes a folder made under its temporary name and never named.
void FolderTree::dropTemporary(Target& t)
{
    if (t.fd < 0)
        return;
    ::close(std::exchange(t.fd, -1));
    if (faultAt(fault_, "rmdir") == 0 && ::unlinkat(t.above->fd(), t.temporary.c_str(), AT_REMOVEDIR) == 0) {
        JournalRecord dropped;
        dropped.kind = JournalRecord::Kind::Dropped;
        dropped.id = t.id;
        journal_.add(dropped);
    }
}

} // namespace korvane
