#pragma once

#include "text/string_table.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One heading of the report and how many of its lines name a missing path.
struct MissingSection {
    std::string name; // "MainAV", without brackets
    std::size_t references = 0;
};

// A distinct missing path as stored, with the sections that list it (as
// indexes into the report's sections, in report order, each once) and how
// many lines of the report name it.
struct MissingPath {
    std::string stored;
    std::vector<std::uint32_t> sections;
    std::size_t references = 0;
};

// The report of one scan as data: its sections, and every missing path once
// with where and how often the report lists it. What it holds grows with the
// distinct paths, never with the number of entries that name them.
class MissingReport {
public:
    // A section of the report begins.
    void addSection(std::string_view name);
    // The report lists `path` as missing, in the section begun last.
    void addMissing(std::string_view path);
    // The scan found `path` present (kept only when asked for: see
    // MissingCollector).
    void addPresent(std::string_view path);
    void clear();

    const std::vector<MissingSection>& sections() const { return sections_; }
    // Every missing path once, in the order the report first lists it.
    const std::vector<MissingPath>& paths() const { return paths_; }
    // The stored bytes of paths(), in that order.
    std::vector<std::string_view> distinctStored() const;
    // Every path found present once, in the order first found.
    const std::vector<std::string>& present() const { return present_; }

private:
    std::vector<MissingSection> sections_;
    std::vector<MissingPath> paths_;
    StringTable index_; // stored path -> its place in paths_
    std::vector<std::string> present_;
    StringTable presentIndex_; // stored path -> its place in present_
};

} // namespace korvane
