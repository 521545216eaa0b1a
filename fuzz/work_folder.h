#pragma once

// A fuzz target's folder of its own for the files it writes: below /dev/shm
// (no disk behind fsync) or TMPDIR, made on first use and removed at exit,
// never destroyed before that. One a process: the first `tag` names it.

#include "promise.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace korvane::fuzz {

inline const std::filesystem::path& workFolder(const char* tag)
{
    static const std::filesystem::path* const folder = [tag] {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec))
            base = std::filesystem::temp_directory_path();
        std::string name = (base / (std::string("korvane-fuzz-") + tag + "-XXXXXX")).string();
        if (!::mkdtemp(name.data()))
            broken("mkdtemp", __FILE__, __LINE__);
        return new std::filesystem::path(name);
    }();
    static const int removal = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(*folder, ignored);
    });
    (void)removal;
    return *folder;
}

} // namespace korvane::fuzz
