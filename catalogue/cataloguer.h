#pragma once

// Cataloguing a folder: every file below it recorded under its volume, then
// fingerprinted. Incremental: a file whose inode, size and mtime are those
// recorded (on the same volume) is not read again, and files and folders
// gone since are removed.

#include "catalogue/catalogue_store.h"
#include "catalogue/mount_table.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

struct CatalogueProgress {
    enum class Phase : std::uint8_t { Listing, Fingerprinting };
    Phase phase = Phase::Listing;
    std::uint64_t folders = 0; // listed so far
    std::uint64_t files = 0;   // listed so far
    std::uint64_t fingerprinted = 0;
    std::uint64_t toFingerprint = 0; // known so far
    std::uint64_t bytesRead = 0;     // by fingerprints
    std::string_view folder;         // the one just listed, from the root of the volume
};

struct CatalogueRunOptions {
    // Fingerprint the files that have none (after listing everything).
    bool fingerprints = true;
    // Files fingerprinted at once: a disk or a share serves several reads
    // better than one.
    int readers = 4;
    // Once `*stop` is true no further folder is listed and no further file
    // read: what was committed stays. Not owned; null for none.
    const std::atomic<bool>* stop = nullptr;
    // Told on the calling thread after each folder and each few files.
    std::function<void(const CatalogueProgress&)> progress;
    // Work is committed after about this long, so that another run that
    // writes waits no longer than that.
    std::chrono::milliseconds unit{1000};
    // Seconds since the epoch; the system's clock by default.
    std::function<std::int64_t()> clock;
};

struct CatalogueOutcome {
    VolumeRecord volume;   // the volume the folder is on
    std::string relative;  // the folder, from the root of the volume
    std::uint64_t folders = 0;
    std::uint64_t files = 0;
    std::uint64_t added = 0;
    std::uint64_t changed = 0;
    std::uint64_t removed = 0;
    std::uint64_t fingerprinted = 0;
    std::uint64_t unfingerprinted = 0; // left without one (stopped, unreadable, changing)
    // "PATH: REASON" of each folder or file that could not be read; what the
    // catalogue held of it is kept.
    std::vector<std::string> problems;
    // Folders below that are other volumes, not entered: catalogue them
    // on their own.
    std::vector<std::string> otherVolumes;
    bool stopped = false;
    // The folder itself could not be read (errno), or the store failed: the
    // run ended there, and what was committed before stays.
    int folderError = 0;
    std::optional<CatalogueError> error;
    bool ok() const { return folderError == 0 && !error; }
};

// Catalogues the folder `folder` (any path to it; links are followed to
// find it) into `store`, on the volume `mounts` says it is on. Folders below
// it that are on other file systems are not entered.
CatalogueOutcome catalogueFolder(CatalogueStore& store, const MountTable& mounts, const std::string& folder,
                                 const CatalogueRunOptions& options = {});

} // namespace korvane
