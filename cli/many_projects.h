#pragma once

#include "cli/project_list.h"
#include "cli/project_run.h"
#include "cli/run_summary.h"
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

// Checks the projects of `list`, `threads` at a time and at most a few
// ahead of the one being written: each project's part of stdout is what
// korvane-scan of it alone writes, after its heading (none with --json),
// in the order of the list; the project being written streams to stdout,
// those ahead of it are kept (TurnOutput) until their turn. Each
// project's warnings follow its part, on stderr (after its heading there,
// unless stderr is stdout). With `progress`, stderr is a terminal that
// shows how many projects are done and the bar of the one being written.
// Then the summary (none with --json).
ManyOutcome checkProjects(Run& run, const CliOptions& options, const ProjectList& list, std::size_t threads,
                          bool progress);

} // namespace korvane
