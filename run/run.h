#pragma once

// One run of korvane, whichever face drives it: the set-up (mappings, code
// page, resolver), the disk it reads, the threads that wait on the disk and
// the stop. The faces choose options, hand in sinks and render what comes
// back; they build none of these parts themselves.

#include "fs/existence_test.h"
#include "fs/folder_reader.h"
#include "fs/worker_pool.h"
#include "paths/lookup_pool.h"
#include "paths/mapping_sources.h"
#include "paths/run_setup.h"
#include "report/scan_feedback.h"
#include "restore/restore_apply.h"
#include "restore/restore_plan.h"
#include "run/catalogue_lookup.h"
#include "run/project_scan.h"
#include "run/remembering.h"
#include "run/search_index_cache.h"
#include "search/missing_search.h"

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace korvane {

// What a face chooses for a run.
struct RunOptions {
    MappingSources sources;              // where the mappings come from (MappingSources::fromEnvironment())
    std::optional<std::string> codePage; // asked for; else the configuration file's, else auto
    // Lookups and folder reads at once on a slow disk; 1: each in its turn,
    // on the thread that asks.
    int jobs = LookupPool::kDefaultJobs;
    // When those threads start: once the disk has proved slow (SlowDisk), or
    // at once (tests, and disks known to be slow).
    ReadAhead readAhead = ReadAhead::WhenSlow;
    DecoderOpener openDecoder = &TextDecoder::open; // how a code page is had; tests give their own
    // The catalogue of disks a search consults (read-only) and the scans'
    // present files are remembered in; empty: none.
    std::string catalogue;
    // Each scan keeps its present files (ProjectScan::report().present()),
    // for remember(): with `remember` they are remembered in the catalogue,
    // with `changed` only compared with what was remembered.
    bool remember = false;
    bool changed = false;
    // Where the mount table is read from, to tell which disks are connected.
    MountSources mounts;
};

// What a search looks in, and what it tells while it works.
struct SearchRequest {
    std::vector<std::string> folders;
    bool oneFileSystem = false; // stay on the file systems of `folders`
    MatchOptions match;
    DecisionOptions decide; // which tree wins where the evidence does not decide
    std::function<void(const WalkProgress&)> progress; // during the walk, when this search walks
    std::function<void(const SearchStep&)> step;       // as matching and suggesting begin
};

// How a plan is carried out.
struct ApplyRequest {
    bool forceCopy = false;
    std::string journalFolder = korvane::journalFolder();
    std::function<void(const ApplyProgress&)> progress;
};

// One run: made once the face knows its options, then asked to scan one
// project or many, search, plan, apply, undo and scan again. Its methods may
// be called from several threads at once (a run of many projects scans them
// side by side), and requestStop from any thread; a stopped run stays
// stopped. A run keeps what it learnt of the disk (folders listed, paths
// followed on a slow disk, the index of each set of folders searched) until
// it ends: a face that needs the disk afresh makes a new run, or scans
// again with freshProject.
class Run {
public:
    explicit Run(RunOptions options);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The set-up: whether a resolver could be made (else error() says why
    // and nothing else may be asked), and what the user should know of the
    // settings either way.
    bool ready() const { return setup_.resolver.has_value(); }
    SetupError error() const { return setup_.error; }
    std::string errorText() const { return setup_.errorText(); }
    const std::string& codePage() const { return setup_.codePage; }
    const std::vector<SetupWarning>& warnings() const { return setup_.warnings; }
    const MappingSources& sources() const { return options_.sources; }
    // The mappings of the run, in the order their paths are tried.
    const DriveMap& drives() const { return setup_.resolver->drives(); }

    // Stops everything under way at its next step, and all that is asked later.
    void requestStop() { stop_.request_stop(); }
    bool stopRequested() const { return stop_.stop_requested(); }
    std::stop_source stopSource() const { return stop_; }

    // A project of this run, to be scanned: its resolver reads what the run
    // has read. freshProject reads the disk afresh and is not looked up
    // ahead: the scan after files were put back.
    ProjectScan project(const std::string& file);
    ProjectScan freshProject(const std::string& file);
    // Scans `project` into `sink`, its existence test the project's
    // resolver, looked up ahead on the run's threads on a slow disk. With
    // `collect`, the report is kept as data (ProjectScan::report).
    const ScanResult& scan(ProjectScan& project, ScanFeedback& sink, bool collect = true);
    // The same with `exists` asked in place of the project's resolver: a
    // face's own test in front of it, which asks project.resolver() in the
    // end (the dialog's shows what came before a test that may take long).
    const ScanResult& scan(ProjectScan& project, ScanFeedback& sink, ExistenceTest& exists, bool collect = true);

    // Where the missing files of `project` are now. The folders are walked
    // once a run, however many projects search them; the walk tells
    // request.progress of the search that walks, and the others wait for it.
    SearchResults search(const ProjectScan& project, const SearchRequest& request);
    // The same for `missing`, the missingFiles of the project file
    // `projectFile` (of this run or another): for a face that has them
    // already. What the catalogue remembers of the project's files settles
    // which file found is which, as above.
    SearchResults search(const std::string& projectFile, const std::vector<MissingFile>& missing,
                         const SearchRequest& request);
    // The same without the catalogue's memories: `missing` of no project.
    SearchResults search(const std::vector<MissingFile>& missing, const SearchRequest& request);

    // Where the catalogue (RunOptions::catalogue) last saw the missing
    // files of `project` on disks not connected now; nothing without one.
    CatalogueAnswers lookUpCatalogue(const ProjectScan& project) const;
    CatalogueAnswers lookUpCatalogue(const std::string& projectFile, const std::vector<MissingFile>& missing) const;
    // After a scan with RunOptions::remember: its present files remembered
    // in the catalogue, and those that had changed since; with
    // RunOptions::changed alone: those that changed, the catalogue only
    // read. Nothing without a catalogue, or when neither was asked for.
    MemoryAnswers remember(ProjectScan& project) const;

    // What can be put back where `project` looks for it. Names that are not
    // Windows paths go below options.roots, else below options.projectFolder,
    // which is the project's own folder unless given.
    RestorePlan plan(const SearchResults& results, ProjectScan& project, PlanOptions options = {});
    // Carries the plan out; stops with the run.
    ApplyResult apply(const RestorePlan& plan, const ApplyRequest& request);
    // What undoing the journal of a put back would do, and doing it; each
    // stops at `stop` (a face's own, or none).
    static UndoResult previewUndo(const std::string& journal, std::stop_token stop = {});
    static UndoResult undo(const std::string& journal, std::stop_token stop = {});

private:
    RunOptions options_;
    RunSetup setup_;
    std::stop_source stop_;
    std::unique_ptr<FolderReader> disk_;    // the run's folder reader
    std::unique_ptr<WorkerPool> workers_;   // null with jobs 1
    std::unique_ptr<LookupPool> lookups_;   // on workers_; reads through disk_
    std::unique_ptr<SearchIndexCache> indexes_;
};

} // namespace korvane
