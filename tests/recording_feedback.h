#pragma once

#include "fs/existence_test.h"
#include "report/scan_feedback.h"
#include "scanner/project_reader.h"
#include "scanner/scan.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace korvane::testkit {

// Records every call on the sink, and the scan's events besides, which it
// renders as a sink that does not override them would. It is also the
// scan's existence test: a path exists when it is in `present`.
class RecordingFeedback : public ScanFeedback, public ExistenceTest {
public:
    std::set<std::string, std::less<>> present;

    std::string report;
    std::string status;
    int position = 0;
    std::vector<std::string> calls;   // "append TEXT", "status TEXT", "step", "check PATH found|missing", ...
    std::vector<std::string> checked; // every path handed to the existence test
    std::vector<std::string> events;  // "section NAME", "missing PATH", "entry LABEL j/n"

    void appendReport(std::string_view text) override
    {
        report += text;
        calls.push_back("append " + std::string(text));
    }
    void clearReport() override
    {
        report.clear();
        calls.emplace_back("clear");
    }
    void setStatus(std::string_view text) override
    {
        status = text;
        calls.push_back("status " + std::string(text));
    }
    void resetProgress() override
    {
        position = 0;
        calls.emplace_back("reset");
    }
    void stepProgress() override
    {
        ++position;
        calls.emplace_back("step");
    }
    void beginSection(std::string_view name) override
    {
        events.push_back("section " + std::string(name));
        ScanFeedback::beginSection(name);
    }
    void missingFile(std::string_view path) override
    {
        events.push_back("missing " + std::string(path));
        ScanFeedback::missingFile(path);
    }
    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override
    {
        events.push_back("entry " + std::string(label) + " " + std::to_string(entry) + "/" + std::to_string(count));
        ScanFeedback::entryStatus(label, entry, count);
    }

    // The steps made after each status line, in order: [13, 13, 14] for a
    // section of three entries with a budget of 40.
    std::vector<int> stepsAfterEachStatus() const
    {
        std::vector<int> steps;
        for (const std::string& call : calls) {
            if (call.starts_with("status "))
                steps.push_back(0);
            else if (call == "step" && !steps.empty())
                ++steps.back();
        }
        return steps;
    }

    std::vector<std::string> statuses() const
    {
        std::vector<std::string> out;
        for (const std::string& call : calls) {
            if (call.starts_with("status "))
                out.push_back(call.substr(7));
        }
        return out;
    }

    bool exists(std::string_view path) override
    {
        checked.emplace_back(path);
        return present.find(path) != present.end();
    }
    void fileChecked(std::string_view path, bool found) override
    {
        calls.push_back("check " + std::string(path) + (found ? " found" : " missing"));
        ScanFeedback::fileChecked(path, found);
    }
};

// runScan of a file, `feedback` its own existence test.
inline ScanResult runRecorded(const std::string& path, RecordingFeedback& feedback, ScanOptions options = {})
{
    options.exists = &feedback;
    return runScan(path, feedback, options);
}

// Runs a whole scan over bytes in memory, `feedback` its own existence test.
inline ScanResult scanBytes(const std::vector<std::uint8_t>& bytes, RecordingFeedback& feedback)
{
    ProjectReader reader(bytes);
    return scanProject(reader, feedback, feedback);
}

} // namespace korvane::testkit
