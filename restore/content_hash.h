#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// A 64-bit hash of a file's content, to tell whether two files hold the
// same bytes and whether a file is still what was written. Not made to
// withstand files crafted to collide.
struct ContentHash {
    std::uint64_t size = 0;
    std::uint64_t hash = 0;
    bool operator==(const ContentHash&) const = default;
};

// The hash of the file open as `fd`, read from its start; nothing, with
// errno set, when it cannot be read.
std::optional<ContentHash> hashOpenFile(int fd);
std::optional<ContentHash> hashFile(const std::string& path);

} // namespace korvane
