#include "cli/project_run.h"

#include "cli/cli_output.h"
#include "cli/messages.h"
#include "cli/restore_output.h"
#include "cli/search_output.h"
#include "restore/restore_apply.h"
#include "restore/restore_plan.h"
#include "report/missing_collector.h"
#include "search/missing_search.h"
#include "text/terminal_quote.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace korvane {

void warnOn(std::FILE* err, const std::string& text)
{
    std::fprintf(err, _("korvane-scan: warning: %s\n"), quoteName(text).c_str());
}

PathResolver projectResolver(const RunSettings& settings, const PathResolver& runResolver)
{
    return runResolver.sibling(settings.pool   ? settings.pool->reader()
                               : settings.disk ? *settings.disk
                                               : systemFolderReader());
}

ScanOptions projectScanOptions(const RunSettings& settings, PathResolver& resolver)
{
    ScanOptions scanOptions;
    scanOptions.stop = settings.stop;
    scanOptions.exists = &resolver;
    scanOptions.lookAhead = settings.pool;
    return scanOptions;
}

namespace {

void write(std::FILE* out, std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), out);
}

// The folders the search could not read, at most a few of them.
void warnAboutProblems(std::FILE* err, const FileIndex& index)
{
    constexpr std::size_t kShown = 5;
    const std::vector<WalkProblem>& problems = index.problems();
    for (std::size_t k = 0; k < problems.size() && k < kShown; ++k)
        warnOn(err, formatted(_("search: %s: %s"), quoteName(problems[k].path).c_str(),
                              std::strerror(problems[k].error)));
    if (problems.size() > kShown)
        warnOn(err, formatted(_("search: %zu more folders could not be read"), problems.size() - kShown));
}

SearchResults search(const RunSettings& settings, const PathResolver& resolver,
                     const std::vector<MissingFile>& missing, const ProjectStreams& streams)
{
    const CliOptions& options = *settings.options;
    TerminalProgress* progress = streams.progress;
    SearchOptions searchOptions;
    searchOptions.match.maxCandidates = std::max(searchOptions.match.maxCandidates, options.candidates);
    searchOptions.match.checkedCandidates = options.candidates;
    searchOptions.suggest.inUse = resolver.drives().all();
    searchOptions.index.oneFileSystem = options.oneFileSystem;
    searchOptions.index.jobs = options.jobs;
    searchOptions.index.workers = settings.workers;
    searchOptions.index.stop = settings.stop;
    if (progress) {
        searchOptions.index.progress = [progress](const WalkProgress& where) {
            progress->text(searchProgressText(where));
        };
        // Matching and suggesting take a while on large runs: the walk's last
        // line must not stand for them.
        searchOptions.step = [progress](const SearchStep& step) { progress->text(searchStepText(step), true); };
    }
    SearchResults results = searchMissing(options.searchFolders, missing, searchOptions);
    if (progress)
        progress->finish();
    warnAboutProblems(streams.err, results.index());
    return results;
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

int statusOf(const ScanResult& result, const CliFeedback& feedback)
{
    if (result.damaged)
        return kDamaged;
    return feedback.anyMissing() ? kSomethingMissing : kComplete;
}

// Puts back what the plan puts back, the progress on the terminal, and says
// on `err` which journal it wrote.
ApplyResult applyPlan(const RunSettings& settings, const RestorePlan& plan, const ProjectStreams& streams)
{
    ApplyOptions applyOptions;
    applyOptions.forceCopy = settings.options->copy;
    // Putting back is told of a stop through a flag of its own.
    std::atomic<bool> stopped{false};
    const std::stop_callback relayStop(settings.stop, [&stopped] { stopped.store(true); });
    applyOptions.stop = &stopped;
    TerminalProgress* progress = streams.progress;
    if (progress) {
        applyOptions.progress = [progress](const ApplyProgress& where) {
            progress->text("Putting back: " + std::to_string(where.done) + " of " + std::to_string(where.total) +
                           " files, " + std::to_string(where.bytesCopied) + " bytes copied");
        };
    }
    ApplyResult applied = applyRestorePlan(plan, applyOptions);
    if (progress)
        progress->finish();
    if (!applied.journal.empty())
        std::fprintf(streams.err, _("korvane-scan: journal of what was put back: %s (undo with --undo)\n"),
                     quoteName(applied.journal).c_str());
    else if (applied.journalError != 0)
        std::fprintf(streams.err, _("korvane-scan: nothing was put back: cannot write a journal in %s: %s\n"),
                     quoteName(applyOptions.journalFolder).c_str(), std::strerror(applied.journalError));
    return applied;
}

// What the search found, and with --restore the plan and what applying it
// did; true when --apply was carried out.
bool writeSearchResults(const RunSettings& settings, const std::string& file, const ScanResult& scan,
                        const MissingCollector& collector, const SearchResults& results, PathResolver& resolver,
                        const ProjectStreams& streams, int status)
{
    const CliOptions& options = *settings.options;
    TextOptions text;
    text.decodedPaths = options.utf8;
    text.maxCandidates = options.candidates;
    std::optional<RestorePlan> plan;
    std::optional<ApplyResult> applied;
    if (options.restore)
        plan = makeRestorePlan(results, resolver);
    if (!options.json) {
        write(streams.out, kLineEnd);
        write(streams.out, renderFoundElsewhere(results, text));
        write(streams.out, kLineEnd);
        write(streams.out, renderSuggestedMappings(results, text));
        if (plan) {
            write(streams.out, kLineEnd);
            write(streams.out, renderRestorePlan(*plan, text, options.apply));
        }
    }
    if (plan && options.apply) {
        std::fflush(streams.out);
        applied = applyPlan(settings, *plan, streams);
        if (!options.json)
            write(streams.out, renderRestoreOutcome(*plan, *applied, text));
    }
    if (options.json) {
        const RestoreFacts restore{plan ? &*plan : nullptr, applied ? &*applied : nullptr};
        write(streams.out, renderJson({file, fileSize(file), scan}, collector, results, text.maxCandidates,
                                      streams.jsonStatus ? std::optional<int>(status) : std::nullopt,
                                      plan ? &restore : nullptr));
    }
    return applied.has_value();
}

} // namespace

