#include "scanner/project_file.h"
#include "text/system_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

const char* kNotRegular = "Not a regular file";
const char* kChanged = "The file changed while it was being opened";
const char* kInUse = "The file is in use by another program";

// Why a file of this type is not opened: a folder in the system's words.
std::string refusalOf(const struct stat& st)
{
    return S_ISDIR(st.st_mode) ? systemErrorText(EISDIR) : kNotRegular;
}

} // namespace

ProjectFile::SystemCalls ProjectFile::systemCalls()
{
    return {::stat, ::flock};
}

ProjectFile::~ProjectFile()
{
    close();
}

bool ProjectFile::open(const std::string& path)
{
    close();
    error_.clear();
    // The type first, following links as the open would: a FIFO, a device,
    // a socket or a folder is refused without being opened, so that a writer
    // waiting on a FIFO stays waiting and no device sees an open.
    struct stat before;
    if (calls_.stat(path.c_str(), &before) != 0)
        return fail(systemErrorText(errno));
    if (!S_ISREG(before.st_mode))
        return fail(refusalOf(before));
    // Non-blocking all the same: should the path be swapped for a FIFO
    // after the check, the open does not hang on it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(systemErrorText(errno));
    // The file opened must be the one checked.
    struct stat after;
    if (::fstat(fd, &after) != 0)
        return fail(systemErrorText(errno), fd);
    if (!S_ISREG(after.st_mode) || after.st_dev != before.st_dev || after.st_ino != before.st_ino)
        return fail(kChanged, fd);
    if (!lock(fd))
        return false;
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(after.st_size);
    return true;
}

// A shared lock: the scan only reads, so it must not keep other readers
// out, nor be kept out by them; a writer's exclusive lock still refuses it.
// A shared lock is also what NFS can give a file open for reading: it
// emulates flock with byte-range locks, on which an exclusive lock of a
// read-only descriptor fails with EBADF. Where the file system cannot lock
// at all, the scan goes on without the lock.
bool ProjectFile::lock(int fd)
{
    if (calls_.flock(fd, LOCK_SH | LOCK_NB) == 0) {
        locked_ = true;
        return true;
    }
    switch (errno) {
    case EWOULDBLOCK:
        return fail(kInUse, fd);
    case EBADF:
    case ENOLCK:
    case EOPNOTSUPP:
    case EINVAL:
        locked_ = false;
        return true;
    default:
        return fail(systemErrorText(errno), fd);
    }
}

bool ProjectFile::fail(const std::string& why, int fd)
{
    error_ = why;
    if (fd >= 0)
        ::close(fd);
    return false;
}

void ProjectFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
        fd_ = -1;
    }
    size_ = 0;
    locked_ = false;
}

} // namespace korvane
