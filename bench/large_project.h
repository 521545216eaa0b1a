#pragma once

// A large, realistic project for the benchmarks: tens of thousands of clips
// on every track, titles with many items, filters with data, a full media
// bin. Paths repeat across entries as in real projects, and a chosen share
// of the referenced files is missing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::bench {

struct LargeProjectOptions {
    // 1.0 gives about 102,000 clip and bin entries and about 37 MB.
    double scale = 1.0;
    // Of the distinct paths the scan tests, the share whose file is missing.
    double missingShare = 0.10;
    // Of the clip entries (tracks and title items), the share that refers to
    // a path an earlier entry already used.
    double repeatShare = 0.30;
    // Of the bin entries, the share that lists media already used on a track.
    double binReuseShare = 0.80;
    // Every stored path begins with this folder (relative to the folder the
    // scan runs in, or absolute).
    std::string root = "media";
    std::uint64_t seed = 1;
};

// A path the scan tests, and whether its file is meant to exist.
struct MediaPath {
    std::string path;
    bool present = true;
};

struct LargeProject {
    std::vector<std::uint8_t> bytes;
    // Every distinct path the scan tests, in the order of first use.
    std::vector<MediaPath> paths;
    // Every existence test the scan makes, in scan order, as indexes into `paths`.
    std::vector<std::uint32_t> tests;

    std::size_t clipEntries = 0; // MainAV, InsertAV, ExAudio1 and ExAudio2
    std::size_t binEntries = 0;
    std::size_t titles = 0;
    std::size_t titleItems = 0;
    std::size_t effects = 0;
    std::size_t shortestPath = 0;
    std::size_t longestPath = 0;
    double meanPathLength = 0;

    std::size_t missingPaths() const;
    // Lines the report lists: one per test that finds nothing.
    std::size_t missingTests() const;
};

// Deterministic for given options.
LargeProject makeLargeProject(const LargeProjectOptions& options);

// Creates an empty file for every present path (and the folders on the way);
// relative paths are taken from the current folder. Returns how many files
// were created. Throws on failure.
std::size_t createMediaFiles(const LargeProject& project);

// Scans the project in memory, with existence answered by the generator's
// own list, and checks that the scan tests exactly `tests` in that order and
// ends on the last byte of the file. Returns an empty string when it does,
// otherwise what went wrong.
std::string verifyLargeProject(const LargeProject& project);

// "40.2 MB, 102,000 clip and bin entries, ..." for the figures of a run.
std::string describeLargeProject(const LargeProject& project);

} // namespace korvane::bench
