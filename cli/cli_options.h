#pragma once

#include "paths/drive_map.h"
#include "paths/lookup_pool.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

enum ExitCode : int {
    kComplete = 0,
    kSomethingMissing = 1,
    kCannotOpenOrUsage = 2,
    kDamaged = 3,
    kCannotWrite = 4,
};

// What korvane-scan was asked to do.
struct CliOptions {
    bool trace = false;
    bool utf8 = false;
    bool explain = false;
    bool json = false;
    // One for each root, the last --map of a root winning, in the order the
    // roots were first given.
    std::vector<DriveMapping> maps;
    std::optional<std::string> codePage;
    std::vector<std::string> searchFolders;
    // Candidates shown for each missing file found elsewhere; the rest are
    // counted.
    std::size_t candidates = 5;
    bool candidatesGiven = false;
    bool oneFileSystem = false; // the search stays on the file systems of searchFolders
    int jobs = LookupPool::kDefaultJobs; // lookups at once; 1: each in its turn
    // --restore: plan putting the missing files found back in their
    // places; --apply: do it (--copy: by copies only). --undo: undo the
    // journal of such a run, and nothing else.
    bool restore = false;
    bool apply = false;
    bool copy = false;
    // --restore-root: folders below which names that are not Windows paths
    // may be put back (else only relative names, below the project's folder).
    std::vector<std::string> restoreRoots;
    // --prefer: folders whose files win where nothing else tells different
    // files of a missing file apart, in the order given.
    std::vector<std::string> prefer;
    // --no-catalogue: --search does not consult the catalogue of disks.
    bool noCatalogue = false;
    // --remember: the files found are remembered in the catalogue;
    // --changed: those that are not what was remembered are listed.
    bool remember = false;
    bool changed = false;
    std::optional<std::string> undo;
    // --catalogue: `files` are folders whose disks are catalogued; --forget:
    // disks removed from the catalogue. Each is given alone.
    bool catalogue = false;
    std::vector<std::string> forget;
    // The projects and folders of projects, as given; at least one but with --undo.
    std::vector<std::string> files;
};

// The help text.
extern const char* const kUsage;

// Reads the command line. Nothing when the program is to end at once: after
// --help or --version (status 0), or after a message on stderr for wrong
// usage (status 2); `exitStatus` says which.
std::optional<CliOptions> parseCommandLine(int argc, char** argv, int& exitStatus);

} // namespace korvane
