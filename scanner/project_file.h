#pragma once

#include <string>

namespace korvane {

// The project file, open for one run: read-only, without blocking, and not
// shared. Anything but a regular file fails the open, as does a file that
// another process holds locked. The file is never written or touched.
class ProjectFile {
public:
    ProjectFile() = default;
    ~ProjectFile();
    ProjectFile(const ProjectFile&) = delete;
    ProjectFile& operator=(const ProjectFile&) = delete;

    bool open(const std::string& path);
    void close();
    int fd() const { return fd_; }
    // Why the last open failed, in the system's words.
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

} // namespace korvane
