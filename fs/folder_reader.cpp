#include "fs/folder_reader.h"

#include "fs/open_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace korvane {

namespace {

std::uint32_t checkedOffset(std::size_t size)
{
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("folder listing: more than 4 GB of names");
    return static_cast<std::uint32_t>(size);
}

EntryKind kindOfEntry(DIR* dir, const dirent& entry)
{
    switch (entry.d_type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
        return EntryKind::Link;
    case DT_UNKNOWN: {
        // Some file systems do not keep the type in the folder.
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::Other;
        return kindOfMode(st.st_mode);
    }
    default:
        return EntryKind::Other;
    }
}

class SystemFolderReader final : public FolderReader {
public:
    int readable(const std::string& path) override
    {
        if (::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0 || errno == ENAMETOOLONG)
            return 0;
        return errno;
    }

    int list(const std::string& path, FolderListing& listing) override
    {
        listing.reset();
        // O_NONBLOCK: a root that names a pipe fails instead of waiting for a writer.
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno;
        return readOpenFolder(fd, listing);
    }

    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return errno;
        kind = kindOfMode(st.st_mode);
        identity = identityOf(st);
        return 0;
    }
};

} // namespace

FolderIdentity identityOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

EntryKind kindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::File;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return EntryKind::Link;
    return EntryKind::Other;
}

int readOpenFolder(int fd, FolderListing& listing)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    listing.setIdentity(identityOf(st));
    // Listing needs the right to read, opening what is in it the right to search.
    listing.setEnterable(::faccessat(fd, ".", X_OK, AT_EACCESS) == 0);
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        listing.add(name, kindOfEntry(dir, *entry));
    }
    ::closedir(dir);
    return error;
}

int FolderReader::realPath(const std::string& path, std::string& out)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return errno;
    out.assign(resolved);
    return 0;
}

int FolderReader::lookUp(const std::string& path, EntryKind& kind)
{
    FolderIdentity identity;
    return follow(path, kind, identity);
}

int FolderReader::readable(const std::string&)
{
    return 0;
}

void FolderListing::reset()
{
    identity_.reset();
    enterable_ = true;
    names_.clear();
    entries_.clear();
}

void FolderListing::add(std::string_view name, EntryKind kind)
{
    entries_.push_back({checkedOffset(names_.size()), checkedOffset(name.size()), kind});
    names_.append(name);
}

FolderReader& systemFolderReader()
{
    static SystemFolderReader reader;
    return reader;
}

} // namespace korvane
