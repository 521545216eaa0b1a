#pragma once

// Where the user's catalogue lives, and where a catalogue may not live.

#include "catalogue/mount_table.h"

#include <string>

namespace korvane {

// $XDG_DATA_HOME/korvane/catalogue.sqlite, else
// ~/.local/share/korvane/catalogue.sqlite (an XDG_DATA_HOME that is not an
// absolute path is not taken, as the base directory rules say).
std::string defaultCataloguePath();

// Why a file in the folder `folder` cannot hold a catalogue, or empty: the
// folder is on a network file system (as the mount table says, or statfs),
// where SQLite's locks do not keep two writers apart.
std::string networkFileSystemReason(const std::string& folder, const MountTable& mounts);

// Makes `path` and the folders above it that are missing, each readable by
// its owner alone (0700). False, with errno set, when one cannot be made.
bool makePrivateFolders(const std::string& path);

} // namespace korvane
