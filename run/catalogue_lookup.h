#pragma once

// What the user's catalogue of disks says of a project's missing files: on
// which disks that are not connected now they were last seen. The
// catalogue is opened read-only for this and never written; one that cannot
// be read is named in a warning and the search goes on without it.

#include "catalogue/mount_table.h"
#include "search/missing_match.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Where the catalogue last saw a missing file, on a disk not connected now.
struct ElsewhereSighting {
    std::string volume;        // the volume's key: "uuid:…", "share:…", "mount:…"
    std::string label;         // the name a person knows it by (volumeName)
    std::string path;          // from the root of the volume, as catalogued (bytes)
    std::int64_t lastSeen = 0; // when it was last seen there, seconds since the epoch
    // Why it is taken for the missing file: "same-content" (the size and
    // fingerprint remembered of the stored name), "same-size" (remembered
    // size, no fingerprint catalogued yet), "same-folders" (nothing
    // remembered: its name in folders of the stored folders' names).
    std::string evidence;
};

struct CatalogueAnswer {
    std::string stored; // the stored path, bytes
    std::vector<ElsewhereSighting> notConnected; // best first
    // The sightings are different files that nothing tells apart: the
    // catalogue names them all and chooses none.
    bool ambiguous = false;
};

struct CatalogueAnswers {
    // Why the catalogue was not consulted, for the user; empty when it was,
    // or when there is none yet.
    std::string warning;
    // The missing files the catalogue knows on disks not connected, in the
    // order looked up.
    std::vector<CatalogueAnswer> answers;
    // The places of `answers` in the order of their stored names, made by
    // makeIndex() (lookUpCatalogue makes it): find() then searches it, as
    // a face that asks for each of tens of thousands of missing files does.
    std::vector<std::size_t> byStored;
    void makeIndex();
    // The answer for `stored`; null when there is none.
    const CatalogueAnswer* find(std::string_view stored) const;
};

// Looks each missing file of the project `projectFile` up in the catalogue
// file `path`, the volumes connected being those `mounts` lists. A
// catalogue that does not exist answers nothing and says nothing.
CatalogueAnswers lookUpCatalogue(const std::string& path, const MountSources& mounts, const std::string& projectFile,
                                 const std::vector<MissingFile>& missing);

} // namespace korvane
