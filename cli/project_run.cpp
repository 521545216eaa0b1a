#include "cli/project_run.h"

#include "cli/catalogue_output.h"
#include "cli/cli_output.h"
#include "cli/json_document.h"
#include "cli/memory_output.h"
#include "cli/messages.h"
#include "cli/restore_output.h"
#include "cli/search_output.h"
#include "cli/stop_signals.h"
#include "text/terminal_quote.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace korvane {

void warnOn(std::FILE* err, const std::string& text)
{
    std::fprintf(err, _("korvane-scan: warning: %s\n"), quoteName(text).c_str());
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

SearchResults search(Run& run, const CliOptions& options, const ProjectScan& project, const ProjectStreams& streams)
{
    TerminalProgress* progress = streams.progress;
    SearchRequest request;
    request.folders = options.searchFolders;
    request.oneFileSystem = options.oneFileSystem;
    request.match.maxCandidates = std::max(request.match.maxCandidates, options.candidates);
    request.match.checkedCandidates = options.candidates;
    // As the index spells its paths: absolute, links not resolved.
    for (const std::string& folder : options.prefer) {
        std::string path = std::filesystem::absolute(folder).lexically_normal().string();
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        request.decide.prefer.push_back(std::move(path));
    }
    if (progress) {
        request.progress = [progress](const WalkProgress& where) { progress->text(searchProgressText(where)); };
        // Matching and suggesting take a while on large runs: the walk's last
        // line must not stand for them.
        request.step = [progress](const SearchStep& step) { progress->text(searchStepText(step), true); };
    }
    SearchResults results = run.search(project, request);
    if (progress)
        progress->finish();
    warnAboutProblems(streams.err, results.index());
    return results;
}

// What the user should know once the report is out: the drives and shares
// without a mapping, names only the other code page found, and damage.
void warnAfterScan(const Run& run, ProjectScan& project, std::FILE* err)
{
    if (!project.unmappedRoots().empty()) {
        std::string howToMap = "--map ROOT=FOLDER";
        if (!run.sources().configFile.empty())
            howToMap =
                formatted(_("--map ROOT=FOLDER or in %s"), quoteName(run.sources().configFile.string()).c_str());
        warnOn(err, unmappedRootsNote(project.unmappedRoots(), UnmappedNote::Warning, howToMap));
    }
    if (!project.codePageSwitchNote().empty())
        warnOn(err, project.codePageSwitchNote());
    if (const std::string note = project.otherCodePageNote(); !note.empty())
        warnOn(err, note);
    if (project.result().damaged)
        warnOn(err, describeDamage(project.result()));
}

int statusOf(const ScanResult& result, const CliFeedback& feedback)
{
    if (result.damaged)
        return kDamaged;
    return feedback.anyMissing() ? kSomethingMissing : kComplete;
}

// Puts back what the plan puts back, the progress on the terminal, and says
// on `err` which journal it wrote.
ApplyResult applyPlan(Run& run, const CliOptions& options, const RestorePlan& plan, const ProjectStreams& streams)
{
    ApplyRequest request;
    request.forceCopy = options.copy;
    TerminalProgress* progress = streams.progress;
    if (progress) {
        request.progress = [progress](const ApplyProgress& where) {
            progress->text("Putting back: " + std::to_string(where.done) + " of " + std::to_string(where.total) +
                           " files, " + std::to_string(where.bytesCopied) + " bytes copied");
        };
    }
    ApplyResult applied = run.apply(plan, request);
    if (progress)
        progress->finish();
    if (!applied.journal.empty())
        std::fprintf(streams.err, _("korvane-scan: journal of what was put back: %s (undo with --undo)\n"),
                     quoteName(applied.journal).c_str());
    if (!applied.journal.empty() && applied.journalError != 0)
        std::fprintf(streams.err,
                     _("korvane-scan: the journal could not be written on (%s): the run stopped there; what it put "
                       "back is in the journal\n"),
                     std::strerror(applied.journalError));
    else if (applied.journalError != 0)
        std::fprintf(streams.err, _("korvane-scan: nothing was put back: cannot write a journal in %s: %s\n"),
                     quoteName(request.journalFolder).c_str(), std::strerror(applied.journalError));
    return applied;
}

// What the search found, and with --restore the plan and what applying it
// did; true when --apply was carried out.
bool writeSearchResults(Run& run, const CliOptions& options, ProjectScan& project, const SearchResults& results,
                        const CatalogueAnswers& catalogue, const ProjectStreams& streams, int status,
                        const std::vector<ChangedSinceSeen>* changed)
{
    TextOptions text;
    text.decodedPaths = options.utf8;
    text.maxCandidates = options.candidates;
    std::optional<RestorePlan> plan;
    std::optional<ApplyResult> applied;
    if (options.restore)
    {
        // What --restore may write below besides the mappings' folders: the
        // folders named with --restore-root, else the project's own folder.
        PlanOptions planOptions;
        planOptions.roots = options.restoreRoots;
        plan = run.plan(results, project, planOptions);
    }
    if (!options.json) {
        write(streams.out, kLineEnd);
        write(streams.out, renderFoundElsewhere(results, text));
        if (const std::string notConnected = renderNotConnected(catalogue, results, text); !notConnected.empty()) {
            write(streams.out, kLineEnd);
            write(streams.out, notConnected);
        }
        write(streams.out, kLineEnd);
        write(streams.out, renderSuggestedMappings(results, text));
        if (plan) {
            write(streams.out, kLineEnd);
            write(streams.out, renderRestorePlan(*plan, text, options.apply));
        }
    }
    if (plan && options.apply) {
        std::fflush(streams.out);
        applied = applyPlan(run, options, *plan, streams);
        if (!options.json)
            write(streams.out, renderRestoreOutcome(*plan, *applied, text));
    }
    if (options.json) {
        const RestoreFacts restore{plan ? &*plan : nullptr, applied ? &*applied : nullptr};
        const std::string& file = project.file();
        write(streams.out, renderJson({file, project.result().fileSize, project.result()}, project.report(), results,
                                      text.maxCandidates,
                                      streams.jsonStatus ? std::optional<int>(status) : std::nullopt,
                                      plan ? &restore : nullptr,
                                      options.searchFolders.empty() || options.noCatalogue ? nullptr : &catalogue,
                                      changed));
    }
    return applied.has_value();
}

// With --remember, the files found remembered in the catalogue; with
// --changed, those that are not what was remembered of them. What could not
// be read is named on `err`, a few of them.
MemoryAnswers recallFound(Run& run, const CliOptions& options, ProjectScan& project, const ProjectStreams& streams)
{
    if (!(options.remember || options.changed) || run.stopRequested())
        return {};
    MemoryAnswers memory = run.remember(project);
    if (!memory.warning.empty())
        warnOn(streams.err, memory.warning);
    constexpr std::size_t kShown = 5;
    for (std::size_t k = 0; k < memory.problems.size() && k < kShown; ++k)
        warnOn(streams.err, formatted(_("not remembered: %s"), memory.problems[k].c_str()));
    if (memory.problems.size() > kShown)
        warnOn(streams.err, formatted(_("%zu more files could not be read"), memory.problems.size() - kShown));
    return memory;
}

} // namespace

