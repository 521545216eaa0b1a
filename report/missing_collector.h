#pragma once

#include "report/scan_feedback.h"

#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// One heading of the report and the stored paths listed under it.
struct MissingSection {
    std::string name; // "MainAV", without brackets
    std::vector<std::string> stored;
};

// Stands between a scan and its feedback and keeps the report as data: the
// sections and, under each, the missing paths as stored (once for every
// entry that names them, as the report lists them). Everything reaches
// `inner` as if the collector were not there; the existence test is
// `inner`'s own.
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
    bool fileExists(std::string_view path) override { return inner_.fileExists(path); }

    const std::vector<MissingSection>& sections() const { return sections_; }

    // Every missing path once, in the order of the report.
    std::vector<std::string_view> distinctStored() const;

private:
    ScanFeedback& inner_;
    std::vector<MissingSection> sections_;
};

} // namespace korvane
