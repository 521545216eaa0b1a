#pragma once

// The second pass of cataloguing: the files listed without a fingerprint
// read, a few at once, and their fingerprints written in short units.

#include "catalogue/catalogue_store.h"
#include "catalogue/cataloguer.h"

#include <string>
#include <vector>

namespace korvane {

// A folder whose files may lack fingerprints: its record, and where it is now.
struct FolderToFingerprint {
    CatalogueId id = 0;
    std::string absolute;
};

struct FingerprintTally {
    std::uint64_t fingerprinted = 0;
    std::uint64_t left = 0; // could not be read, or changing while read, or stopped
    std::vector<std::string> problems;
    bool stopped = false;
};

// Fingerprints the files of `folders` that have none. `progress` carries the
// counts of the listing on; its fingerprint counts are this pass's. Throws
// CatalogueError when the store fails; what was committed stays.
FingerprintTally fingerprintFolders(CatalogueStore& store, const std::vector<FolderToFingerprint>& folders,
                                    const CatalogueRunOptions& options, CatalogueProgress& progress);

} // namespace korvane
