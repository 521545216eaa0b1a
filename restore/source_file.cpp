#include "restore/source_file.h"

#include "restore/apply_failure.h"
#include "text/terminal_quote.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

FileIdentity identityOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::string procPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

FileIdentity identityOf(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? identityOf(st) : FileIdentity{};
}

std::int64_t birthTime(int dir, const char* name)
{
    struct statx st {};
    const int flags = AT_SYMLINK_NOFOLLOW | (*name ? 0 : AT_EMPTY_PATH);
    if (::statx(dir, name, flags, STATX_BTIME, &st) != 0 || !(st.stx_mask & STATX_BTIME))
        return 0;
    return static_cast<std::int64_t>(st.stx_btime.tv_sec) * 1000000000 + st.stx_btime.tv_nsec;
}

SourceFile::SourceFile(int fd, std::string path, FileIdentity identity)
    : fd_(fd), path_(std::move(path)), identity_(identity)
{
}

SourceFile::SourceFile(SourceFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), identity_(other.identity_)
{
}

SourceFile::~SourceFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<SourceFile> SourceFile::open(const RestoreStep& step, std::string& error)
{
    const int fd = ::open(step.source.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = failure("cannot read", step.source, errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || identityOf(st) != step.sourceIdentity) {
        ::close(fd);
        error = "its source " + quoteName(step.source) + " changed since the plan was made";
        return std::nullopt;
    }
    return SourceFile(fd, step.source, identityOf(st));
}

int SourceFile::linkInto(int dir, const char* name) const
{
    // Through /proc, the descriptor's own file; without /proc mounted, the
    // kernel's way for a descriptor where the caller may use it.
    if (::linkat(AT_FDCWD, procPath(fd_).c_str(), dir, name, AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0)
        return errno;
    return ::linkat(fd_, "", dir, name, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

int SourceFile::openForReading() const
{
    int fd = ::open(procPath(fd_).c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
        fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const FileIdentity now = identityOf(fd);
    if (now.device != identity_.device || now.inode != identity_.inode) {
        ::close(fd);
        errno = ESTALE;
        return -1;
    }
    return fd;
}

} // namespace korvane
