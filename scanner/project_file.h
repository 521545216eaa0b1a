#pragma once

#include <cstdint>
#include <string>

struct stat;

namespace korvane {

// The project file, open for one run: read-only and without blocking. Only
// a regular file is opened; anything else is refused before it is opened,
// and a file swapped for another between the check and the open is refused
// after it. A shared lock keeps writers out while the scan reads, and a file
// that a writer holds locked is refused. The file is never written or touched.
class ProjectFile {
public:
    // The system calls a test may stand in for; the system's own by default.
    struct SystemCalls {
        int (*stat)(const char* path, struct stat* buf);
        int (*flock)(int fd, int operation);
    };
    static SystemCalls systemCalls();

    ProjectFile() : ProjectFile(systemCalls()) {}
    explicit ProjectFile(SystemCalls calls) : calls_(calls) {}
    ~ProjectFile();
    ProjectFile(const ProjectFile&) = delete;
    ProjectFile& operator=(const ProjectFile&) = delete;

    bool open(const std::string& path);
    void close();
    int fd() const { return fd_; }
    // The size of the open file, in bytes, as it was opened.
    std::uint64_t size() const { return size_; }
    // Whether the open file holds its shared lock: not on a file system that cannot lock.
    bool locked() const { return locked_; }
    // Why the last open failed, in the system's words.
    const std::string& error() const { return error_; }

private:
    bool fail(const std::string& why, int fd = -1);
    bool lock(int fd);

    SystemCalls calls_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
    bool locked_ = false;
    std::string error_;
};

} // namespace korvane