ProjectOutcome checkProject(Run& run, const CliOptions& options, ProjectScan project, const ProjectStreams& streams)
{
    ProjectOutcome outcome;
    CliFeedback::Output output;
    output.out = options.json ? nullptr : streams.out;
    output.trace = options.trace;
    output.utf8 = options.utf8;
    output.quoteNames = streams.quoteNames;
    output.progress = streams.progress;
    output.sharedTerminal = streams.sharedTerminal;
    CliFeedback feedback(output, project.resolver());
    // The report kept as data, for the parts that follow it.
    const bool searching = !options.searchFolders.empty() || options.json;
    const ScanResult& result = run.scan(project, feedback, options.explain || searching);
    if (streams.progress)
        streams.progress->finish();
    if (!result) {
        std::fprintf(streams.err, "%s\n%s\n", _("Can not open dvc file"), quoteName(result.openError).c_str());
        outcome.status = kCannotOpenOrUsage;
        outcome.openError = result.openError;
        if (options.json && streams.jsonStatus)
            write(streams.out, renderUnopenedJson(project.file(), result.openError));
        if (std::fflush(streams.out) != 0 || std::ferror(streams.out)) {
            outcome.writeFailed = true;
            outcome.writeError = errno;
        }
        return outcome;
    }
    outcome.opened = true;
    const int status = statusOf(result, feedback);
    const MemoryAnswers memory = recallFound(run, options, project, streams);

    // After a stop only what is complete is written: the report up to its last whole line.
    if ((options.explain || searching || options.changed) && !run.stopRequested()) {
        if (options.explain) {
            write(streams.out, kLineEnd);
            write(streams.out,
                  renderExplanations(project.resolver(), project.missingFiles(), options.utf8, kLineEnd));
        }
        if (options.changed && !options.json) {
            write(streams.out, kLineEnd);
            write(streams.out, renderChanged(memory.changed));
        }
        if (searching) {
            if (streams.sharedTerminal)
                std::fflush(streams.out);
            const SearchResults results = search(run, options, project, streams);
            const CatalogueAnswers catalogue = run.lookUpCatalogue(project);
            if (!catalogue.warning.empty())
                std::fprintf(streams.err, "korvane-scan: %s\n", catalogue.warning.c_str());
            // A search cut short by a stop is not written.
            if (!run.stopRequested())
                outcome.applied = writeSearchResults(run, options, project, results, catalogue, streams, status,
                                                     options.changed ? &memory.changed : nullptr);
        }
    }
    outcome.missing = feedback.missingCount();
    if (std::fflush(streams.out) != 0 || std::ferror(streams.out)) {
        outcome.writeFailed = true;
        outcome.writeError = errno;
        return outcome;
    }
    if (StopSignals::interrupted()) {
        outcome.stopped = true;
        return outcome;
    }
    warnAfterScan(run, project, streams.err);
    outcome.status = status;
    return outcome;
}

} // namespace korvane
