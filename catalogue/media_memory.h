#pragma once

// What the scans of a project remember of the files it refers to, so that
// a file that goes missing or is renamed later can be known again, and a
// file that changed under its name (a copy cut short, a clip replaced) can
// be told.

#include "catalogue/catalogue_store.h"
#include "catalogue/mount_table.h"
#include "catalogue/present_files.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The key under which a project's memories are kept: its absolute path with
// links followed (as given, made absolute, when it cannot be followed).
std::string projectKey(const std::string& projectPath);

// A present file that is not the file remembered under its stored name.
struct ChangedFile {
    std::string stored;
    std::string path;
    Recollection remembered;
    FileFacts now;
    // Read when the sizes agree; nothing when the size alone told.
    std::optional<Digest> fingerprintNow;
};

struct RememberOutcome {
    std::size_t recorded = 0;  // new, or different from what was remembered: written
    std::size_t unchanged = 0; // as remembered: neither read nor written
    // Those that differ from what was remembered before (recorded anew).
    std::vector<ChangedFile> changed;
    // "PATH: REASON" of each file that could not be read: what was
    // remembered of it stays.
    std::vector<std::string> problems;
    // The store failed: what was committed before stays.
    std::optional<CatalogueError> error;
};

class MediaMemory {
public:
    // `clock`: seconds since the epoch; the system's clock by default.
    MediaMemory(CatalogueStore& store, const MountTable& mounts, std::function<std::int64_t()> clock = {});

    // Remembers each present file of the project `project` (projectKey):
    // its size, mtime, fingerprint and where it is, and records it in the
    // catalogue of its volume. A file whose size, mtime and inode are what
    // was remembered is neither read nor written. When every file is as the
    // last remembering of the project left it (the same files in the same
    // order, their facts and places), the project's digest says so: that
    // costs a stat a file, each from its folder opened once, and one read
    // of the catalogue.
    RememberOutcome remember(std::string_view project, const std::vector<PresentFile>& present);

    // The present files whose size or fingerprint is not what was
    // remembered of their stored names; writes nothing. Files that cannot
    // be read go to `problems` as "PATH: REASON".
    std::vector<ChangedFile> changed(std::string_view project, const std::vector<PresentFile>& present,
                                     std::vector<std::string>& problems);

    // What is remembered of the stored name `stored`: what this project
    // remembered; else, when other projects remembered it and all agree on
    // its size and fingerprint, what the latest of them did. Names reused
    // for other files (a camera's C0001.MP4 of every shoot) are never
    // taken for each other.
    std::optional<Recollection> recall(std::string_view project, std::string_view stored);

    // Of what several projects remembered of one stored name: the latest,
    // when all agree on size and fingerprint; else nothing.
    static std::optional<Recollection> agreed(const std::vector<Recollection>& recollections);

    // Whether the file at `path` is now the file remembered: the same size
    // and fingerprint, read now (a file of another size is not read). A
    // link is not followed.
    static bool isSameFile(const Recollection& remembered, const std::string& path);

private:
    struct Known;
    PresentFiles observe(const std::vector<PresentFile>& present);
    bool asRemembered(std::string_view project, const std::vector<PresentFile>& present, const PresentFiles& seen);
    void write(std::string_view project, const PresentFile& file, const PresentFiles& files, Observation& seen,
               const Digest& fingerprint);
    void keepDigest(std::string_view project, const std::vector<PresentFile>& present, PresentFiles& seen);
    CatalogueId volumeOf(const Mount& mount);
    std::int64_t now() const;

    CatalogueStore& store_;
    const MountTable& mounts_;
    std::function<std::int64_t()> clock_;
    std::vector<VolumeRecord> volumes_; // known to the store, loaded once
    bool volumesLoaded_ = false;
};

} // namespace korvane
