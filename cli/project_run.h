#pragma once

#include "cli/cli_feedback.h"
#include "cli/cli_options.h"
#include "paths/lookup_pool.h"
#include "paths/mapping_sources.h"
#include "paths/path_resolver.h"
#include "scanner/scan.h"

#include <cstddef>
#include <cstdio>
#include <stop_token>
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

// What the settings of a run give each of its projects.
struct RunSettings {
    const CliOptions* options = nullptr;
    const MappingSources* sources = nullptr;
    std::stop_token stop{};
    // Asks every project to stop, as a signal does (but is not one).
    std::stop_source* stopSource = nullptr;
    // Where the existence tests of every project are looked up ahead of
    // their scans, through one shared cache; null: each in its turn.
    LookupPool* pool = nullptr;
    // The threads that wait on the disk for every project: the lookups and
    // the search's walk (null: the walk reads alone).
    WorkerPool* workers = nullptr;
    // How the run reads the disk when there is no pool (makeRunFolderReader).
    FolderReader* disk = nullptr;
    // Whether a stop was asked for by a signal rather than by a reader of
    // stdout that went away.
    bool (*interrupted)() = nullptr;
};

// The one place where a project's resolver is made: the mappings and code
// page of the run's resolver, with a run of its own, reading through the
// pool's cache when there is a pool.
PathResolver projectResolver(const RunSettings& settings, const PathResolver& runResolver);

// The one place where a project's scan options are made: its existence
// test is `resolver`.
ScanOptions projectScanOptions(const RunSettings& settings, PathResolver& resolver);

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

// Checks the project `file` as korvane-scan of it alone does: the report and
// the parts that follow it on `streams.out`, the warnings on `streams.err`.
// `out` is flushed at the end. After a failed write or a stop nothing more
// is written; the caller says so.
ProjectOutcome checkProject(const RunSettings& settings, const std::string& file, PathResolver& resolver,
                            const ProjectStreams& streams);

// A warning on `err`, its text quoted whole when it still holds a control
// byte, so that nothing can talk to a terminal or forge a line.
void warnOn(std::FILE* err, const std::string& text);

} // namespace korvane
