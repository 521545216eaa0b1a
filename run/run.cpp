#include "run/run.h"

#include "paths/windows_path.h"
#include "report/missing_collector.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <unordered_map>

namespace korvane {

Run::Run(RunOptions options)
    : options_(std::move(options)), setup_(setUpRun(options_.sources, options_.codePage, options_.openDecoder))
{
    if (!setup_.resolver)
        return;
    // Files are looked up from their open folders; with lookups overlapped,
    // one pool of threads serves every project of the run and its searches.
    disk_ = makeRunFolderReader();
    const int jobs = std::clamp(options_.jobs, 1, LookupPool::kMaxJobs);
    if (jobs > 1) {
        workers_ = std::make_unique<WorkerPool>(jobs);
        lookups_ = std::make_unique<LookupPool>(*setup_.resolver, *workers_, *disk_, options_.readAhead);
    }
    indexes_ = std::make_unique<SearchIndexCache>();
}

// The lookups end before the threads they run on, and both before the disk
// they read.
Run::~Run()
{
    lookups_.reset();
    workers_.reset();
}

ProjectScan Run::project(const std::string& file)
{
    FolderReader& reader = lookups_ ? lookups_->reader() : *disk_;
    return ProjectScan(file, nullptr, setup_.resolver->sibling(reader), true);
}

ProjectScan Run::freshProject(const std::string& file)
{
    std::unique_ptr<FolderReader> disk = makeRunFolderReader();
    PathResolver resolver = setup_.resolver->sibling(*disk);
    return ProjectScan(file, std::move(disk), std::move(resolver), false);
}

const ScanResult& Run::scan(ProjectScan& project, ScanFeedback& sink, bool collect)
{
    return scan(project, sink, project.resolver(), collect);
}

const ScanResult& Run::scan(ProjectScan& project, ScanFeedback& sink, ExistenceTest& exists, bool collect)
{
    ScanOptions options;
    options.stop = stop_.get_token();
    options.exists = &exists;
    options.lookAhead = project.lookAhead_ ? lookups_.get() : nullptr;
    if (!collect && !options_.remember && !options_.changed) {
        project.result_ = runScan(project.file(), sink, options);
    } else {
        MissingCollector collector(sink, options_.remember || options_.changed);
        project.result_ = runScan(project.file(), collector, options);
        project.report_ = collector.takeReport();
    }
    // Names found only in the other reading outnumber those found in the
    // project's: what follows (search, put back) reads them so.
    project.resolver().followDisk();
    return project.result_;
}

SearchResults Run::search(const ProjectScan& project, const SearchRequest& request)
{
    return search(project.file(), project.missingFiles(), request);
}

SearchResults Run::search(const std::string& projectFile, const std::vector<MissingFile>& missing,
                          const SearchRequest& request)
{
    if (options_.catalogue.empty() || request.decide.remembered)
        return search(missing, request);
    // What the catalogue remembers of a missing file settles which file found
    // is it, under any name.
    auto remembered = std::make_shared<const std::unordered_map<std::string, RememberedContent>>(
        rememberedContent(options_.catalogue, options_.mounts, projectFile, missing));
    if (remembered->empty())
        return search(missing, request);
    SearchRequest withMemory = request;
    withMemory.decide.remembered = [remembered](std::string_view stored) -> std::optional<RememberedContent> {
        const auto it = remembered->find(std::string(stored));
        if (it == remembered->end())
            return std::nullopt;
        return it->second;
    };
    return search(missing, withMemory);
}

SearchResults Run::search(const std::vector<MissingFile>& missing, const SearchRequest& request)
{
    SearchOptions options;
    options.index.oneFileSystem = request.oneFileSystem;
    options.index.stop = stop_.get_token();
    options.index.jobs = workers_ ? static_cast<int>(workers_->size()) : 1;
    options.index.workers = workers_.get();
    options.index.readAhead = options_.readAhead;
    options.index.progress = request.progress;
    options.match = request.match;
    options.decide = request.decide;
    // Suggestions add places to look to the mappings in use, never replace one.
    options.suggest.inUse = drives().all();
    options.step = request.step;
    return searchIndex(indexes_->indexOf(request.folders, options.index), missing, options);
}

CatalogueAnswers Run::lookUpCatalogue(const ProjectScan& project) const
{
    if (options_.catalogue.empty())
        return {};
    return lookUpCatalogue(project.file(), project.missingFiles());
}

CatalogueAnswers Run::lookUpCatalogue(const std::string& projectFile, const std::vector<MissingFile>& missing) const
{
    if (options_.catalogue.empty())
        return {};
    return korvane::lookUpCatalogue(options_.catalogue, options_.mounts, projectFile, missing);
}

MemoryAnswers Run::remember(ProjectScan& project) const
{
    if (options_.catalogue.empty() || !(options_.remember || options_.changed))
        return {};
    // Where the scan found each: a local name where it is, a Windows one
    // where the resolver's mapping led (it asks what it learnt in the scan).
    std::vector<FoundFile> present;
    present.reserve(project.report().present().size());
    for (const std::string& stored : project.report().present()) {
        // A name of wildcards stands for no one file.
        const bool pattern = stored.find_first_of("*?") != std::string::npos;
        // A local name is where it was found; a Windows one, where its
        // mapping led.
        if (!isWindowsPath(stored)) {
            if (!pattern)
                present.push_back({stored, stored});
            continue;
        }
        Resolution where = project.resolver().resolve(stored);
        if (where.found && !where.localPath.empty() && (where.kind == PathKind::Mapped || !pattern))
            present.push_back({stored, std::move(where.localPath)});
    }
    MemoryAnswers answers =
        rememberFiles(options_.catalogue, options_.mounts, project.file(), present, options_.remember);
    for (ChangedSinceSeen& file : answers.changed)
        file.decoded = project.resolver().decoded(file.stored);
    return answers;
}

RestorePlan Run::plan(const SearchResults& results, ProjectScan& project, PlanOptions options)
{
    if (options.projectFolder.empty()) {
        const std::string& file = project.file();
        const std::size_t slash = file.rfind('/');
        options.projectFolder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    }
    return makeRestorePlan(results, project.resolver(), options);
}

ApplyResult Run::apply(const RestorePlan& plan, const ApplyRequest& request)
{
    ApplyOptions options;
    options.forceCopy = request.forceCopy;
    options.journalFolder = request.journalFolder;
    options.progress = request.progress;
    options.stop = stop_.get_token();
    return applyRestorePlan(plan, options);
}

UndoResult Run::previewUndo(const std::string& journal, std::stop_token stop)
{
    return korvane::previewUndo(journal, std::move(stop));
}

UndoResult Run::undo(const std::string& journal, std::stop_token stop)
{
    return undoRestore(journal, std::move(stop));
}

} // namespace korvane
