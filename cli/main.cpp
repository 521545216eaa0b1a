// korvane-scan: lists the media files a RexEdit project refers to that are
// not found, exactly as the dialog's report would; on request also where
// each was looked for, and where the missing files are now. Several
// projects (or folders of them) are checked in one run, a few at a time.

#include "catalogue/catalogue_location.h"
#include "cli/catalogue_command.h"
#include "cli/cli_feedback.h"
#include "cli/cli_options.h"
#include "cli/many_projects.h"
#include "cli/messages.h"
#include "cli/project_list.h"
#include "cli/project_run.h"
#include "cli/restore_output.h"
#include "cli/search_output.h"
#include "cli/stop_signals.h"
#include "run/run.h"
#include "text/terminal_quote.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace korvane;

// The search's threads each keep the folders above the one they read open:
// the soft limit on open files is raised as far as the hard one allows.
void allowOpenFolders()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// After SIGINT or SIGTERM: what was written is flushed, and the status
// says which signal it was, as a shell reports it (130, 143).
int stopped(int signal)
{
    std::fflush(stdout);
    std::fprintf(stderr, "korvane-scan: %s\n", _("interrupted"));
    return 128 + signal;
}

void warn(const std::string& text)
{
    warnOn(stderr, text);
}

// The options of this run: the mappings of --map, the configuration file,
// Wine and WSL, and the code page of --codepage, else of the file, else auto.
RunOptions runOptions(const CliOptions& options)
{
    RunOptions run;
    run.sources = MappingSources::fromEnvironment();
    run.sources.explicitMappings = options.maps;
    run.codePage = options.codePage;
    run.jobs = options.jobs;
    run.remember = options.remember;
    run.changed = options.changed;
    if ((!options.searchFolders.empty() || options.remember || options.changed) && !options.noCatalogue)
        run.catalogue = defaultCataloguePath();
    return run;
}

// Says what the user should know of the run's settings; false, after a
// message, when the code page cannot be had.
bool saySetUp(const Run& run)
{
    for (const SetupWarning& warning : run.warnings())
        warn(warning.text);
    switch (run.error()) {
    case SetupError::None:
        break;
    case SetupError::CodePage:
        std::fprintf(stderr, "korvane-scan: --codepage %s: %s\n", quoteName(run.codePage()).c_str(),
                     run.errorText().c_str());
        break;
    case SetupError::NoDecoder:
        std::fprintf(stderr, _("korvane-scan: %s; choose a code page with --codepage\n"), run.errorText().c_str());
        break;
    }
    return run.ready();
}

// How many projects are read at a time.
constexpr std::size_t kProjectThreads = 4;

int cannotWrite(int error)
{
    std::fprintf(stderr, _("korvane-scan: cannot write the report: %s\n"), std::strerror(error));
    return StopSignals::interrupted() ? stopped(StopSignals::signal()) : kCannotWrite;
}

// After files were put back: the project scanned again, as korvane-scan of
// it alone without --search would, on a disk read afresh; its status is the
// run's. As text under a heading of its own; as JSON a second document.
int checkAgain(Run& run, const CliOptions& options, const ProjectStreams& streams)
{
    CliOptions again = options;
    again.searchFolders.clear();
    again.restore = again.apply = again.copy = false;
    again.explain = false;
    if (!again.json) {
        const std::string heading = std::string(kLineEnd) + "After putting back" + std::string(kLineEnd);
        std::fputs(heading.c_str(), streams.out);
    }
    const ProjectOutcome outcome = checkProject(run, again, run.freshProject(again.files.front()), streams);
    if (outcome.writeFailed)
        return cannotWrite(outcome.writeError);
    if (outcome.stopped)
        return stopped(StopSignals::signal());
    return outcome.status;
}

// korvane-scan --undo JOURNAL.
int undo(const std::string& journal)
{
    const UndoResult result = Run::undo(journal);
    if (!result.read) {
        std::fprintf(stderr, "korvane-scan: --undo %s: %s\n", quoteName(journal).c_str(),
                     quoteName(result.error).c_str());
        return kCannotOpenOrUsage;
    }
    const std::string text = renderUndo(result);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (std::fflush(stdout) != 0)
        return cannotWrite(errno);
    return result.kept.empty() ? kComplete : kSomethingMissing;
}

// One project named as a file: everything as korvane-scan has always done.
int checkOne(Run& run, const CliOptions& options)
{
    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    std::optional<TerminalProgress> progress;
    if (::isatty(STDERR_FILENO))
        progress.emplace(stderr);
    ProjectStreams streams;
    streams.progress = progress ? &*progress : nullptr;
    streams.quoteNames = ::isatty(STDOUT_FILENO) != 0;
    streams.sharedTerminal = progress && streams.quoteNames;
    const ProjectOutcome outcome = checkProject(run, options, run.project(options.files.front()), streams);
    if (outcome.writeFailed)
        return cannotWrite(outcome.writeError);
    if (outcome.stopped)
        return stopped(StopSignals::signal());
    if (outcome.applied && !run.stopRequested())
        return checkAgain(run, options, streams);
    return outcome.status;
}

} // namespace

int main(int argc, char** argv)
{
    setUpMessages();
    int exitNow = -1;
    const std::optional<CliOptions> options = parseCommandLine(argc, argv, exitNow);
    if (!options)
        return exitNow;
    if (options->undo)
        return undo(*options->undo);
    if (options->catalogue || !options->forget.empty()) {
        const std::stop_source stop;
        const StopSignals signals(stop);
        std::atomic<bool> stopRequest = false;
        const std::stop_callback relay(stop.get_token(), [&] { stopRequest = true; });
        const int status =
            options->catalogue ? catalogueFolders(options->files, stopRequest) : forgetDisks(options->forget);
        return StopSignals::interrupted() ? stopped(StopSignals::signal()) : status;
    }

    Run run(runOptions(*options));
    if (!saySetUp(run))
        return kCannotOpenOrUsage;
    const StopSignals signals(run.stopSource());
    allowOpenFolders();
    if (options->files.size() == 1) {
        struct stat st;
        if (::stat(options->files.front().c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return checkOne(run, *options);
    }

    const ProjectList list = listProjects(options->files);
    const ManyOutcome outcome =
        checkProjects(run, *options, list, kProjectThreads, ::isatty(STDERR_FILENO) != 0);
    if (outcome.writeFailed)
        return cannotWrite(outcome.writeError);
    if (outcome.stopped || StopSignals::interrupted())
        return stopped(StopSignals::signal());
    return outcome.status;
}
