#include "catalogue/media_memory.h"

#include "text/system_error.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <unordered_map>

namespace korvane {

struct MediaMemory::Observation {
    FileFacts facts;
    const Mount* mount = nullptr;
    std::string relative; // from the root of the volume
    std::optional<Digest> fingerprint;
    bool differs = false;           // from what was remembered: size or fingerprint
    bool asRemembered = false;      // facts and place as remembered: nothing to write
};

namespace {

// Writes are committed after about this long, so that another run waits no
// longer than that.
constexpr std::chrono::milliseconds kUnit{250};

std::string realPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string out = real;
    std::free(real);
    return out;
}

bool sameFacts(const FileFacts& now, const FileFacts& remembered, bool stableInodes)
{
    return now.size == remembered.size && now.mtime == remembered.mtime &&
           (!stableInodes || now.inode == remembered.inode);
}

} // namespace

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
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) != remembered.facts.size)
        return false;
    const std::optional<Fingerprinted> now = fingerprintFile(path);
    return now && now->facts.size == remembered.facts.size && now->fingerprint == remembered.fingerprint;
}

// Stats the file, finds its volume, and reads its fingerprint when the
// facts do not settle whether it is what was remembered (always, when
// nothing was).
bool MediaMemory::observe(const PresentFile& file, const Recollection* remembered, Observation& out,
                          std::vector<std::string>& problems)
{
    struct stat st {};
    const int error = ::stat(file.path.c_str(), &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    if (error != 0) {
        problems.push_back(file.path + ": " + systemErrorText(error));
        return false;
    }
    out.facts = factsOf(st);
    std::string path = file.path;
    out.mount = mounts_.containing(path);
    if (!out.mount || out.mount->device != st.st_dev) { // reached through a link, or a table of a test's
        path = realPath(file.path);
        out.mount = mounts_.containing(path);
    }
    if (out.mount)
        out.relative = volumeRelative(*out.mount, path);
    const bool stable = !out.mount || out.mount->identity.stableInodes;
    if (remembered && sameFacts(out.facts, remembered->facts, stable)) {
        out.asRemembered = out.mount && remembered->volume && *remembered->volume == volumeOf(*out.mount) &&
                           remembered->path == out.relative;
        out.fingerprint = remembered->fingerprint;
        return true;
    }
    const std::optional<Fingerprinted> read = fingerprintFile(file.path);
    if (!read) {
        problems.push_back(file.path + ": " + systemErrorText(errno));
        return false;
    }
    out.facts = read->facts;
    out.fingerprint = read->fingerprint;
    out.differs = remembered && (out.facts.size != remembered->facts.size || read->fingerprint != remembered->fingerprint);
    return true;
}

void MediaMemory::write(std::string_view project, const PresentFile& file, const Observation& seen)
{
    const std::int64_t time = now();
    Recollection r;
    r.project = std::string(project);
    r.stored = file.stored;
    r.facts = seen.facts;
    r.fingerprint = *seen.fingerprint;
    r.seen = time;
    if (seen.mount) {
        CatalogueId volume = volumeOf(*seen.mount);
        if (volume == 0) {
            volumes_.push_back(store_.recordVolume(seen.mount->identity, seen.mount->mountPoint, time));
            volume = volumes_.back().id;
        }
        const std::size_t slash = seen.relative.rfind('/');
        const std::string folderPath = slash == std::string::npos ? std::string() : seen.relative.substr(0, slash);
        const std::string name = slash == std::string::npos ? seen.relative : seen.relative.substr(slash + 1);
        const std::optional<FolderRecord> folder = store_.folder(volume, folderPath);
        const CatalogueId folderId = folder ? folder->id : store_.addFolder(volume, folderPath, time);
        store_.putFile(folderId, name, seen.facts, seen.fingerprint);
        r.volume = volume;
        r.path = seen.relative;
    }
    store_.remember(r);
}

RememberOutcome MediaMemory::remember(std::string_view project, const std::vector<PresentFile>& present)
{
    RememberOutcome out;
    bool inUnit = false;
    try {
        std::vector<Recollection> known;
        store_.recallProject(project, known);
        std::unordered_map<std::string_view, const Recollection*> byStored;
        for (const Recollection& r : known)
            byStored.emplace(r.stored, &r);
        auto unitStart = std::chrono::steady_clock::now();
        for (const PresentFile& file : present) {
            const auto found = byStored.find(file.stored);
            const Recollection* remembered = found == byStored.end() ? nullptr : found->second;
            Observation seen;
            if (!observe(file, remembered, seen, out.problems))
                continue;
            if (seen.asRemembered) {
                ++out.unchanged;
                continue;
            }
            if (seen.differs)
                out.changed.push_back({file, *remembered, seen.facts, seen.fingerprint});
            if (!inUnit) {
                store_.begin();
                inUnit = true;
                unitStart = std::chrono::steady_clock::now();
            }
            write(project, file, seen);
            ++out.recorded;
            if (std::chrono::steady_clock::now() - unitStart >= kUnit) {
                store_.commit();
                inUnit = false;
            }
        }
        if (inUnit)
            store_.commit();
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
    std::vector<Recollection> known;
    store_.recallProject(project, known);
    std::unordered_map<std::string_view, const Recollection*> byStored;
    for (const Recollection& r : known)
        byStored.emplace(r.stored, &r);
    std::vector<ChangedFile> out;
    for (const PresentFile& file : present) {
        const auto found = byStored.find(file.stored);
        if (found == byStored.end())
            continue;
        const Recollection& remembered = *found->second;
        struct stat st {};
        if (::stat(file.path.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) != remembered.facts.size) {
            out.push_back({file, remembered, factsOf(st), std::nullopt});
            continue;
        }
        Observation seen;
        if (observe(file, &remembered, seen, problems) && seen.differs)
            out.push_back({file, remembered, seen.facts, seen.fingerprint});
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
