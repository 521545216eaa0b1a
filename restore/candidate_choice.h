#pragma once

#include "restore/restore_plan.h"

namespace korvane {

// Chooses the file to put back for `match` into `step` (source, its
// identity, how many identical copies), or says why none (reason, and for
// DifferentFiles the sizes of the different files).
void chooseCandidate(const SearchResults& results, const MissingMatch& match, RestoreStep& step);

// What a file is now, every link in its path resolved: its real path and
// identity; nothing when it is not a regular file that can be read.
struct SeenFile {
    std::string path;
    FileIdentity identity;
};
std::optional<SeenFile> seeFile(const std::string& path);

} // namespace korvane
