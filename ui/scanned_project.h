#pragma once

// The last project the dialog scanned, with the run that scanned it: what
// "Find missing files in folder..." looks for, shared with a search that
// may still read it after the next run. Its resolver serves one thread at a
// time, whichever asks: the missing files are decoded once, by the first
// thread that wants them. Plain C++, free of Qt.

#include "run/project_scan.h"
#include "run/run.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::ui {

class ScannedProject {
public:
    // `project` was scanned by `run`, and its file opened.
    ScannedProject(std::unique_ptr<Run> run, ProjectScan project);

    // The project file, as the run opened it.
    const std::string& file() const { return project_.file(); }
    // Whether the report listed any file as missing.
    bool anyMissing() const { return !project_.report().paths().empty(); }
    // Each missing file once, in report order, decoded in the project's code
    // page: made on the first call, from any thread.
    const std::vector<MissingFile>& missing() const;
    // `stored` decoded as the report shows it.
    std::string decoded(std::string_view stored) const;

private:
    std::unique_ptr<Run> run_; // what the project's resolver reads through: gone after it
    mutable std::mutex mutex_;
    mutable ProjectScan project_; // its resolver under mutex_; its report never changes
    mutable std::optional<std::vector<MissingFile>> missing_;
};

} // namespace korvane::ui
