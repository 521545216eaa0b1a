#pragma once

#include <string>
#include <vector>

namespace korvane {

// Where disks are mounted: each mount point listed in fstab, and the
// folders one or two levels below the removable-media folders (/media/X,
// /media/USER/X, /run/media/USER/X, /mnt/X).
struct MountRules {
    std::vector<std::string> fstab;
    std::vector<std::string> removable = {"/media", "/run/media", "/mnt"};
};

// The rules of this system: the mount points of /etc/fstab (but "/" and
// swap) and the usual removable-media folders.
MountRules systemMountRules();

// Why nothing may be put back below the folder `root`, which is never made:
// empty when it may. "does not exist" or "is not a folder"; "is an empty
// mount point" when it, or a folder between it and the disk it lies on,
// is a place where a disk is mounted and nothing is mounted there, so that
// what was meant for the disk would fill the disk below instead.
std::string unmountedRootProblem(const std::string& root, const MountRules& rules, std::string& folder);

} // namespace korvane
