#include "catalogue/mount_table.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

namespace korvane {

namespace {

// The file systems on another machine: their locks are not to be trusted,
// and a share is known by the name it is mounted from.
constexpr std::array<std::string_view, 17> kNetworkTypes = {
    "nfs",        "nfs4",   "cifs",      "smb3",       "smbfs",    "ncpfs", "afs",   "ceph",       "glusterfs",
    "fuse.sshfs", "9p",     "fuse.s3fs", "fuse.rclone", "davfs",   "lustre", "gpfs", "fuse.glusterfs",
};

// The kernel numbers the files of these anew at each mount.
constexpr std::array<std::string_view, 4> kMadeUpInodeTypes = {"vfat", "msdos", "exfat", "umsdos"};

// mountinfo writes a blank, a tab, a line feed and a backslash in a field
// as \040, \011, \012 and \134.
std::string unescapeField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (field[k] == '\\' && field.size() - k >= 4) {
            const char a = field[k + 1], b = field[k + 2], c = field[k + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out += static_cast<char>((a - '0') << 6 | (b - '0') << 3 | (c - '0'));
                k += 3;
                continue;
            }
        }
        out += field[k];
    }
    return out;
}

// udev names a device after its label with every unsafe byte as \xHH.
std::string unescapeDeviceName(std::string_view name)
{
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t k = 0; k < name.size(); ++k) {
        if (name[k] == '\\' && name.size() - k >= 4 && name[k + 1] == 'x' && hex(name[k + 2]) >= 0 &&
            hex(name[k + 3]) >= 0) {
            out += static_cast<char>(hex(name[k + 2]) << 4 | hex(name[k + 3]));
            k += 3;
            continue;
        }
        out += name[k];
    }
    return out;
}

std::string lexicallyNormal(const std::string& path)
{
    std::string normal = std::filesystem::path(path).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/')
        normal.pop_back();
    return normal;
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at)
            fields.push_back(line.substr(at, end - at));
        at = end + 1;
    }
    return fields;
}

// "8:17" as st_dev gives it; false for anything else.
bool parseDevice(std::string_view text, std::uint64_t& device)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size() || text.size() > 24)
        return false;
    unsigned long long parts[2] = {0, 0};
    const std::string_view pieces[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int k = 0; k < 2; ++k) {
        for (const char c : pieces[k]) {
            if (c < '0' || c > '9' || parts[k] > 0xFFFFFFFFu)
                return false;
            parts[k] = parts[k] * 10 + static_cast<unsigned>(c - '0');
        }
    }
    if (parts[0] > 0xFFFFFFFFu || parts[1] > 0xFFFFFFFFu)
        return false;
    device = makedev(static_cast<unsigned>(parts[0]), static_cast<unsigned>(parts[1]));
    return true;
}

// Whether the device name `name` is the device `mount` is mounted from:
// the same block device number, or the same path.
bool namesSource(const DeviceName& name, const Mount& mount, const std::string& source)
{
    if (name.device != 0 && name.device == mount.device)
        return true;
    return !source.empty() && source.front() == '/' && name.target == source;
}

void identify(Mount& mount, const std::vector<DeviceName>& uuids, const std::vector<DeviceName>& labels,
              const std::string& source)
{
    VolumeIdentity& id = mount.identity;
    id.stableInodes = std::find(kMadeUpInodeTypes.begin(), kMadeUpInodeTypes.end(), id.fsType) ==
                      kMadeUpInodeTypes.end();
    if (isNetworkFileSystem(id.fsType)) {
        id.kind = VolumeKind::Share;
        id.key = "share:" + id.source;
        return;
    }
    for (const DeviceName& label : labels) {
        if (namesSource(label, mount, source)) {
            id.label = label.name;
            break;
        }
    }
    for (const DeviceName& uuid : uuids) {
        if (namesSource(uuid, mount, source)) {
            id.kind = VolumeKind::Uuid;
            id.uuid = uuid.name;
            id.key = "uuid:" + uuid.name;
            return;
        }
    }
    id.kind = VolumeKind::Mount;
    id.mountPoint = mount.mountPoint;
    id.key = "mount:" + id.source + " " + mount.mountPoint;
}

// One line of mountinfo: "ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS
// [OPTIONAL...] - FSTYPE SOURCE SUPEROPTIONS".
bool parseLine(std::string_view line, Mount& mount)
{
    const std::vector<std::string_view> fields = splitFields(line);
    if (fields.size() < 9)
        return false;
    std::size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-")
        ++dash;
    if (dash + 2 >= fields.size() || !parseDevice(fields[2], mount.device))
        return false;
    mount.root = unescapeField(fields[3]);
    mount.mountPoint = unescapeField(fields[4]);
    if (mount.root.empty() || mount.root.front() != '/' || mount.mountPoint.empty() ||
        mount.mountPoint.front() != '/')
        return false;
    mount.mountPoint = lexicallyNormal(mount.mountPoint);
    mount.root = lexicallyNormal(mount.root);
    mount.identity.fsType = unescapeField(fields[dash + 1]);
    mount.identity.source = unescapeField(fields[dash + 2]);
    return true;
}

// Whether `prefix` (absolute, normal) is `path` or a folder above it.
bool leadsTo(std::string_view prefix, std::string_view path)
{
    if (prefix == "/")
        return !path.empty() && path.front() == '/';
    return path.starts_with(prefix) && (path.size() == prefix.size() || path[prefix.size()] == '/');
}

