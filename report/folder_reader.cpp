#include "report/folder_reader.h"

#include "text/string_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace korvane {

namespace {

std::uint32_t checkedOffset(std::size_t size)
{
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("folder listing: more than 4 GB of names");
    return static_cast<std::uint32_t>(size);
}

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
        return readFolder(fd, listing);
    }

    // Reads the open folder `fd`, which it closes.
    static int readFolder(int fd, FolderListing& listing)
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

    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return errno;
        kind = kindOfMode(st.st_mode);
        identity = identityOf(st);
        return 0;
    }

private:
    static EntryKind kindOfEntry(DIR* dir, const dirent& entry)
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
};

// Keeps the folders above the last one read open, and opens each folder
// relative to the one it is in: a walk opens every folder with one short
// name, however deep (even beyond PATH_MAX) the tree.
class RelativeFolderReader final : public FolderReader {
public:
    RelativeFolderReader() = default;
    RelativeFolderReader(const RelativeFolderReader&) = delete;
    RelativeFolderReader& operator=(const RelativeFolderReader&) = delete;
    ~RelativeFolderReader() override
    {
        for (const Level& level : chain_) {
            if (level.fd >= 0)
                ::close(level.fd);
        }
    }

    int list(const std::string& path, FolderListing& listing) override
    {
        listing.reset();
        if (path.empty() || path[0] != '/')
            return systemFolderReader().list(path, listing);
        int fd = -1;
        if (const int error = open(path, fd))
            return error;
        // The copy shares the position of the original: read from the start.
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            return errno;
        ::lseek(copy, 0, SEEK_SET);
        return SystemFolderReader::readFolder(copy, listing);
    }

    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        const std::size_t slash = path.rfind('/');
        int folder = -1;
        if (slash == std::string::npos || slash == 0 || open(path.substr(0, slash), folder) != 0)
            return systemFolderReader().follow(path, kind, identity);
        struct stat st {};
        if (::fstatat(folder, path.c_str() + slash + 1, &st, 0) != 0)
            return errno;
        kind = kindOfMode(st.st_mode);
        identity = identityOf(st);
        return 0;
    }

private:
    static constexpr std::size_t kMostOpen = 128;

    struct Level {
        std::size_t length; // of the path up to this folder
        int fd;             // -1 once closed to stay within kMostOpen
    };

    // The open folder of the absolute `path`, opened name by name from the
    // deepest folder above it that is still open.
    int open(const std::string& path, int& fd)
    {
        while (!chain_.empty() && !isAbove(chain_.back().length, path))
            pop();
        if (chain_.empty()) {
            const int root = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (root < 0)
                return errno;
            chain_.push_back({1, root});
            path_.assign(1, '/');
        }
        std::size_t at = chain_.back().length;
        while (at < path.size()) {
            if (path[at] == '/')
                ++at;
            const std::size_t end = std::min(path.find('/', at), path.size());
            if (end == at)
                continue;
            const int parent = openLevel(chain_.size() - 1);
            if (parent < 0)
                return errno;
            const std::string name = path.substr(at, end - at);
            const int child = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
            if (child < 0)
                return errno;
            path_.assign(path, 0, end);
            chain_.push_back({end, child});
            keepFew();
            at = end;
        }
        fd = openLevel(chain_.size() - 1);
        return fd < 0 ? errno : 0;
    }

    bool isAbove(std::size_t length, const std::string& path) const
    {
        return path.size() >= length && path.compare(0, length, path_, 0, length) == 0 &&
               (length == 1 || path.size() == length || path[length] == '/');
    }

    // The descriptor of chain_[k], opened again if it was closed.
    int openLevel(std::size_t k)
    {
        if (chain_[k].fd >= 0)
            return chain_[k].fd;
        const int parent = openLevel(k - 1);
        if (parent < 0)
            return -1;
        const std::size_t from = chain_[k - 1].length == 1 ? 1 : chain_[k - 1].length + 1;
        const std::string name = path_.substr(from, chain_[k].length - from);
        chain_[k].fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
        keepFew();
        return chain_[k].fd;
    }

    // Closes the highest open folders but "/" while more than kMostOpen are open.
    void keepFew()
    {
        std::size_t open = 0;
        for (const Level& level : chain_)
            open += level.fd >= 0 ? 1 : 0;
        for (std::size_t k = 1; open > kMostOpen && k + 1 < chain_.size(); ++k) {
            if (chain_[k].fd >= 0) {
                ::close(chain_[k].fd);
                chain_[k].fd = -1;
                --open;
            }
        }
    }

    void pop()
    {
        if (chain_.back().fd >= 0)
            ::close(chain_.back().fd);
        chain_.pop_back();
    }

    std::vector<Level> chain_;
    std::string path_; // of the deepest folder in chain_
};

} // namespace

