#pragma once

// What remembering a project's present files looks at before it decides
// anything: each file's facts, from a stat made from its open folder, and
// where it is (its volume and the path from the volume's root), found once
// a folder; and one digest of all of it, which tells a project that did not
// change since it was last remembered from one row of the catalogue.

#include "catalogue/catalogue_store.h"
#include "catalogue/mount_table.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A file a scan found: the name stored in the project, and the path it was
// found at (absolute, or from the current folder). Both are views of the
// caller's strings, which must outlive the call they are given to.
struct PresentFile {
    std::string_view stored;
    std::string_view path;
};

// One present file as it is now.
struct Observation {
    int error = 0; // why it could not be stat'ed (errno); then nothing below holds
    FileFacts facts;
    const Mount* mount = nullptr; // none when no mount holds it
    CatalogueId volume = 0;       // its volume in the catalogue; 0 when the catalogue knows none
    std::uint32_t folder = 0;     // its folder in PresentFiles::folders
    std::string_view name;        // its name, a view of the present file's path
    // Whether its inode says anything: FAT and exFAT make them up at each mount.
    bool stableInode() const { return !mount || mount->identity.stableInodes; }
};

struct PresentFiles {
    // The path of each folder from the root of its volume; empty for the
    // root, and for a folder no mount holds.
    std::vector<std::string> folders;
    std::vector<Observation> files; // in the order of the present files

    // The file's path from the root of its volume; empty when no mount holds it.
    std::string relative(const Observation& file) const;
    // Whether that path is `path`.
    bool isAt(const Observation& file, std::string_view path) const;
};

// Observes each present file: a stat of it (links followed) from its folder,
// and its place from the folder's real path, found once a folder. Several
// threads stat the files of a large project; `volumeOf` gives the
// catalogue's id of a mount's volume (0 for none), on the calling thread.
PresentFiles observeFiles(const std::vector<PresentFile>& present, const MountTable& mounts,
                          const std::function<CatalogueId(const Mount&)>& volumeOf);

// The digest of the stored names and what was observed of them, in order:
// size, mtime, inode (where it says anything), volume and path. Equal
// digests mean every file is as it was.
Digest presentDigest(const std::vector<PresentFile>& present, const PresentFiles& observed);

} // namespace korvane
