#pragma once

// The mounts of the system and the volumes they are: which disk a folder is
// on, and whether a disk catalogued before is connected now.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Where the mount table and the names of the file systems are read from:
// the system's by default. Tests give a mount table and by-uuid and
// by-label folders of their own, so that a disk can be "unplugged" (its
// mount left out, its folder renamed away) without root.
struct MountSources {
    std::string mountInfo = "/proc/self/mountinfo";
    std::string byUuid = "/dev/disk/by-uuid";
    std::string byLabel = "/dev/disk/by-label";
};

// How a volume is known again from one mount to the next.
enum class VolumeKind : std::uint8_t {
    Uuid,  // a file system with a UUID: a disk, a partition, a card
    Share, // a network share, by its mount source (//nas/footage, nas:/export)
    Mount, // anything else (no UUID to be had): by its source and mount point
};

struct VolumeIdentity {
    VolumeKind kind = VolumeKind::Mount;
    // Unique among volumes: "uuid:UUID", "share:SOURCE" or "mount:SOURCE MOUNTPOINT".
    std::string key;
    std::string uuid;   // empty when the file system has none that can be had
    std::string label;  // the file system's label, empty when none
    std::string source; // the mount source: /dev/sdb1, //nas/footage
    std::string fsType;
    std::string mountPoint; // Mount: where it is mounted, as its key says
    // Whether the file system keeps a file's inode number from one mount to
    // the next; FAT and exFAT make them up at each mount.
    bool stableInodes = true;
};

// The name a person knows a volume by: its label, else its share, else its
// UUID, else where it is mounted.
std::string volumeName(const VolumeIdentity& identity);

struct Mount {
    std::uint64_t device = 0; // major and minor as stat's st_dev gives them
    std::string root;         // the folder of the file system mounted here: "/" for all of it
    std::string mountPoint;   // absolute
    VolumeIdentity identity;
};

// A name in a by-uuid or by-label folder and the device it leads to.
struct DeviceName {
    std::string name;   // decoded: udev writes unsafe bytes as \xHH
    std::string target; // the link's target, absolute and lexically normal
    std::uint64_t device = 0; // the block device's number, 0 when not a block device
};

class MountTable {
public:
    // The system's mounts, or those of `sources`. A table that cannot be
    // read gives no mounts.
    static MountTable read(const MountSources& sources = {});
    // The mounts of the text of a mountinfo file, named by `uuids` and
    // `labels`. Lines that do not read as mounts are passed over.
    static MountTable parse(std::string_view mountInfo, const std::vector<DeviceName>& uuids,
                            const std::vector<DeviceName>& labels);

    const std::vector<Mount>& mounts() const { return mounts_; }

    // The mount that holds the absolute, normal `path` (no link followed):
    // of the mounts on the longest mount point that leads to it, the last
    // mounted. Null when there is none.
    const Mount* containing(std::string_view path) const;

    // Where the file or folder `relative` (to the root of the volume `key`,
    // no leading slash; empty for the root) is now: an absolute path through
    // a mount of the volume that shows it. Empty when the volume is not
    // connected, or none of its mounts shows that folder.
    std::string pathNow(std::string_view key, std::string_view relative) const;

    // Whether the volume `key` is mounted now.
    bool connected(std::string_view key) const;

private:
    std::vector<Mount> mounts_;
};

// The path of `path` (absolute, normal) relative to the root of the file
// system that `mount` mounts: no leading slash, empty for the root.
std::string volumeRelative(const Mount& mount, std::string_view path);

// Whether the file system type is a network one, where SQLite's locking
// cannot be relied on and a share is known by its source.
bool isNetworkFileSystem(std::string_view fsType);

// The names of a by-uuid or by-label folder; none when it cannot be read.
std::vector<DeviceName> readDeviceNames(const std::string& folder);

} // namespace korvane
