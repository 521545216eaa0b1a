#include "catalogue/cataloguer.h"

#include "catalogue/fingerprint_pass.h"
#include "text/system_error.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <unordered_set>
#include <utility>

namespace korvane {

namespace {

struct ListedFile {
    std::string name;
    FileFacts facts;
};

struct Listing {
    std::vector<ListedFile> files;
    std::vector<std::string> folders; // on the same file system, sorted
    int error = 0;
};

std::string joined(std::string_view folder, std::string_view name)
{
    if (folder.empty())
        return std::string(name);
    std::string out(folder);
    if (out.back() != '/')
        out += '/';
    out += name;
    return out;
}

bool stopping(const CatalogueRunOptions& options)
{
    return options.stop && options.stop->load(std::memory_order_relaxed);
}

// Whether the catalogue's record still describes the file: an inode made up
// at each mount says nothing.
bool unchanged(const FileFacts& now, const FileFacts& recorded, bool stableInodes)
{
    return now.size == recorded.size && now.mtime == recorded.mtime && (!stableInodes || now.inode == recorded.inode);
}

class Cataloguer {
public:
    Cataloguer(CatalogueStore& store, const CatalogueRunOptions& options, CatalogueOutcome& outcome)
        : store_(store), options_(options), out_(outcome)
    {
    }

    void run(const Mount& mount, const std::string& absolute);

private:
    void walk(int rootFd, std::uint64_t device);
    void list(int fd, std::uint64_t device, const std::string& relative, const std::string& absolute,
              Listing& listing);
    void record(const std::string& relative, const std::string& absolute, Listing& listing);
    void compare(CatalogueId folder, Listing& listing, bool& pending);
    void removeVanished();
    void openUnit();
    void commitIfDue(bool force);
    std::int64_t now() const { return options_.clock ? options_.clock() : static_cast<std::int64_t>(std::time(nullptr)); }

    CatalogueStore& store_;
    const CatalogueRunOptions& options_;
    CatalogueOutcome& out_;
    VolumeRecord volume_;
    std::string absolute_;     // the folder catalogued
    std::string relativeRoot_; // the same, from the root of the volume
    std::int64_t seen_ = 0;
    bool inUnit_ = false;
    std::chrono::steady_clock::time_point unitStart_;
    std::unordered_set<CatalogueId> visited_;
    std::vector<std::string> notRead_; // from the root of the volume: what is below them is kept
    std::vector<PendingFolder> pending_;
    std::vector<FileRecord> stored_;
    CatalogueProgress progress_;
};

void Cataloguer::openUnit()
{
    if (inUnit_)
        return;
    store_.begin();
    inUnit_ = true;
    unitStart_ = std::chrono::steady_clock::now();
}

void Cataloguer::commitIfDue(bool force)
{
    if (!inUnit_)
        return;
    if (force || std::chrono::steady_clock::now() - unitStart_ >= options_.unit) {
        store_.commit();
        inUnit_ = false;
    }
}

void Cataloguer::list(int fd, std::uint64_t device, const std::string& relative, const std::string& absolute,
                      Listing& listing)
{
    const int copy = ::dup(fd);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        listing.error = errno;
        if (copy >= 0)
            ::close(copy);
        return;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." ||
            (entry->d_type != DT_REG && entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))
            continue;
        struct stat st {};
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            out_.problems.push_back(joined(absolute, name) + ": " + systemErrorText(errno));
        } else if (S_ISREG(st.st_mode)) {
            listing.files.push_back({std::string(name), factsOf(st)});
        } else if (S_ISDIR(st.st_mode) && st.st_dev == device) {
            listing.folders.emplace_back(name);
        } else if (S_ISDIR(st.st_mode)) {
            out_.otherVolumes.push_back(joined(absolute, name));
            notRead_.push_back(joined(relative, name));
        }
        errno = 0;
    }
    listing.error = errno;
    ::closedir(dir);
    std::sort(listing.folders.begin(), listing.folders.end());
}

// The listing against what the catalogue held of the folder: new and
// changed files written (without a fingerprint), vanished ones removed.
void Cataloguer::compare(CatalogueId folder, Listing& listing, bool& pending)
{
    store_.files(folder, stored_);
    const auto byName = [](const auto& a, const auto& b) { return a.name < b.name; };
    std::sort(stored_.begin(), stored_.end(), byName);
    std::sort(listing.files.begin(), listing.files.end(), byName);
    auto old = stored_.begin();
    for (const ListedFile& file : listing.files) {
        for (; old != stored_.end() && old->name < file.name; ++old) {
            if (listing.error == 0) { // a listing cut short says nothing of what it missed
                store_.removeFile(folder, old->name);
                ++out_.removed;
            }
        }
        const bool known = old != stored_.end() && old->name == file.name;
        if (known && unchanged(file.facts, old->facts, volume_.identity.stableInodes)) {
            pending = pending || !old->fingerprint;
            progress_.toFingerprint += old->fingerprint ? 0u : 1u;
        } else {
            store_.putFile(folder, {file.name, file.facts, std::nullopt});
            ++(known ? out_.changed : out_.added);
            pending = true;
            ++progress_.toFingerprint;
        }
        if (known)
            ++old;
    }
    for (; old != stored_.end() && listing.error == 0; ++old) {
        store_.removeFile(folder, old->name);
        ++out_.removed;
    }
}

