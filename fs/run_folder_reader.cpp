#include "fs/folder_reader.h"

#include "text/string_table.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace korvane {

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
