#pragma once

#include "report/missing_report.h"
#include "report/scan_feedback.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// Stands between a scan and its feedback and keeps the report as data (a
// MissingReport). Everything reaches `inner` as if the collector were not
// there.
class MissingCollector final : public ScanFeedback {
public:
    // With `keepPresent`, the paths found present are kept too
    // (MissingReport::present).
    explicit MissingCollector(ScanFeedback& inner, bool keepPresent = false) : inner_(inner), keepPresent_(keepPresent)
    {
    }

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

    const MissingReport& report() const { return report_; }
    // The report, which the collector no longer holds.
    MissingReport takeReport() { return std::exchange(report_, MissingReport()); }

    const std::vector<MissingSection>& sections() const { return report_.sections(); }
    const std::vector<MissingPath>& paths() const { return report_.paths(); }
    std::vector<std::string_view> distinctStored() const { return report_.distinctStored(); }

private:
    ScanFeedback& inner_;
    bool keepPresent_ = false;
    MissingReport report_;
};

} // namespace korvane
