#include "catalogue/cataloguer.h"

#include "catalogue/fingerprint_pass.h"
#include "catalogue/folder_walk.h"
#include "text/system_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace korvane {

namespace {

// Whether the catalogue's record still describes the file: an inode made up
// at each mount says nothing.
bool unchanged(const FileFacts& now, const FileFacts& recorded, bool stableInodes)
{
    return now.size == recorded.size && now.mtime == recorded.mtime && (!stableInodes || now.inode == recorded.inode);
}

// The folders the walk read, handed from its thread to the one that
// records them; bounded, so that a walk ahead of the store waits.
class ListingQueue {
public:
    // False once the taker has given up.
    bool push(ListedFolder&& folder)
    {
        std::unique_lock lock(mutex_);
        roomy_.wait(lock, [&] { return folders_.size() < kRoom || abandoned_; });
        if (abandoned_)
            return false;
        folders_.push_back(std::move(folder));
        filled_.notify_one();
        return true;
    }
    // Nothing once the walk has ended and every folder was taken.
    std::optional<ListedFolder> pop()
    {
        std::unique_lock lock(mutex_);
        filled_.wait(lock, [&] { return !folders_.empty() || ended_; });
        if (folders_.empty())
            return std::nullopt;
        ListedFolder folder = std::move(folders_.front());
        folders_.pop_front();
        roomy_.notify_one();
        return folder;
    }
    void end()
    {
        const std::lock_guard lock(mutex_);
        ended_ = true;
        filled_.notify_all();
    }
    void abandon()
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        roomy_.notify_all();
    }

private:
    static constexpr std::size_t kRoom = 64;
    std::mutex mutex_;
    std::condition_variable filled_;
    std::condition_variable roomy_;
    std::deque<ListedFolder> folders_;
    bool ended_ = false;
    bool abandoned_ = false;
};

class Cataloguer {
public:
    Cataloguer(CatalogueStore& store, const CatalogueRunOptions& options, CatalogueOutcome& outcome)
        : store_(store), options_(options), out_(outcome)
    {
    }

    void run(const Mount& mount, const std::string& absolute);

private:
    void walk(int rootFd, std::uint64_t device);
    void record(ListedFolder& listed);
    void compare(CatalogueId folder, ListedFolder& listed, bool& pending);
    void removeVanished();
    void openUnit();
    void commitIfDue(bool force);
    std::int64_t now() const
    {
        return options_.clock ? options_.clock() : static_cast<std::int64_t>(std::time(nullptr));
    }

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
    WalkNotes notes_;
    std::vector<FolderToFingerprint> pending_;
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
    if (inUnit_ && (force || std::chrono::steady_clock::now() - unitStart_ >= options_.unit)) {
        store_.commit();
        inUnit_ = false;
    }
}

// The listing against what the catalogue held of the folder: new and
// changed files written (without a fingerprint), vanished ones removed.
void Cataloguer::compare(CatalogueId folder, ListedFolder& listed, bool& pending)
{
    store_.files(folder, stored_);
    const auto byName = [](const auto& a, const auto& b) { return a.name < b.name; };
    std::sort(stored_.begin(), stored_.end(), byName);
    std::sort(listed.files.begin(), listed.files.end(), byName);
    // A listing cut short says nothing of the files it did not reach.
    const bool whole = listed.error == 0;
    auto old = stored_.begin();
    for (const ListedFile& file : listed.files) {
        for (; old != stored_.end() && old->name < file.name; ++old) {
            if (whole) {
                store_.removeFile(folder, old->id);
                ++out_.removed;
            }
        }
        const bool known = old != stored_.end() && old->name == file.name;
        if (known && unchanged(file.facts, old->facts, volume_.identity.stableInodes)) {
            pending = pending || !old->fingerprint;
            progress_.toFingerprint += old->fingerprint ? 0u : 1u;
        } else {
            if (known)
                store_.updateFile(folder, {old->id, file.name, file.facts, std::nullopt});
            else
                store_.addFile(folder, file.name, file.facts, std::nullopt);
            ++(known ? out_.changed : out_.added);
            pending = true;
            ++progress_.toFingerprint;
        }
        if (known)
            ++old;
    }
    for (; old != stored_.end() && whole; ++old) {
        store_.removeFile(folder, old->id);
        ++out_.removed;
    }
}

void Cataloguer::record(ListedFolder& listed)
{
    openUnit();
    bool pending = false;
    const std::optional<FolderRecord> known = store_.folder(volume_.id, listed.relative);
    CatalogueId id = 0;
    if (known) {
        id = known->id;
        compare(id, listed, pending);
        store_.folderSeen(id, seen_);
    } else {
        id = store_.addFolder(volume_.id, listed.relative, seen_);
        store_.addFiles(id, listed.files);
        out_.added += listed.files.size();
        progress_.toFingerprint += listed.files.size();
        pending = !listed.files.empty();
    }
    visited_.insert(id);
    if (listed.error != 0) {
        notes_.notRead.push_back(listed.relative);
        out_.problems.push_back(listed.absolute + ": " + systemErrorText(listed.error));
    }
    if (pending && options_.fingerprints)
        pending_.push_back({id, listed.absolute});
    ++out_.folders;
    out_.files += listed.files.size();
    progress_.folders = out_.folders;
    progress_.files = out_.files;
    progress_.folder = listed.relative;
    commitIfDue(false);
    if (options_.progress)
        options_.progress(progress_);
}

// The walk reads folders on a thread of its own while this one records
// what it read: the disk and the store work at once.
void Cataloguer::walk(int rootFd, std::uint64_t device)
{
    ListingQueue queue;
    WalkNotes walkNotes;
    std::thread walker([&] {
        walkFolders(rootFd, device, relativeRoot_, absolute_,
                    [&](ListedFolder&& folder) { return queue.push(std::move(folder)); }, options_.stop, walkNotes);
        queue.end();
    });
    const auto stopping = [&] { return options_.stop && options_.stop->load(std::memory_order_relaxed); };
    try {
        // A stop ends the recording at once: folders read ahead are left.
        while (std::optional<ListedFolder> folder = queue.pop()) {
            if (stopping()) {
                queue.abandon();
                break;
            }
            record(*folder);
        }
    } catch (...) {
        queue.abandon();
        walker.join();
        throw;
    }
    walker.join();
    out_.stopped = stopping();
    out_.problems.insert(out_.problems.begin(), walkNotes.problems.begin(), walkNotes.problems.end());
    out_.otherVolumes = std::move(walkNotes.otherVolumes);
    notes_.notRead.insert(notes_.notRead.end(), walkNotes.notRead.begin(), walkNotes.notRead.end());
}

// Folders below the one catalogued that the walk did not meet are gone,
// with their files; but not those below a folder that could not be read or
// is hidden by another volume mounted on it.
void Cataloguer::removeVanished()
{
    std::vector<FolderRecord> below;
    store_.foldersBelow(volume_.id, relativeRoot_, below);
    const auto kept = [&](const std::string& path) {
        return std::any_of(notes_.notRead.begin(), notes_.notRead.end(), [&](const std::string& folder) {
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
    try {
        inOneUnit(store_, [&] { volume_ = store_.recordVolume(mount.identity, mount.mountPoint, seen_); });
    } catch (...) {
        ::close(fd);
        throw;
    }
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
