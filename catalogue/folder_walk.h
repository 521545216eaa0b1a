#pragma once

// The walk of cataloguing: every folder below one, read once, its regular
// files stat'ed; links not followed, other file systems not entered.

#include "catalogue/catalogue_store.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

using ListedFile = NewFile;

// One folder as the walk read it.
struct ListedFolder {
    std::string relative; // from the root of the volume
    std::string absolute;
    std::vector<ListedFile> files;
    // Reading it failed part way (errno): its files are those read before,
    // and no other file of it is known to be gone.
    int error = 0;
};

// What the walk met that the catalogue is to keep as it was.
struct WalkNotes {
    std::vector<std::string> problems;     // "PATH: REASON"
    std::vector<std::string> notRead;      // folders (from the root of the volume) not read, nor what is below them
    std::vector<std::string> otherVolumes; // absolute paths of folders on other file systems, not entered
};

// Walks the folder open as `rootFd` (on the device `device`; `relative`
// from the root of its volume, `absolute` from /) depth first, each folder
// opened from the one it is in (so that no path grows past PATH_MAX and no
// link is followed), the folders of a folder in name order. Tells `folder`
// each folder read, in that order; ends early when `folder` returns false
// or `stop` becomes true. Closes `rootFd`.
void walkFolders(int rootFd, std::uint64_t device, const std::string& relative, const std::string& absolute,
                 const std::function<bool(ListedFolder&&)>& folder, const std::atomic<bool>* stop,
                 WalkNotes& notes);

} // namespace korvane