std::string_view withoutLeadingSlash(std::string_view path)
{
    while (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    return path;
}

std::string joined(std::string_view a, std::string_view b)
{
    if (a.empty())
        return std::string(b);
    if (b.empty())
        return std::string(a);
    std::string out(a);
    if (out.back() != '/')
        out += '/';
    out += b;
    return out;
}

} // namespace

std::string volumeName(const VolumeIdentity& identity)
{
    if (!identity.label.empty())
        return identity.label;
    if (identity.kind == VolumeKind::Share)
        return identity.source;
    if (!identity.uuid.empty())
        return identity.uuid;
    return identity.mountPoint.empty() ? identity.source : identity.mountPoint;
}

bool isNetworkFileSystem(std::string_view fsType)
{
    return std::find(kNetworkTypes.begin(), kNetworkTypes.end(), fsType) != kNetworkTypes.end();
}

std::vector<DeviceName> readDeviceNames(const std::string& folder)
{
    std::vector<DeviceName> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string link = folder + "/" + std::string(name);
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0)
            continue;
        std::string path(target, static_cast<std::size_t>(length));
        if (path.front() != '/')
            path = folder + "/" + path;
        DeviceName device{unescapeDeviceName(name), lexicallyNormal(path), 0};
        if (char* real = ::realpath(device.target.c_str(), nullptr)) {
            device.target = real;
            std::free(real);
        }
        struct stat st {};
        if (::stat(link.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
            device.device = st.st_rdev;
        names.push_back(std::move(device));
    }
    return names;
}

MountTable MountTable::parse(std::string_view mountInfo, const std::vector<DeviceName>& uuids,
                             const std::vector<DeviceName>& labels)
{
    MountTable table;
    std::size_t at = 0;
    while (at < mountInfo.size()) {
        const std::size_t end = std::min(mountInfo.find('\n', at), mountInfo.size());
        Mount mount;
        if (parseLine(mountInfo.substr(at, end - at), mount)) {
            const std::string& source = mount.identity.source;
            identify(mount, uuids, labels, source.starts_with("/") ? lexicallyNormal(source) : source);
            table.mounts_.push_back(std::move(mount));
        }
        at = end + 1;
    }
    return table;
}

MountTable MountTable::read(const MountSources& sources)
{
    std::ifstream in(sources.mountInfo, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::vector<DeviceName> uuids = readDeviceNames(sources.byUuid);
    const std::vector<DeviceName> labels = readDeviceNames(sources.byLabel);
    MountTable table = parse(text.str(), uuids, labels);
    // A source that is itself a link (/dev/mapper/x leads to /dev/dm-0) is
    // named under where it leads.
    for (Mount& mount : table.mounts_) {
        const std::string& source = mount.identity.source;
        if (mount.identity.kind != VolumeKind::Mount || !source.starts_with("/"))
            continue;
        if (char* real = ::realpath(source.c_str(), nullptr)) {
            const std::string target = real;
            std::free(real);
            identify(mount, uuids, labels, target);
        }
    }
    // A process whose root is no mount (a chroot into a folder) sees no mount
    // at "/": its root stands for a volume of its own, known by nothing
    // beyond this view, so that what lies below it can still be catalogued.
    const bool rootListed =
        std::any_of(table.mounts_.begin(), table.mounts_.end(), [](const Mount& m) { return m.mountPoint == "/"; });
    struct stat root {};
    if (!rootListed && ::stat("/", &root) == 0) {
        static const std::string kSlash(1, '/');
        static const std::string kSource("rootfs");
        Mount mount;
        mount.device = root.st_dev;
        mount.root = kSlash;
        mount.mountPoint = kSlash;
        mount.identity.kind = VolumeKind::Mount;
        mount.identity.source = kSource;
        mount.identity.mountPoint = kSlash;
        mount.identity.key = "mount:" + kSource + " " + kSlash;
        table.mounts_.insert(table.mounts_.begin(), std::move(mount));
    }
    return table;
}

const Mount* MountTable::containing(std::string_view path) const
{
    const Mount* best = nullptr;
    for (const Mount& mount : mounts_) {
        if (leadsTo(mount.mountPoint, path) && (!best || mount.mountPoint.size() >= best->mountPoint.size()))
            best = &mount;
    }
    return best;
}

std::string MountTable::pathNow(std::string_view key, std::string_view relative) const
{
    for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
        if (it->identity.key != key)
            continue;
        const std::string_view root = withoutLeadingSlash(it->root);
        if (!root.empty() && !(relative == root || (relative.starts_with(root) && relative[root.size()] == '/')))
            continue;
        const std::string_view rest = withoutLeadingSlash(relative.substr(root.size()));
        if (rest.empty())
            return it->mountPoint;
        std::string now = it->mountPoint;
        if (now.back() != '/')
            now += '/';
        now.append(rest);
        return now;
    }
    return {};
}

bool MountTable::connected(std::string_view key) const
{
    return std::any_of(mounts_.begin(), mounts_.end(), [&](const Mount& m) { return m.identity.key == key; });
}

std::string volumeRelative(const Mount& mount, std::string_view path)
{
    std::string_view rest = mount.mountPoint == "/" ? path : path.substr(std::min(path.size(), mount.mountPoint.size()));
    return joined(withoutLeadingSlash(mount.root), withoutLeadingSlash(rest));
}

} // namespace korvane
