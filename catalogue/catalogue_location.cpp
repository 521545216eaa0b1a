#include "catalogue/catalogue_location.h"

#include <sys/stat.h>
#include <sys/statfs.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace korvane {

namespace {

// statfs's f_type of the network file systems the kernel itself serves.
bool networkMagic(long type)
{
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFu) {
    case 0x6969u:     // NFS
    case 0x517Bu:     // SMB
    case 0xFE534D42u: // SMB2
    case 0xFF534D42u: // CIFS
    case 0x73757245u: // Coda
    case 0x5346414Fu: // AFS
    case 0x00C36400u: // Ceph
    case 0x01021997u: // 9P
        return true;
    default:
        return false;
    }
}

// The folder itself, or the nearest one above it that exists.
std::string existingFolder(std::string folder)
{
    struct stat st {};
    while (!folder.empty() && ::stat(folder.c_str(), &st) != 0) {
        const std::size_t slash = folder.rfind('/');
        folder = slash == std::string::npos ? "" : slash == 0 ? "/" : folder.substr(0, slash);
    }
    return folder.empty() ? "." : folder;
}

} // namespace

std::string defaultCataloguePath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return std::string(data) + "/korvane/catalogue.sqlite";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/korvane/catalogue.sqlite";
}

std::string networkFileSystemReason(const std::string& folder, const MountTable& mounts)
{
    const std::string existing = existingFolder(folder);
    std::error_code error;
    const std::filesystem::path real = std::filesystem::weakly_canonical(std::filesystem::absolute(existing), error);
    if (!error) {
        if (const Mount* mount = mounts.containing(real.string());
            mount && isNetworkFileSystem(mount->identity.fsType)) {
            return "it is on a network file system (" + mount->identity.fsType + " " + mount->identity.source +
                   "), where SQLite's locking is not reliable";
        }
    }
    struct statfs fs {};
    if (::statfs(existing.c_str(), &fs) == 0 && networkMagic(static_cast<long>(fs.f_type)))
        return "it is on a network file system, where SQLite's locking is not reliable";
    return {};
}

bool makePrivateFolders(const std::string& path)
{
    for (std::size_t k = 1; k <= path.size(); ++k) {
        if (k == path.size() || path[k] == '/') {
            const std::string at = path.substr(0, k);
            if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

} // namespace korvane