void Cataloguer::record(const std::string& relative, const std::string& absolute, Listing& listing)
{
    openUnit();
    bool pending = false;
    const std::optional<FolderRecord> known = store_.folder(volume_.id, relative);
    CatalogueId id = 0;
    if (known) {
        id = known->id;
        compare(id, listing, pending);
        store_.folderSeen(id, seen_);
    } else {
        id = store_.addFolder(volume_.id, relative, seen_);
        for (const ListedFile& file : listing.files)
            store_.putFile(id, {file.name, file.facts, std::nullopt});
        out_.added += listing.files.size();
        progress_.toFingerprint += listing.files.size();
        pending = !listing.files.empty();
    }
    visited_.insert(id);
    if (listing.error != 0) {
        notRead_.push_back(relative);
        out_.problems.push_back(absolute + ": " + systemErrorText(listing.error));
    }
    if (pending && options_.fingerprints)
        pending_.push_back({id, absolute});
    ++out_.folders;
    out_.files += listing.files.size();
    progress_.folders = out_.folders;
    progress_.files = out_.files;
    progress_.folder = relative;
    commitIfDue(false);
    if (options_.progress)
        options_.progress(progress_);
}

// An open folder of the walk, and the folders in it still to be walked.
struct Frame {
    int fd = -1;
    std::string relative;
    std::string absolute;
    std::vector<std::string> folders;
    std::size_t next = 0;

    Frame(int fd_, std::string relative_, std::string absolute_, std::vector<std::string> folders_)
        : fd(fd_), relative(std::move(relative_)), absolute(std::move(absolute_)), folders(std::move(folders_))
    {
    }
    Frame(Frame&& other) noexcept
        : fd(std::exchange(other.fd, -1)), relative(std::move(other.relative)), absolute(std::move(other.absolute)),
          folders(std::move(other.folders)), next(other.next)
    {
    }
    Frame& operator=(Frame&&) = delete;
    ~Frame()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Depth first, each folder opened from the one it is in (so that no path
// grows past PATH_MAX and no link is followed), its folders in name order.
void Cataloguer::walk(int rootFd, std::uint64_t device)
{
    std::vector<Frame> stack;
    const auto visit = [&](int fd, std::string relative, std::string absolute) {
        stack.emplace_back(fd, std::move(relative), std::move(absolute), std::vector<std::string>());
        Frame& frame = stack.back();
        Listing listing;
        list(frame.fd, device, frame.relative, frame.absolute, listing);
        record(frame.relative, frame.absolute, listing);
        frame.folders = std::move(listing.folders);
    };
    visit(rootFd, relativeRoot_, absolute_);
    while (!stack.empty()) {
        if (stopping(options_)) {
            out_.stopped = true;
            return;
        }
        Frame& top = stack.back();
        if (top.next == top.folders.size()) {
            stack.pop_back();
            continue;
        }
        const std::string& name = top.folders[top.next++];
        std::string relative = joined(top.relative, name);
        std::string absolute = joined(top.absolute, name);
        const int fd = ::openat(top.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            out_.problems.push_back(absolute + ": " + systemErrorText(errno));
            notRead_.push_back(std::move(relative));
            continue;
        }
        visit(fd, std::move(relative), std::move(absolute));
    }
}

// Folders below the one catalogued that the walk did not meet are gone,
// with their files; but not those below a folder that could not be read or
// is hidden by another volume mounted on it.
void Cataloguer::removeVanished()
{
    std::vector<FolderRecord> below;
    store_.foldersBelow(volume_.id, relativeRoot_, below);
    const auto kept = [&](const std::string& path) {
        return std::any_of(notRead_.begin(), notRead_.end(), [&](const std::string& folder) {
            return folder.empty() || path == folder || (path.starts_with(folder) && path[folder.size()] == '/');
        });
    };
    std::vector<FileRecord> files;
    for (const FolderRecord& folder : below) {
        if (visited_.count(folder.id) || kept(folder.path))
            continue;
        openUnit();
        store_.files(folder.id, files);
        out_.removed += files.size();
        store_.removeFolder(folder.id);
        commitIfDue(false);
    }
    commitIfDue(true);
}

void Cataloguer::run(const Mount& mount, const std::string& absolute)
{
    absolute_ = absolute;
    relativeRoot_ = volumeRelative(mount, absolute);
    out_.relative = relativeRoot_;
    seen_ = now();
    const int fd = ::open(absolute.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        out_.folderError = errno;
        if (fd >= 0)
            ::close(fd);
        return;
    }
    inOneUnit(store_, [&] { volume_ = store_.recordVolume(mount.identity, mount.mountPoint, seen_); });
    out_.volume = volume_;
    walk(fd, st.st_dev);
    commitIfDue(true);
    if (!out_.stopped)
        removeVanished();
    if (!options_.fingerprints || out_.stopped) {
        out_.unfingerprinted = progress_.toFingerprint;
        return;
    }
    const FingerprintTally tally = fingerprintFolders(store_, pending_, options_, progress_);
    out_.fingerprinted = tally.fingerprinted;
    out_.unfingerprinted = tally.left;
    out_.problems.insert(out_.problems.end(), tally.problems.begin(), tally.problems.end());
    out_.stopped = tally.stopped;
}

} // namespace

CatalogueOutcome catalogueFolder(CatalogueStore& store, const MountTable& mounts, const std::string& folder,
                                 const CatalogueRunOptions& options)
{
    CatalogueOutcome outcome;
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real) {
        outcome.folderError = errno;
        return outcome;
    }
    const std::string absolute = real;
    std::free(real);
    const Mount* mount = mounts.containing(absolute);
    if (!mount) {
        outcome.folderError = ENOENT;
        return outcome;
    }
    Cataloguer cataloguer(store, options, outcome);
    try {
        cataloguer.run(*mount, absolute);
    } catch (const CatalogueError& error) {
        outcome.error = error;
        try {
            store.rollback();
        } catch (...) {
        }
    }
    return outcome;
}

} // namespace korvane
