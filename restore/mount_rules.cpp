#include "restore/mount_rules.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace korvane {

namespace {

// Whether something is mounted at `path`: its root is the root of a mount
// (as the kernel says where it can), or it lies on another device than the
// folder above it.
bool isMountPoint(const std::string& path)
{
    struct statx here {};
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO, &here) != 0)
        return false;
#ifdef STATX_ATTR_MOUNT_ROOT
    if (here.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT)
        return (here.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
#endif
    struct statx above {};
    const std::string parent = path.substr(0, std::max<std::size_t>(path.rfind('/'), 1));
    if (::statx(AT_FDCWD, parent.c_str(), 0, STATX_INO, &above) != 0)
        return false;
    return here.stx_dev_major != above.stx_dev_major || here.stx_dev_minor != above.stx_dev_minor;
}

// How many folder names `path` has below `folder`; -1 when not below it.
int depthBelow(const std::string& path, const std::string& folder)
{
    if (path.size() <= folder.size() + 1 || !path.starts_with(folder) || path[folder.size()] != '/')
        return -1;
    return static_cast<int>(std::count(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end(), '/'));
}

bool isMountPlace(const std::string& path, const MountRules& rules)
{
    if (std::find(rules.fstab.begin(), rules.fstab.end(), path) != rules.fstab.end())
        return true;
    return std::any_of(rules.removable.begin(), rules.removable.end(), [&](const std::string& folder) {
        const int depth = depthBelow(path, folder);
        return depth == 1 || depth == 2;
    });
}

} // namespace

MountRules systemMountRules()
{
    MountRules rules;
    std::ifstream fstab("/etc/fstab");
    std::string line;
    while (std::getline(fstab, line)) {
        std::istringstream fields(line);
        std::string source, target, type;
        if (!(fields >> source >> target >> type) || source.starts_with('#') || !target.starts_with('/'))
            continue;
        if (target != "/" && type != "swap")
            rules.fstab.push_back(target);
    }
    return rules;
}

std::string unmountedRootProblem(const std::string& root, const MountRules& rules, std::string& folder)
{
    folder = root;
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0)
        return "does not exist";
    if (!S_ISDIR(st.st_mode))
        return "is not a folder";
    // From the root up to the disk it lies on: a place of mounting passed on
    // the way has nothing mounted on it.
    std::string path = root;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    while (path.size() > 1 && !isMountPoint(path)) {
        if (isMountPlace(path, rules)) {
            folder = path;
            return "is an empty mount point";
        }
        path.resize(std::max<std::size_t>(path.rfind('/'), 1));
    }
    return {};
}

} // namespace korvane
