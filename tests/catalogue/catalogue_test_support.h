#pragma once

#include "catalogue/sqlite_catalogue.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

namespace korvane::testkit {

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Sets the file's mtime, to the nanosecond.
inline void setMtime(const std::string& path, std::int64_t seconds, long nanoseconds = 0)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Runs `body` in a child process and returns its exit status (or 128 and
// the signal it died of): for what changes the process, such as a limit on
// file sizes, and for runs that must be separate processes.
inline int inChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        int status = 99;
        try {
            status = body();
        } catch (...) {
            status = 98;
        }
        std::_Exit(status);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs `body` where `folder` and what is in it cannot be written: as
// another user (nobody) when run as root, whom the modes do not stop,
// else with the modes taken away for the time of the run.
inline int withoutWriting(const std::string& folder, const std::function<int()>& body)
{
    namespace fs = std::filesystem;
    if (::geteuid() == 0) {
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            fs::permissions(entry.path(), entry.is_directory() ? fs::perms::owner_all | fs::perms::others_read |
                                                                     fs::perms::others_exec
                                                               : fs::perms::owner_read | fs::perms::owner_write |
                                                                     fs::perms::others_read);
        return inChild([&] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                return 97;
            return body();
        });
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory())
            fs::permissions(entry.path(), fs::perms::owner_read);
    }
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const int status = inChild(body);
    fs::permissions(folder, fs::perms::owner_all);
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_directory())
            fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write);
    }
    return status;
}

} // namespace korvane::testkit
