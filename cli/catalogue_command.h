#pragma once

// korvane-scan --catalogue DIR... and --forget DISK...: the user's catalogue
// of disks and media (see docs/catalogue.md), filled and pruned from the
// command line.

#include <atomic>
#include <string>
#include <vector>

namespace korvane {

// Records or refreshes the disk of each folder in the user's catalogue
// ($XDG_DATA_HOME/korvane/catalogue.sqlite): a line on stdout for each,
// problems on stderr, progress on stderr when it is a terminal. Returns the
// exit status: 0 done, 1 something could not be read (named on stderr), 2
// a folder or the catalogue could not be opened, 3 the catalogue is damaged
// or not one, 4 it could not be written. Once `stop` is true nothing more
// is begun; what was committed stays, and the caller says why it stopped.
int catalogueFolders(const std::vector<std::string>& folders, const std::atomic<bool>& stop);

// Removes each disk (a label, a UUID, a share, where it was mounted, or a
// folder on it) from the user's catalogue: a line on stdout for each.
// Returns 0, 2 when a disk is not known or more than one fits (then nothing
// is removed), 3 or 4 as catalogueFolders.
int forgetDisks(const std::vector<std::string>& disks);

} // namespace korvane
