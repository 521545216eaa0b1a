#pragma once

#include "report/scan_feedback.h"
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
// indexes into the collector's sections, in report order, each once) and
// how many lines of the report name it.
struct MissingPath {
    std::string stored;
    std::vector<std::uint32_t> sections;
    std::size_t references = 0;
};

// Stands between a scan and its feedback and keeps the report as data: the
// sections, and every missing path once with where and how often the report
// lists it. What it holds grows with the distinct paths, never with the
// number of entries that name them. Everything reaches `inner` as if the
// collector were not there.
class MissingCollector final : public ScanFeedback {
public:
    explicit MissingCollector(ScanFeedback& inner) : inner_(inner) {}

    void appendReport(std::string_view text) override { inner_.appendReport(text); }
    void clearReport() override;
    void setStatus(std::string_view text) override { inner_.setStatus(text); }
    void resetProgress() override { inner_.resetProgress(); }
    void stepProgress() override { inner_.stepProgress(); }
    void beginSection(std::string_view name) override;
    void missingFile(std::string_view path) override;
    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override
    {
        inner_.entryStatus(label, entry, count);
    }
    bool statusOfEveryEntry() const override { return inner_.statusOfEveryEntry(); }
    void fileChecked(std::string_view path, bool found) override;

    const std::vector<MissingSection>& sections() const { return sections_; }
    // Every missing path once, in the order the report first lists it.
    const std::vector<MissingPath>& paths() const { return paths_; }

    // The stored bytes of paths(), in that order.
    std::vector<std::string_view> distinctStored() const;

private:
    void collect(std::string_view path);

    ScanFeedback& inner_;
    std::vector<MissingSection> sections_;
    std::vector<MissingPath> paths_;
    StringTable index_; // stored path -> its place in paths_
};

} // namespace korvane
