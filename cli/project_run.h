#pragma once

#include "cli/cli_feedback.h"
#include "cli/cli_options.h"
#include "run/run.h"

#include <cstddef>
#include <cstdio>
#include <string>

namespace korvane {

// Where the run of one project writes, and what it is told.
struct ProjectStreams {
    std::FILE* out = stdout; // the report and what follows it
    std::FILE* err = stderr; // its warnings and the reason it could not be opened
    TerminalProgress* progress = nullptr; // may be null
    bool sharedTerminal = false;          // the progress and `out` are one terminal
    bool quoteNames = false;              // `out` is a terminal
    // In a run of several projects the JSON document says the project's status.
    bool jsonStatus = false;
};

// How the run of one project ended.
struct ProjectOutcome {
    int status = kComplete; // what korvane-scan of this project alone exits with, but for stops
    bool opened = false;
    std::string openError;
    std::size_t missing = 0; // the report's lines of missing paths
    bool writeFailed = false; // `out` could not be written: `writeError` says why
    int writeError = 0;
    bool stopped = false; // a signal ended it; nothing after the report was written
    bool applied = false; // --apply put files back (or tried to): the project is to be scanned again
};

// Checks `project` of `run` as korvane-scan of it alone does, as `options`
// ask: the report and the parts that follow it on `streams.out`, the
// warnings on `streams.err`. `out` is flushed at the end. After a failed
// write or a stop nothing more is written; the caller says so.
ProjectOutcome checkProject(Run& run, const CliOptions& options, ProjectScan project, const ProjectStreams& streams);

// A warning on `err`, its text quoted whole when it still holds a control
// byte, so that nothing can talk to a terminal or forge a line.
void warnOn(std::FILE* err, const std::string& text);

} // namespace korvane