ProjectOutcome checkProject(const RunSettings& settings, const std::string& file, PathResolver& resolver,
                            const ProjectStreams& streams)
{
    const CliOptions& options = *settings.options;
    const std::stop_token& stop = settings.stop;
    ProjectOutcome outcome;
    CliFeedback::Output output;
    output.out = options.json ? nullptr : streams.out;
    output.trace = options.trace;
    output.utf8 = options.utf8;
    output.quoteNames = streams.quoteNames;
    output.progress = streams.progress;
    output.sharedTerminal = streams.sharedTerminal;
    CliFeedback feedback(output, resolver);
    // The report kept as data, for the parts that follow it.
    const bool searching = !options.searchFolders.empty() || options.json;
    MissingCollector collector(feedback);
    ScanFeedback& sink = options.explain || searching ? static_cast<ScanFeedback&>(collector) : feedback;

    const ScanResult result = runScan(file, sink, projectScanOptions(settings, resolver));
    if (streams.progress)
        streams.progress->finish();
    if (!result) {
        std::fprintf(streams.err, "%s\n%s\n", _("Can not open dvc file"), quoteName(result.openError).c_str());
        outcome.status = kCannotOpenOrUsage;
        outcome.openError = result.openError;
        if (options.json && streams.jsonStatus)
            write(streams.out, renderUnopenedJson(file, result.openError));
        if (std::fflush(streams.out) != 0 || std::ferror(streams.out)) {
            outcome.writeFailed = true;
            outcome.writeError = errno;
        }
        return outcome;
    }
    outcome.opened = true;
    const int status = statusOf(result, feedback);

    // After a stop only what is complete is written: the report up to its last whole line.
    if ((options.explain || searching) && !stop.stop_requested()) {
        std::vector<MissingFile> missing =
            missingFiles(collector.distinctStored(), [&](std::string_view stored) { return resolver.decoded(stored); });
        for (MissingFile& missingFile : missing)
            missingFile.codePage = resolver.codePageOf(missingFile.stored);
        if (options.explain) {
            write(streams.out, kLineEnd);
            write(streams.out, renderExplanations(resolver, missing, options.utf8, kLineEnd));
        }
        if (searching) {
            if (streams.sharedTerminal)
                std::fflush(streams.out);
            const SearchResults results = search(settings, resolver, missing, streams);
            // A search cut short by a stop is not written.
            if (!stop.stop_requested())
                outcome.applied =
                    writeSearchResults(settings, file, result, collector, results, resolver, streams, status);
        }
    }
    outcome.missing = feedback.missingCount();
    if (std::fflush(streams.out) != 0 || std::ferror(streams.out)) {
        outcome.writeFailed = true;
        outcome.writeError = errno;
        return outcome;
    }
    if (settings.interrupted()) {
        outcome.stopped = true;
        return outcome;
    }
    if (!resolver.unmappedRoots().empty()) {
        std::string howToMap = "--map ROOT=FOLDER";
        if (!settings.sources->configFile.empty())
            howToMap = formatted(_("--map ROOT=FOLDER or in %s"),
                                 quoteName(settings.sources->configFile.string()).c_str());
        warnOn(streams.err, unmappedRootsNote(resolver.unmappedRoots(), UnmappedNote::Warning, howToMap));
    }
    if (const std::string note = otherCodePageNote(resolver); !note.empty())
        warnOn(streams.err, note);
    if (result.damaged)
        warnOn(streams.err, describeDamage(result));
    outcome.status = status;
    return outcome;
}

} // namespace korvane
