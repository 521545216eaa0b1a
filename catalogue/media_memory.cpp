#include "catalogue/media_memory.h"

#include "text/system_error.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <unordered_map>

namespace korvane {

namespace {

// Writes are committed after about this long, so that another run waits no
// longer than that.
constexpr std::chrono::milliseconds kUnit{250};

bool sameFacts(const FileFacts& now, const FileFacts& remembered, bool stableInodes)
{
    return now.size == remembered.size && now.mtime == remembered.mtime &&
           (!stableInodes || now.inode == remembered.inode);
}

// Whether what was remembered is what was observed: the facts, and the place.
bool sameAsSeen(const Recollection& r, const Observation& seen, const PresentFiles& files)
{
    return sameFacts(seen.facts, r.facts, seen.stableInode()) && r.volume.value_or(0) == seen.volume &&
           files.isAt(seen, r.path);
}

std::string problem(const PresentFile& file, int error)
{
    return std::string(file.path) + ": " + systemErrorText(error);
}

// Units of writing opened when the first write comes and committed every
// kUnit, so that a remembering that writes nothing takes no lock.
class Units {
public:
    explicit Units(CatalogueStore& store) : store_(store) {}
    void beforeWrite()
    {
        if (!open_) {
            store_.begin();
            open_ = true;
            start_ = std::chrono::steady_clock::now();
        }
    }
    void afterWrite()
    {
        if (std::chrono::steady_clock::now() - start_ >= kUnit)
            end();
    }
    void end()
    {
        if (open_) {
            open_ = false;
            store_.commit();
        }
    }

private:
    CatalogueStore& store_;
    bool open_ = false;
    std::chrono::steady_clock::time_point start_;
};

} // namespace

// What a project remembered, by stored name.
struct MediaMemory::Known {
    std::vector<Recollection> rows;
    std::unordered_map<std::string_view, const Recollection*> byStored;

