#pragma once

#include "catalogue/mount_table.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace korvane::testkit {

// A mount table of a test's own, with by-uuid and by-label folders, over
// folders of a temporary tree: a folder is "plugged in" as a disk, and
// "unplugged" by leaving it out of the table (and renaming it away, as a
// disk that is gone). A root mount holds everything else.
class FakeMounts {
public:
    explicit FakeMounts(const std::filesystem::path& base) : base_(base / "fake-mounts")
    {
        std::filesystem::create_directories(base_ / "by-uuid");
        std::filesystem::create_directories(base_ / "by-label");
        write();
    }

    // The folder `folder` as a disk of type `type` with `uuid` and `label`
    // (none when empty).
    void plug(const std::string& folder, const std::string& uuid, const std::string& label,
              const std::string& type = "exfat")
    {
        const std::string device = (base_ / ("dev" + std::to_string(++devices_))).string();
        mounts_.push_back({folder, device, type, devices_, uuid, label});
        link("by-uuid", uuid);
        link("by-label", label);
        write();
    }

    // The folder `folder` as a share mounted from `source`.
    void share(const std::string& folder, const std::string& source, const std::string& type = "cifs")
    {
        mounts_.push_back({folder, source, type, ++devices_});
        write();
    }

    // The disk at `folder` taken out of the table.
    void unplug(const std::string& folder)
    {
        for (const Entry& e : mounts_) {
            if (e.folder == folder) {
                std::filesystem::remove(base_ / "by-uuid" / e.uuid);
                std::filesystem::remove(base_ / "by-label" / e.label);
            }
        }
        std::erase_if(mounts_, [&](const Entry& e) { return e.folder == folder; });
        write();
    }

    MountSources sources() const
    {
        return {(base_ / "mountinfo").string(), (base_ / "by-uuid").string(), (base_ / "by-label").string()};
    }
    MountTable table() const { return MountTable::read(sources()); }

private:
    struct Entry {
        std::string folder;
        std::string source;
        std::string type;
        int device;
        std::string uuid = {};
        std::string label = {};
    };

    // The name in `folder` for the newest device, as udev makes it.
    void link(const char* folder, const std::string& name) const
    {
        if (name.empty())
            return;
        std::filesystem::remove(base_ / folder / name);
        std::filesystem::create_symlink("../dev" + std::to_string(devices_), base_ / folder / name);
    }

    void write() const
    {
        std::ofstream out(base_ / "mountinfo", std::ios::trunc);
        out << "1 0 250:0 / / rw,relatime - ext4 /dev/fake-root rw\n";
        int id = 2;
        for (const Entry& e : mounts_)
            out << id++ << " 1 250:" << e.device << " / " << e.folder << " rw,relatime shared:1 - " << e.type << " "
                << e.source << " rw\n";
    }

    std::filesystem::path base_;
    std::vector<Entry> mounts_;
    int devices_ = 0;
};

} // namespace korvane::testkit
