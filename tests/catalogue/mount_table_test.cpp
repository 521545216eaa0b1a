#include "catalogue/mount_table.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>

namespace korvane {
namespace {

const std::vector<DeviceName> kUuids = {
    {"1234-ABCD", "/dev/sdb1", 0},
    {"0b5e7f3c-8d2a-4f61-9c3e-2a7d5b1e9f40", "/dev/nvme0n1p2", 0},
    {"5F2E-11AA", "/dev/other", makedev(8, 33)},
};
const std::vector<DeviceName> kLabels = {{"WD 2024 B", "/dev/sdb1", 0}};

const char* const kMountInfo =
    "22 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
    "40 22 8:17 / /media/me/WD\\0402024\\040B rw,nosuid shared:5 master:3 - exfat /dev/sdb1 rw,uid=1000\n"
    "41 22 0:50 / /mnt/nas rw - cifs //nas/footage rw,vers=3.0\n"
    "42 22 8:33 /Footage /srv/footage rw - vfat /dev/disk/by-id/usb-card-part1 rw\n"
    "43 22 0:26 / /dev/shm rw - tmpfs tmpfs rw\n"
    "44 22 0:27 / /dev/shm rw - tmpfs tmpfs rw\n";

TEST(MountTable, namesEachVolumeByUuidLabelShareOrWhereItIsMounted)
{
    const MountTable table = MountTable::parse(kMountInfo, kUuids, kLabels);
    ASSERT_EQ(table.mounts().size(), 6u);
    const VolumeIdentity& disk = table.mounts()[1].identity;
    EXPECT_EQ(table.mounts()[1].mountPoint, "/media/me/WD 2024 B");
    EXPECT_EQ(disk.kind, VolumeKind::Uuid);
    EXPECT_EQ(disk.key, "uuid:1234-ABCD");
    EXPECT_EQ(disk.label, "WD 2024 B");
    EXPECT_EQ(volumeName(disk), "WD 2024 B");
    EXPECT_FALSE(disk.stableInodes) << "exFAT numbers its files anew at each mount";

    const VolumeIdentity& share = table.mounts()[2].identity;
    EXPECT_EQ(share.kind, VolumeKind::Share);
    EXPECT_EQ(share.key, "share://nas/footage");
    EXPECT_EQ(volumeName(share), "//nas/footage");

    // Named by its block device's number, though mounted under another name.
    const VolumeIdentity& card = table.mounts()[3].identity;
    EXPECT_EQ(card.key, "uuid:5F2E-11AA");
    EXPECT_EQ(table.mounts()[3].root, "/Footage");

    const VolumeIdentity& memory = table.mounts()[4].identity;
    EXPECT_EQ(memory.kind, VolumeKind::Mount);
    EXPECT_EQ(memory.key, "mount:tmpfs /dev/shm");
    EXPECT_EQ(volumeName(memory), "/dev/shm");
    EXPECT_TRUE(memory.stableInodes);
    EXPECT_EQ(table.mounts()[0].identity.key, "uuid:0b5e7f3c-8d2a-4f61-9c3e-2a7d5b1e9f40");
}

TEST(MountTable, aPathIsOnTheLastMountOfTheLongestMountPointThatLeadsToIt)
{
    const MountTable table = MountTable::parse(kMountInfo, kUuids, kLabels);
    const struct {
        const char* path;
        const char* mountPoint;
        std::uint64_t device;
    } cases[] = {
        {"/", "/", makedev(259, 2)},
        {"/media/me/WD 2024 B", "/media/me/WD 2024 B", makedev(8, 17)},
        {"/media/me/WD 2024 B/Footage/C0001.MP4", "/media/me/WD 2024 B", makedev(8, 17)},
        {"/media/me/WD 2024 BB/x", "/", makedev(259, 2)},
        {"/dev/shm/x", "/dev/shm", makedev(0, 27)},
        {"/mnt/nasx", "/", makedev(259, 2)},
    };
    for (const auto& c : cases) {
        const Mount* mount = table.containing(c.path);
        ASSERT_NE(mount, nullptr) << c.path;
        EXPECT_EQ(mount->mountPoint, c.mountPoint) << c.path;
        EXPECT_EQ(mount->device, c.device) << c.path;
    }
}

TEST(MountTable, pathsFromTheRootOfAVolumeAreFoundThroughAMountThatShowsThem)
{
    const MountTable table = MountTable::parse(kMountInfo, kUuids, kLabels);
    // Mounted whole.
    EXPECT_EQ(table.pathNow("uuid:1234-ABCD", "Footage/C0001.MP4"), "/media/me/WD 2024 B/Footage/C0001.MP4");
    EXPECT_EQ(table.pathNow("uuid:1234-ABCD", ""), "/media/me/WD 2024 B");
    EXPECT_EQ(table.pathNow("uuid:0b5e7f3c-8d2a-4f61-9c3e-2a7d5b1e9f40", "etc/hosts"), "/etc/hosts");
    // Only its folder Footage is mounted: nothing else of it can be reached.
    EXPECT_EQ(table.pathNow("uuid:5F2E-11AA", "Footage/a/b.mov"), "/srv/footage/a/b.mov");
    EXPECT_EQ(table.pathNow("uuid:5F2E-11AA", "Footage"), "/srv/footage");
    EXPECT_EQ(table.pathNow("uuid:5F2E-11AA", "Footage2/b.mov"), "");
    EXPECT_EQ(table.pathNow("uuid:5F2E-11AA", "Other/b.mov"), "");
    EXPECT_EQ(table.pathNow("uuid:FFFF-0000", "a"), "") << "not connected";
    EXPECT_FALSE(table.connected("uuid:FFFF-0000"));
    EXPECT_TRUE(table.connected("share://nas/footage"));

    EXPECT_EQ(volumeRelative(table.mounts()[3], "/srv/footage/a/b.mov"), "Footage/a/b.mov");
    EXPECT_EQ(volumeRelative(table.mounts()[3], "/srv/footage"), "Footage");
    EXPECT_EQ(volumeRelative(table.mounts()[0], "/home/me/x"), "home/me/x");
    EXPECT_EQ(volumeRelative(table.mounts()[0], "/"), "");
}

TEST(MountTable, linesThatAreNotMountsArePassedOver)
{
    const char* const lines[] = {
        "",
        "garbage",
        "1 2 3 4 5 6 7 8 9",                                     // no separator, no device
        "40 22 8:17 / /media/x rw shared:5 ext4 /dev/sdb1 rw",   // no separator
        "40 22 8:17 / /media/x rw -",                            // nothing after it
        "40 22 8-17 / /media/x rw - ext4 /dev/sdb1 rw",          // not a device
        "40 22 99999999999:1 / /media/x rw - ext4 /dev/sdb1 rw", // too large a device
        "40 22 8:17 relative /media/x rw - ext4 /dev/sdb1 rw",   // a root not absolute
        "40 22 8:17 / media/x rw - ext4 /dev/sdb1 rw",           // a mount point not absolute
    };
    for (const char* line : lines)
        EXPECT_TRUE(MountTable::parse(line, kUuids, kLabels).mounts().empty()) << line;
    const MountTable table = MountTable::parse(std::string(lines[3]) + "\n" + kMountInfo, kUuids, kLabels);
    EXPECT_EQ(table.mounts().size(), 6u);
}

} // namespace
} // namespace korvane
