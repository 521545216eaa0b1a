#pragma once

#include "cli/project_list.h"
#include "cli/project_run.h"
#include "run/run.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane {

// How a run of several projects ended.
struct ManyOutcome {
    int status = kComplete; // the highest status of the projects (and 2 for folders that could not be read)
    bool writeFailed = false; // stdout could not be written: `writeError` says why
    int writeError = 0;
    bool stopped = false; // a signal ended the run
};

// The severity rule of a run of several projects: the highest of the
// projects' statuses, 0 nothing missing < 1 missing < 2 could not be read
// < 3 damaged.
int combinedStatus(int a, int b);

// The summary after the reports, each line ended by `lineEnd`: a blank
// line, "Summary", one line for each project ("missing 12  FILE", "ok 0
// FILE", "damaged 3  FILE", "cannot-open -  FILE"), one for each folder that
// could not be read ("cannot-read -  FOLDER") or held no project
// ("no-projects -  FOLDER"), then the totals ("total 15  4 projects: 1 ok,
// 1 missing, 1 damaged, 1 cannot-open"). Names as quoteName shows them.
class RunSummary {
public:
    void add(const std::string& file, const ProjectOutcome& outcome);
    std::string render(const ProjectList& list, std::string_view lineEnd) const;

private:
    std::vector<std::pair<std::string, ProjectOutcome>> projects_;
};

// The line before each project's part of stdout: "==> FILE <==", FILE as
// quoteName shows it, so that no name can end the line or forge another.
std::string projectHeading(const std::string& file, std::string_view lineEnd);

// Checks the projects of `list`, `threads` at a time and at most a few
// ahead of the one being written: each project's part of stdout is what
// korvane-scan of it alone writes, after its heading (none with --json),
// in the order of the list; the project being written streams to stdout,
// those ahead of it are kept in temporary files until their turn. Each
// project's warnings follow its part, on stderr (after its heading there,
// unless stderr is stdout). With `progress`, stderr is a terminal that
// shows how many projects are done and the bar of the one being written.
// Then the summary (none with --json).
ManyOutcome checkProjects(Run& run, const CliOptions& options, const ProjectList& list, std::size_t threads,
                          bool progress);

} // namespace korvane
