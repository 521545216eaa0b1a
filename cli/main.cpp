// korvane-scan: lists the media files a RexEdit project refers to that are
// not found, exactly as the dialog's report would; on request also where
// each was looked for, and where the missing files are now. Several
// projects (or folders of them) are checked in one run, a few at a time.

#include "cli/catalogue_command.h"
#include "cli/cli_feedback.h"
#include "cli/cli_options.h"
#include "cli/many_projects.h"
#include "cli/messages.h"
#include "cli/project_list.h"
#include "cli/project_run.h"
#include "cli/restore_output.h"
#include "cli/search_output.h"
#include "restore/restore_apply.h"
#include "paths/lookup_pool.h"
#include "paths/run_setup.h"
#include "text/terminal_quote.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

// Set by the signals that stop a run; read by the scan and the search walk.
// Atomic rather than volatile: the projects of a run read them on threads
// of their own.
std::atomic<bool> stopRequest{false};
std::atomic<int> stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void onStopSignal(int signal)
{
    stopSignal.store(signal);
    stopRequest.store(true);
}

// SIGINT and SIGTERM stop the run at the next entry (a second one ends the
// program at once); so does a write to a pipe whose reader is gone, which
// then fails like any write that cannot be made. An interrupt ignored by
// the caller stays ignored.
void catchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESTART | SA_RESETHAND);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction old = {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGPIPE, &action, nullptr);
}

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

// A stop asked for by SIGINT or SIGTERM, not by a reader of stdout that
// went away or by a run of several projects that cannot write.
bool interrupted()
{
    const int signal = stopSignal.load();
    return stopRequest.load() && (signal == SIGINT || signal == SIGTERM);
}

void stopAll()
{
    stopRequest.store(true);
}

void warn(const std::string& text)
{
    warnOn(stderr, text);
}

// The resolver of this run: the mappings of --map, the configuration file,
// Wine and WSL, and the code page of --codepage, else of the file, else
// auto. Nothing, after a message, when the code page cannot be had.
std::optional<PathResolver> makeResolver(const CliOptions& options, MappingSources& sources)
{
    sources = MappingSources::fromEnvironment();
    sources.explicitMappings = options.maps;
    RunSetup setup = setUpRun(sources, options.codePage);
    for (const SetupWarning& warning : setup.warnings)
        warn(warning.text);
    switch (setup.error) {
    case SetupError::None:
        break;
    case SetupError::CodePage:
        std::fprintf(stderr, "korvane-scan: --codepage %s: %s\n", quoteName(setup.codePage).c_str(),
                     setup.errorText().c_str());
        break;
    case SetupError::NoDecoder:
        std::fprintf(stderr, _("korvane-scan: %s; choose a code page with --codepage\n"), setup.errorText().c_str());
        break;
    }
    return std::move(setup.resolver);
}

// How many projects are read at a time.
constexpr std::size_t kProjectThreads = 4;

int cannotWrite(int error)
{
    std::fprintf(stderr, _("korvane-scan: cannot write the report: %s\n"), std::strerror(error));
    return interrupted() ? stopped(stopSignal.load()) : kCannotWrite;
}

// After files were put back: the project scanned again, as korvane-scan of
// it alone without --search would, on a disk read afresh; its status is the
// run's. As text under a heading of its own; as JSON a second document.
int checkAgain(const RunSettings& settings, const PathResolver& runResolver, const ProjectStreams& streams)
{
    CliOptions again = *settings.options;
    again.searchFolders.clear();
    again.restore = again.apply = again.copy = false;
    again.explain = false;
    const std::unique_ptr<FolderReader> disk = makeRunFolderReader();
    RunSettings fresh = settings;
    fresh.options = &again;
    fresh.pool = nullptr;
    fresh.disk = disk.get();
    if (!again.json) {
        const std::string heading = std::string(kLineEnd) + "After putting back" + std::string(kLineEnd);
        std::fputs(heading.c_str(), streams.out);
    }
    PathResolver resolver = projectResolver(fresh, runResolver);
    const ProjectOutcome outcome = checkProject(fresh, again.files.front(), resolver, streams);
    if (outcome.writeFailed)
        return cannotWrite(outcome.writeError);
    if (outcome.stopped)
        return stopped(stopSignal.load());
    return outcome.status;
}

// korvane-scan --undo JOURNAL.
int undo(const std::string& journal)
{
    const UndoResult result = undoRestore(journal);
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
int checkOne(const RunSettings& settings, const PathResolver& runResolver)
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
    PathResolver resolver = projectResolver(settings, runResolver);
    const ProjectOutcome outcome = checkProject(settings, settings.options->files.front(), resolver, streams);
    if (outcome.writeFailed)
        return cannotWrite(outcome.writeError);
    if (outcome.stopped)
        return stopped(stopSignal.load());
    if (outcome.applied && !stopRequest.load())
        return checkAgain(settings, runResolver, streams);
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
        catchStopSignals();
        const int status =
            options->catalogue ? catalogueFolders(options->files, stopRequest) : forgetDisks(options->forget);
        return interrupted() ? stopped(stopSignal.load()) : status;
    }

    MappingSources sources;
    const std::optional<PathResolver> resolver = makeResolver(*options, sources);
    if (!resolver)
        return kCannotOpenOrUsage;

    // Files are looked up from their open folders; with lookups overlapped,
    // one pool serves every project of the run.
    const std::unique_ptr<FolderReader> disk = makeRunFolderReader();
    std::optional<LookupPool> pool;
    if (options->jobs > 1)
        pool.emplace(*resolver, options->jobs, *disk);

    catchStopSignals();
    allowOpenFolders();
    RunSettings settings;
    settings.disk = disk.get();
    settings.pool = pool ? &*pool : nullptr;
    settings.options = &*options;
    settings.sources = &sources;
    settings.stop = &stopRequest;
    settings.interrupted = &interrupted;
    settings.stopAll = &stopAll;
    if (options->files.size() == 1) {
        struct stat st;
        if (::stat(options->files.front().c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return checkOne(settings, *resolver);
    }

    const ProjectList list = listProjects(options->files);
    const ManyOutcome outcome =
        checkProjects(settings, *resolver, list, kProjectThreads, ::isatty(STDERR_FILENO) != 0);
    if (outcome.writeFailed)
        return cannotWrite(outcome.writeError);
    if (outcome.stopped || interrupted())
        return stopped(stopSignal.load());
    return outcome.status;
}
