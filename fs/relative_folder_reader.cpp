#include "fs/folder_reader.h"

#include "fs/open_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

namespace {

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
        return readOpenFolder(copy, listing);
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

} // namespace korvane
