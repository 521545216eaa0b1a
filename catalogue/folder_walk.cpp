#include "catalogue/folder_walk.h"

#include "text/system_error.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace korvane {

namespace {

std::string joined(std::string_view folder, std::string_view name)
{
    if (folder.empty())
        return std::string(name);
    std::string out(folder);
    if (out.back() != '/')
        out += '/';
    out += name;
    return out;
}

// An open folder of the walk, and the folders in it still to be walked.
struct Frame {
    int fd = -1;
    std::string relative;
    std::string absolute;
    std::vector<std::string> folders;
    std::size_t next = 0;

    Frame(int fd_, std::string relative_, std::string absolute_)
        : fd(fd_), relative(std::move(relative_)), absolute(std::move(absolute_))
    {
    }
    Frame(Frame&& other) noexcept
        : fd(std::exchange(other.fd, -1)), relative(std::move(other.relative)), absolute(std::move(other.absolute)),
          folders(std::move(other.folders)), next(other.next)
    {
    }
    Frame& operator=(Frame&&) = delete;
    ~Frame()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads the folder of `frame`: its regular files into `listed`, its folders
// on the same device into the frame.
void list(Frame& frame, std::uint64_t device, ListedFolder& listed, WalkNotes& notes)
{
    const int copy = ::dup(frame.fd);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        listed.error = errno;
        if (copy >= 0)
            ::close(copy);
        return;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." ||
            (entry->d_type != DT_REG && entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN))
            continue;
        struct stat st {};
        if (::fstatat(frame.fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            notes.problems.push_back(joined(frame.absolute, name) + ": " + systemErrorText(errno));
        } else if (S_ISREG(st.st_mode)) {
            listed.files.push_back({std::string(name), factsOf(st)});
        } else if (S_ISDIR(st.st_mode) && st.st_dev == device) {
            frame.folders.emplace_back(name);
        } else if (S_ISDIR(st.st_mode)) {
            notes.otherVolumes.push_back(joined(frame.absolute, name));
            notes.notRead.push_back(joined(frame.relative, name));
        }
        errno = 0;
    }
    listed.error = errno;
    ::closedir(dir);
    std::sort(frame.folders.begin(), frame.folders.end());
}

} // namespace

void walkFolders(int rootFd, std::uint64_t device, const std::string& relative, const std::string& absolute,
                 const std::function<bool(ListedFolder&&)>& folder, const std::atomic<bool>* stop,
                 WalkNotes& notes)
{
    std::vector<Frame> stack;
    const auto visit = [&](int fd, std::string relativePath, std::string absolutePath) {
        Frame& frame = stack.emplace_back(fd, std::move(relativePath), std::move(absolutePath));
        ListedFolder listed{frame.relative, frame.absolute, {}, 0};
        list(frame, device, listed, notes);
        return folder(std::move(listed));
    };
    if (!visit(rootFd, relative, absolute))
        return;
    while (!stack.empty()) {
        if (stop && stop->load(std::memory_order_relaxed))
            return;
        Frame& top = stack.back();
        if (top.next == top.folders.size()) {
            stack.pop_back();
            continue;
        }
        const std::string& name = top.folders[top.next++];
        std::string relativePath = joined(top.relative, name);
        std::string absolutePath = joined(top.absolute, name);
        const int fd = ::openat(top.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            notes.problems.push_back(absolutePath + ": " + systemErrorText(errno));
            notes.notRead.push_back(std::move(relativePath));
            continue;
        }
        if (!visit(fd, std::move(relativePath), std::move(absolutePath)))
            return;
    }
}

} // namespace korvane
