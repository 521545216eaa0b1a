#pragma once

// Where a missing file is now, as far as the catalogue knows: the same file
// (same size and fingerprint, under any name) on a disk connected now, read
// again to be sure; or on a disk that is not connected, so that the user
// can plug in that disk and only that one.

#include "catalogue/catalogue_store.h"
#include "catalogue/mount_table.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// A missing file as the search takes it apart: the bytes stored in the
// project, and the file name and folder names decoded from them (as
// search/'s StoredPath holds them).
struct MissingName {
    std::string stored;
    std::string name;
    std::vector<std::string> folders; // outermost first, without the root
};

// Why a catalogued file is taken for a missing one, strongest first.
enum class Evidence : std::uint8_t {
    SameContent, // the size and fingerprint remembered of the stored name
    SameSize,    // the size remembered, in its folder or at its place; the catalogue has no fingerprint of it yet
    SameFolders, // nothing remembered: the same name in a folder of the same name (Sighting::sharedFolders
                 // of the stored folders agree, from the last one up)
};

// A catalogued file that is, or may be, a missing one.
struct Sighting {
    std::shared_ptr<const VolumeRecord> volume; // shared by the sightings of one look-up
    std::string path;      // from the root of the volume, bytes
    std::string now;       // the absolute path now; empty when the volume is not connected
    FileRecord file;       // as catalogued
    std::int64_t seen = 0; // when it was last seen there, seconds since the epoch
    Evidence evidence = Evidence::SameContent;
    // How many folder names at the end of the stored folders the path's
    // folders end with, compared as names on disk are.
    std::uint16_t sharedFolders = 0;
    bool connected() const { return !now.empty(); }
};

// Where one missing file is (findWhereabouts gives them in the order of
// the missing names).
struct Whereabouts {
    std::optional<Recollection> remembered; // see MediaMemory::recall
    // The same file, under any name, on volumes connected now: its size
    // and fingerprint read again and found to be those remembered.
    std::vector<Sighting> sameFile;
    // Where it is on volumes not connected, best first: all of the same
    // content, else all of the strongest evidence there is.
    std::vector<Sighting> notConnected;
    // The best of notConnected are not known to be one file (different
    // files of the same name, equally likely): no disk is to be named.
    bool ambiguous = false;
};

// A file of the same name in another folder is no evidence: a camera
// names the clips of every card alike.
struct WhereaboutsOptions {
    // Sightings kept of each missing file, best first.
    std::size_t maxSightings = 20;
};

// Looks each missing file of the project `project` (projectKey) up: what
// was remembered of it, the same content anywhere, its name on volumes not
// connected. Volumes connected now are those `mounts` lists. Returns one
// Whereabouts a missing name, in their order. Throws CatalogueError when
// the store fails.
std::vector<Whereabouts> findWhereabouts(CatalogueStore& store, const MountTable& mounts, std::string_view project,
                                         const std::vector<MissingName>& missing,
                                         const WhereaboutsOptions& options = {});

} // namespace korvane
