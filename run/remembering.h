#pragma once

// What the user's catalogue remembers of the files a project refers to:
// a scan's present files remembered (their size, mtime, fingerprint and
// where each was found), and the present files that are no longer what was
// remembered of their stored names. Remembering opens the catalogue for
// writing; listing the changed files only reads it. A catalogue that cannot
// be opened (damaged, another program's, a newer korvane's) is named in a
// warning and left as it is.

#include "catalogue/mount_table.h"
#include "search/missing_decision.h"
#include "search/missing_match.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korvane {

// A present file that is not what was remembered under its stored name.
struct ChangedSinceSeen {
    std::string stored;          // the stored name, bytes
    std::string decoded;         // its text in the project's code page (filled by the run)
    std::string path;            // where the scan found it
    std::uint64_t size = 0;      // now
    std::uint64_t wasSize = 0;   // remembered
    bool sameSize() const { return size == wasSize; } // then its content is other
};

struct MemoryAnswers {
    // Why the catalogue was not written or read, for the user; empty when it
    // was, or when there is none to read.
    std::string warning;
    std::size_t recorded = 0;  // remembered anew
    std::size_t unchanged = 0; // as remembered before
    // In the order of the present files.
    std::vector<ChangedSinceSeen> changed;
    // "PATH: REASON" of the files that could not be read.
    std::vector<std::string> problems;
};

// One present file: its stored name and where it was found.
struct FoundFile {
    std::string stored;
    std::string path;
};

// With `write`, remembers `present` for the project `projectFile` in the
// catalogue file `path` (made when there is none) and tells which of them
// had changed; without, only tells which changed, reading the catalogue
// (none there: nothing changed).
MemoryAnswers rememberFiles(const std::string& path, const MountSources& mounts, const std::string& projectFile,
                            const std::vector<FoundFile>& present, bool write);

// What the catalogue file `path` remembers of each of `missing` for the
// project `projectFile` (MediaMemory::recall): the size and fingerprint of
// the file each stored name referred to. Nothing for a catalogue that does
// not exist or cannot be read (its lookup names it).
std::unordered_map<std::string, RememberedContent> rememberedContent(const std::string& path,
                                                                     const MountSources& mounts,
                                                                     const std::string& projectFile,
                                                                     const std::vector<MissingFile>& missing);

} // namespace korvane