std::unique_ptr<FolderReader> makeRelativeFolderReader()
{
    return std::make_unique<RelativeFolderReader>();
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

namespace {

// The system's reader, which reads a folder once a run has asked whether
// kListAt of its files exist, and from then on answers from the names read
// there (but for links, which are followed): one listing instead of a
// lookup of each file's path (on a share, one round trip instead of one for
// each name of the path). What it keeps is bounded: past kMostNames names
// in all, a folder is no longer read. Safe to use from several threads at
// once.
class RunFolderReader final : public FolderReader {
public:
    int list(const std::string& path, FolderListing& listing) override
    {
        return systemFolderReader().list(path, listing);
    }
    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        return systemFolderReader().follow(path, kind, identity);
    }
    int realPath(const std::string& path, std::string& out) override
    {
        return systemFolderReader().realPath(path, out);
    }
    int readable(const std::string& path) override { return systemFolderReader().readable(path); }

    int lookUp(const std::string& path, EntryKind& kind) override
    {
        const std::size_t slash = lastSlash(path);
        if (slash != std::string::npos) {
            if (const std::shared_ptr<const Names> names = namesOf(std::string_view(path.data(), slash))) {
                const std::uint32_t* entry = names->find(std::string_view(path).substr(slash + 1));
                if (!entry)
                    return ENOENT;
                if (static_cast<EntryKind>(*entry) != EntryKind::Link) {
                    kind = static_cast<EntryKind>(*entry);
                    return 0;
                }
            }
        }
        return systemFolderReader().lookUp(path, kind);
    }

private:
    static constexpr unsigned kListAt = 4;
    static constexpr std::size_t kMostNames = 1u << 20;
    // A folder of more entries is not kept: a few files asked about in a
    // camera's dump of a hundred thousand are looked up one by one.
    static constexpr std::size_t kMostNamesOfAFolder = 1u << 16;

    // Each entry's kind, as the folder tells it; links and entries of an
    // unknown type as Link, which are asked of the system.
    using Names = StringTable;
    struct Folder {
        unsigned asked = 0;
        bool read = false;                  // reading was tried
        std::shared_ptr<const Names> names; // null: not read (yet), or it failed
    };

    // Where the folder of `path` ends, when its names may answer: not for a
    // name of the current folder or the root, nor for a path too long to
    // ask about, nor for "." and "..".
    static std::size_t lastSlash(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos || slash == 0 || path.size() >= PATH_MAX)
            return std::string::npos;
        const std::string_view name = std::string_view(path).substr(slash + 1);
        if (name.empty() || name == "." || name == ".." || name.size() > NAME_MAX)
            return std::string::npos;
        return slash;
    }

    // The names of `folder` once it is read; null before and when it cannot be.
    std::shared_ptr<const Names> namesOf(std::string_view folder)
    {
        {
            const std::lock_guard lock(mutex_);
            // A folder that was read is looked up without a copy of its name.
            if (const auto it = folders_.find(folder); it != folders_.end()) {
                Folder& known = it->second;
                if (known.read || ++known.asked < kListAt || names_ >= kMostNames)
                    return known.names;
                known.read = true; // this thread reads it
            } else {
                folders_.emplace(std::string(folder), Folder{1, false, nullptr});
                return nullptr;
            }
        }
        // Read outside the lock: on a share that takes a while.
        std::shared_ptr<const Names> names = read(std::string(folder));
        const std::lock_guard lock(mutex_);
        if (names)
            names_ += names->size();
        folders_.find(folder)->second.names = names;
        return names;
    }

    // The names of `folder`, or null when it cannot be read whole or its
    // names could not be looked up (it cannot be searched).
    static std::shared_ptr<const Names> read(const std::string& folder)
    {
        if (::faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) != 0)
            return nullptr;
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return nullptr;
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return nullptr;
        }
        auto names = std::make_shared<Names>();
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(dir);
            if (!entry)
                break;
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            if (names->size() == kMostNamesOfAFolder) {
                ::closedir(dir);
                return nullptr;
            }
            EntryKind kind = EntryKind::Other;
            switch (entry->d_type) {
            case DT_REG: kind = EntryKind::File; break;
            case DT_DIR: kind = EntryKind::Folder; break;
            case DT_LNK:
            case DT_UNKNOWN: kind = EntryKind::Link; break;
            default: break;
            }
            names->insert(name, static_cast<std::uint32_t>(kind));
        }
        const bool whole = errno == 0; // why readdir ended
        ::closedir(dir);
        return whole ? names : nullptr;
    }

    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Folder, Hash, std::equal_to<>> folders_;
    std::size_t names_ = 0; // in all the folders read
};

} // namespace

std::unique_ptr<FolderReader> makeRunFolderReader()
{
    return std::make_unique<RunFolderReader>();
}

} // namespace korvane
