#include "scanner/project_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

ProjectFile::~ProjectFile()
{
    close();
}

bool ProjectFile::open(const std::string& path)
{
    close();
    error_.clear();
    // Non-blocking, so that a FIFO without a writer or a device cannot hang
    // the open; such files are refused right after it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        error_ = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error_ = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file";
        ::close(fd);
        return false;
    }
    // Not shared: another process that holds a lock on the file keeps it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = errno == EWOULDBLOCK ? "The file is in use by another program" : std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void ProjectFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
        fd_ = -1;
    }
}

} // namespace korvane
