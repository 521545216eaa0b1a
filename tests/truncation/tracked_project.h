#pragma once

// A realistic version-519 project built with the test builders, together
// with where each of its entries lies, so that a test can tell for any cut
// which entries lie wholly before it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane::testkit {

// One stretch of the file that the scan reads as a unit: the header, a
// section's count, or one entry.
struct Region {
    std::size_t begin = 0, end = 0; // [begin, end)
    // The heading the entry's missing names are listed under; empty where
    // nothing is tested (header, counts, effects, filters).
    std::string heading;
    // What the warning about a file that ends here must name.
    std::vector<std::string> where;
    // The names the entry may test, whole or cut short by the end of the file.
    std::vector<std::string> names;
    // Offsets inside that deserve a cut of their own: the middle of each
    // title item's text.
    std::vector<std::size_t> inner;
};

// A path that the intact project's report lists.
struct ListedPath {
    std::string heading;
    std::string path;
    // Where the entry that names it ends: a cut at or behind this offset
    // leaves the entry whole.
    std::size_t entryEnd = 0;
};

struct TrackedProject {
    std::vector<std::uint8_t> bytes;
    std::vector<Region> regions;     // in file order, covering every byte
    std::vector<ListedPath> missing; // in report order
    std::vector<std::string> present; // files to create before a scan

    const Region& regionAt(std::size_t offset) const;
};

// A wedding project of version 519 whose media lie under `mediaDir` (an
// absolute path ending in '/'): clips of every kind on both tracks, extra
// audio, effects, titles with flagged items and with items that go by the
// flag of an earlier title, an item text of 300 bytes, filters with every
// block, and a bin; some files present, some missing, in every section
// that tests names.
TrackedProject buildWeddingProject(const std::string& mediaDir);

// The report headings of a project of `version`, in order.
std::vector<std::string> headingsOf(std::uint16_t version);

} // namespace korvane::testkit
