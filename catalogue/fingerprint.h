#pragma once

// A file's fingerprint: what tells a clip from every other clip without
// reading all of it, and finds it again under another name.

#include "fs/content_digest.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// What stat tells of a file that says whether it changed.
struct FileFacts {
    std::uint64_t size = 0;
    std::int64_t mtime = 0; // nanoseconds since the epoch
    std::uint64_t inode = 0;
    bool operator==(const FileFacts&) const = default;
};

// SHA-256 (the digest put-back records) over the size as 8 bytes, least
// significant first, then the first 64 KiB of the content, then the last
// 64 KiB; a file of 128 KiB or less is read whole, each byte once. Two
// files with the same fingerprint hold the same content wherever a camera
// or a copy can make a difference.
struct Fingerprinted {
    FileFacts facts; // as they were while the pieces were read
    Digest fingerprint;
};

// The fingerprint of a file open as `fd` is fs/'s fingerprintOpenFile, the
// one the search's decisions read: the catalogue and the search compare
// the same digests.

// The fingerprint of the regular file at `path`, opened without following a
// final link and without blocking. Nothing, with errno set, for a link or
// anything else that is not a regular file, a file that cannot be read,
// and a file that changed while it was read (EBUSY).
std::optional<Fingerprinted> fingerprintFile(const std::string& path);

// The facts of a stat of a regular file.
FileFacts factsOf(const struct stat& st);

} // namespace korvane
