#include "search/walk_bounds.h"

#include <algorithm>

namespace korvane {

namespace {

// Folders of the kernel's, never media: not even a root there is read.
bool isKernelPath(std::string_view path)
{
    return isBelow(path, "/proc") || isBelow(path, "/sys");
}

bool isSystemPath(std::string_view path)
{
    return isKernelPath(path) || isBelow(path, "/dev");
}

} // namespace

bool isBelow(std::string_view path, std::string_view folder)
{
    return path.starts_with(folder) && (path.size() == folder.size() || folder == "/" || path[folder.size()] == '/');
}

WalkBounds::WalkBounds(FolderReader& reader)
{
    for (const char* system : {"/proc", "/sys", "/dev"}) {
        EntryKind kind = EntryKind::Other;
        FolderIdentity identity;
        if (reader.follow(system, kind, identity) == 0 && kind == EntryKind::Folder)
            excluded_.push_back(identity);
    }
}

bool WalkBounds::addRoot(FolderReader& reader, const std::string& root)
{
    std::string real;
    if (reader.realPath(root, real) != 0)
        return true;
    if (isKernelPath(real))
        return false; // a root below /dev is read (/dev/shm holds files), /dev itself never
    realRoots_.push_back(std::move(real));
    return true;
}

bool WalkBounds::isExcluded(const FolderIdentity& identity) const
{
    return std::find(excluded_.begin(), excluded_.end(), identity) != excluded_.end();
}

LinkTarget WalkBounds::follow(FolderReader& reader, const std::string& linkPath, std::string& real) const
{
    LinkTarget target;
    if (reader.follow(linkPath, target.kind, target.identity) != 0)
        return {}; // leads nowhere: neither a file nor a folder to search
    if ((target.kind != EntryKind::File && target.kind != EntryKind::Folder) ||
        !staysInside(reader, linkPath, target.kind, real))
        return {};
    return target;
}

// Whether the link `linkPath` leads below one of the roots, and not into
// the system's folders.
bool WalkBounds::staysInside(FolderReader& reader, const std::string& linkPath, EntryKind kind,
                             std::string& real) const
{
    if (reader.realPath(linkPath, real) != 0)
        return false;
    if (kind == EntryKind::File)
        real.resize(std::max<std::size_t>(1, real.rfind('/')));
    return std::any_of(realRoots_.begin(), realRoots_.end(), [&real](const std::string& root) {
        return isBelow(real, root) && (!isSystemPath(real) || isSystemPath(root));
    });
}

} // namespace korvane
