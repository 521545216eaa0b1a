#pragma once

#include "restore/restore_plan.h"

namespace korvane {

// Takes the file the search decided on for its `k`-th match into `step`
// (source, its identity, how many identical copies), or says why none
// (reason, and for DifferentFiles the files to choose from).
void chooseCandidate(const SearchResults& results, std::size_t k, RestoreStep& step);

// What a file is now, every link in its path resolved: its real path and
// identity; nothing when it is not a regular file that can be read.
struct SeenFile {
    std::string path;
    FileIdentity identity;
};
std::optional<SeenFile> seeFile(const std::string& path);

} // namespace korvane