    Known(CatalogueStore& store, std::string_view project)
    {
        store.recallProject(project, rows);
        byStored.reserve(rows.size());
        for (const Recollection& r : rows)
            byStored.emplace(r.stored, &r);
    }
    const Recollection* find(std::string_view stored) const
    {
        const auto found = byStored.find(stored);
        return found == byStored.end() ? nullptr : found->second;
    }
};

std::string projectKey(const std::string& projectPath)
{
    char* real = ::realpath(projectPath.c_str(), nullptr);
    if (real) {
        std::string out = real;
        std::free(real);
        return out;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(projectPath, error);
    return error ? projectPath : absolute.lexically_normal().string();
}

MediaMemory::MediaMemory(CatalogueStore& store, const MountTable& mounts, std::function<std::int64_t()> clock)
    : store_(store), mounts_(mounts), clock_(std::move(clock))
{
}

std::int64_t MediaMemory::now() const
{
    return clock_ ? clock_() : static_cast<std::int64_t>(std::time(nullptr));
}

CatalogueId MediaMemory::volumeOf(const Mount& mount)
{
    if (!volumesLoaded_) {
        volumes_ = store_.volumes();
        volumesLoaded_ = true;
    }
    for (const VolumeRecord& volume : volumes_) {
        if (volume.identity.key == mount.identity.key)
            return volume.id;
    }
    return 0;
}

bool MediaMemory::isSameFile(const Recollection& remembered, const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat before {};
    struct stat after {};
    bool same = false;
    if (::fstat(fd, &before) == 0 && S_ISREG(before.st_mode) &&
        static_cast<std::uint64_t>(before.st_size) == remembered.facts.size) {
        const std::optional<Digest> now = fingerprintOpenFile(fd, remembered.facts.size);
        same = now && *now == remembered.fingerprint && ::fstat(fd, &after) == 0 && factsOf(after) == factsOf(before);
    }
    ::close(fd);
    return same;
}

PresentFiles MediaMemory::observe(const std::vector<PresentFile>& present)
{
    volumesLoaded_ = false; // another run may have recorded one since
    return observeFiles(present, mounts_, [&](const Mount& mount) { return volumeOf(mount); });
}

// Whether the project's digest says that every file is as remembered.
bool MediaMemory::asRemembered(std::string_view project, const std::vector<PresentFile>& present,
                               const PresentFiles& seen)
{
    if (std::any_of(seen.files.begin(), seen.files.end(), [](const Observation& o) { return o.error != 0; }))
        return false;
    const std::optional<Digest> digest = store_.projectDigest(project);
    return digest && *digest == presentDigest(present, seen);
}

void MediaMemory::write(std::string_view project, const PresentFile& file, const PresentFiles& files,
                        Observation& seen, const Digest& fingerprint)
{
    const std::int64_t time = now();
    Recollection r;
    r.project = std::string(project);
    r.stored = std::string(file.stored);
    r.facts = seen.facts;
    r.fingerprint = fingerprint;
    r.seen = time;
    if (seen.mount) {
        if (seen.volume == 0) {
            volumes_.push_back(store_.recordVolume(seen.mount->identity, seen.mount->mountPoint, time));
            seen.volume = volumes_.back().id;
        }
        const std::string& folderPath = files.folders[seen.folder];
        const std::optional<FolderRecord> folder = store_.folder(seen.volume, folderPath);
        const CatalogueId folderId = folder ? folder->id : store_.addFolder(seen.volume, folderPath, time);
        store_.putFile(folderId, seen.name, seen.facts, fingerprint);
        r.volume = seen.volume;
        r.path = files.relative(seen);
    }
    store_.remember(r);
}

// Sets the project's digest once what it remembered is what was seen, read
// again in the unit that sets it: another run may have written meanwhile.
void MediaMemory::keepDigest(std::string_view project, const std::vector<PresentFile>& present,
                             PresentFiles& seen)
{
    for (Observation& o : seen.files) {
        if (o.mount)
            o.volume = volumeOf(*o.mount); // recorded since they were observed
    }
    const Digest digest = presentDigest(present, seen);
    inOneUnit(store_, [&] {
        const Known known(store_, project);
        for (std::size_t k = 0; k < present.size(); ++k) {
            const Recollection* r = known.find(present[k].stored);
            if (!r || !sameAsSeen(*r, seen.files[k], seen))
                return;
        }
        store_.setProjectDigest(project, digest);
    });
}

RememberOutcome MediaMemory::remember(std::string_view project, const std::vector<PresentFile>& present)
{
    RememberOutcome out;
    Units units(store_);
    try {
        PresentFiles seen = observe(present);
        if (asRemembered(project, present, seen)) {
            out.unchanged = present.size();
            return out;
        }
        const Known known(store_, project);
        for (std::size_t k = 0; k < present.size(); ++k) {
            const PresentFile& file = present[k];
            Observation& now = seen.files[k];
            if (now.error != 0) {
                out.problems.push_back(problem(file, now.error));
                continue;
            }
            const Recollection* remembered = known.find(file.stored);
            Digest fingerprint;
            if (remembered && sameFacts(now.facts, remembered->facts, now.stableInode())) {
                if (now.volume != 0 && sameAsSeen(*remembered, now, seen)) {
                    ++out.unchanged;
                    continue;
                }
                fingerprint = remembered->fingerprint; // moved, or its volume is new to the catalogue
            } else {
                const std::optional<Fingerprinted> read = fingerprintFile(std::string(file.path));
                if (!read) {
                    out.problems.push_back(problem(file, errno));
                    continue;
                }
                now.facts = read->facts;
                fingerprint = read->fingerprint;
                if (remembered && (now.facts.size != remembered->facts.size || fingerprint != remembered->fingerprint))
                    out.changed.push_back({std::string(file.stored), std::string(file.path), *remembered, now.facts,
                                           fingerprint});
            }
            units.beforeWrite();
            write(project, file, seen, now, fingerprint);
            ++out.recorded;
            units.afterWrite();
        }
        units.end();
        if (out.problems.empty())
            keepDigest(project, present, seen);
    } catch (const CatalogueError& error) {
        out.error = error;
        try {
            store_.rollback();
        } catch (...) {
        }
        volumesLoaded_ = false; // a volume recorded in the unit undone is not there
    }
    return out;
}

std::vector<ChangedFile> MediaMemory::changed(std::string_view project, const std::vector<PresentFile>& present,
                                              std::vector<std::string>& problems)
{
    const PresentFiles seen = observe(present);
    if (asRemembered(project, present, seen))
        return {};
    const Known known(store_, project);
    std::vector<ChangedFile> out;
    for (std::size_t k = 0; k < present.size(); ++k) {
        const PresentFile& file = present[k];
        const Recollection* remembered = known.find(file.stored);
        if (!remembered)
            continue;
        const Observation& now = seen.files[k];
        if (now.error != 0) {
            problems.push_back(problem(file, now.error));
        } else if (now.facts.size != remembered->facts.size) {
            out.push_back({std::string(file.stored), std::string(file.path), *remembered, now.facts, std::nullopt});
        } else if (!sameFacts(now.facts, remembered->facts, now.stableInode())) {
            const std::optional<Fingerprinted> read = fingerprintFile(std::string(file.path));
            if (!read)
                problems.push_back(problem(file, errno));
            else if (read->facts.size != remembered->facts.size || read->fingerprint != remembered->fingerprint)
                out.push_back({std::string(file.stored), std::string(file.path), *remembered, read->facts,
                               read->fingerprint});
        }
    }
    return out;
}

std::optional<Recollection> MediaMemory::recall(std::string_view project, std::string_view stored)
{
    if (std::optional<Recollection> own = store_.recall(project, stored))
        return own;
    std::vector<Recollection> others;
    store_.recallEverywhere(stored, others);
    return agreed(others);
}

std::optional<Recollection> MediaMemory::agreed(const std::vector<Recollection>& recollections)
{
    if (recollections.empty())
        return std::nullopt;
    const Recollection* latest = &recollections.front();
    for (const Recollection& r : recollections) {
        if (r.facts.size != latest->facts.size || r.fingerprint != latest->fingerprint)
            return std::nullopt; // the name stood for different files
        if (r.seen > latest->seen)
            latest = &r;
    }
    return *latest;
}

} // namespace korvane
