// korvane-scan: lists the media files a RexEdit project refers to that are
// not found, exactly as the dialog's report would; on request also where
// each was looked for, and where the missing files are now.

#include "cli/cli_feedback.h"
#include "cli/cli_options.h"
#include "cli/cli_output.h"
#include "cli/search_output.h"
#include "paths/run_setup.h"
#include "report/missing_collector.h"
#include "scanner/scan.h"
#include "search/missing_search.h"
#include "text/terminal_quote.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace korvane;

// Set by the signals that stop a run; read by the scan and the search walk.
std::atomic<bool> stopRequest{false};
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal)
{
    stopSignal = signal;
    stopRequest.store(true, std::memory_order_relaxed);
}

// SIGINT and SIGTERM stop the run at the next entry (a second one ends the
// program at once); so does a write to a pipe whose reader is gone, which
// then fails like any write that cannot be made. An interrupt ignored by
// the caller stays ignored.
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

// After SIGINT or SIGTERM: what was written is flushed, and the status
// says which signal it was, as a shell reports it (130, 143).
int stopped(int signal)
{
    std::fflush(stdout);
    std::fputs("korvane-scan: interrupted\n", stderr);
    return 128 + signal;
}

bool interrupted()
{
    return stopRequest.load() && stopSignal != SIGPIPE;
}

// The names in a warning are quoted where it is composed; one that still
// holds a control byte (from a message composed without quoting) is quoted
// whole, so that nothing on stderr can talk to a terminal or forge a line.
void warn(const std::string& text)
{
    std::fprintf(stderr, "korvane-scan: warning: %s\n", quoteName(text).c_str());
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
        std::fprintf(stderr, "korvane-scan: %s; choose a code page with --codepage\n", setup.errorText().c_str());
        break;
    }
    return std::move(setup.resolver);
}

void write(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

// The folders the search could not read, at most a few of them.
void warnAboutProblems(const FileIndex& index)
{
    constexpr std::size_t kShown = 5;
    const std::vector<WalkProblem>& problems = index.problems();
    for (std::size_t k = 0; k < problems.size() && k < kShown; ++k)
        warn("search: " + quoteName(problems[k].path) + ": " + std::strerror(problems[k].error));
    if (problems.size() > kShown)
        warn("search: " + std::to_string(problems.size() - kShown) + " more folders could not be read");
}

SearchResults search(const CliOptions& options, const PathResolver& resolver, const std::vector<MissingFile>& missing,
                     TerminalProgress* progress)
{
    SearchOptions searchOptions;
    searchOptions.match.maxCandidates = std::max(searchOptions.match.maxCandidates, options.candidates);
    searchOptions.match.checkedCandidates = options.candidates;
    searchOptions.suggest.inUse = resolver.drives().all();
    searchOptions.index.oneFileSystem = options.oneFileSystem;
    searchOptions.index.jobs = options.jobs;
    searchOptions.index.stop = &stopRequest;
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
    warnAboutProblems(results.index());
    return results;
}

std::uint64_t fileSize(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

void writeSearchResults(const CliOptions& options, const ScanResult& scan, const MissingCollector& collector,
                        const SearchResults& results)
{
    TextOptions text;
    text.decodedPaths = options.utf8;
    text.maxCandidates = options.candidates;
    if (options.json) {
        write(renderJson({options.file, fileSize(options.file), scan}, collector, results, text.maxCandidates));
    } else {
        write(kLineEnd);
        write(renderFoundElsewhere(results, text));
        write(kLineEnd);
        write(renderSuggestedMappings(results, text));
    }
}

} // namespace

int main(int argc, char** argv)
{
    int exitNow = -1;
    const std::optional<CliOptions> options = parseCommandLine(argc, argv, exitNow);
    if (!options)
        return exitNow;

    MappingSources sources;
    std::optional<PathResolver> resolver = makeResolver(*options, sources);
    if (!resolver)
        return kCannotOpenOrUsage;
    // With lookups overlapped, the run's resolver reads what the pool's
    // threads looked at.
    std::optional<LookupPool> pool;
    if (options->jobs > 1) {
        pool.emplace(*resolver, options->jobs);
        resolver = resolver->sibling(pool->reader());
    }

    static char outBuffer[1 << 16];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    std::optional<TerminalProgress> progress;
    if (::isatty(STDERR_FILENO))
        progress.emplace(stderr);
    const bool sharedTerminal = progress && ::isatty(STDOUT_FILENO);
    CliFeedback::Output output;
    output.out = options->json ? nullptr : stdout;
    output.trace = options->trace;
    output.utf8 = options->utf8;
    output.quoteNames = ::isatty(STDOUT_FILENO) != 0;
    output.progress = progress ? &*progress : nullptr;
    output.sharedTerminal = sharedTerminal;
    CliFeedback feedback(output, *resolver);
    // The report kept as data, for the parts that follow it.
    const bool searching = !options->searchFolders.empty() || options->json;
    MissingCollector collector(feedback);
    ScanFeedback& sink = options->explain || searching ? static_cast<ScanFeedback&>(collector) : feedback;

    catchStopSignals();
    allowOpenFolders();
    ScanOptions scanOptions;
    scanOptions.stop = &stopRequest;
    scanOptions.lookAhead = pool ? &*pool : nullptr;
    const ScanResult result = runScan(options->file, sink, scanOptions);
    if (progress)
        progress->finish();
    if (!result) {
        std::fprintf(stderr, "Can not open dvc file\n%s\n", quoteName(result.openError).c_str());
        return kCannotOpenOrUsage;
    }

    // After a stop only what is complete is written: the report up to its last whole line.
    if ((options->explain || searching) && !stopRequest.load()) {
        std::vector<MissingFile> missing =
            missingFiles(collector.distinctStored(), [&](std::string_view stored) { return resolver->decoded(stored); });
        for (MissingFile& file : missing)
            file.codePage = resolver->codePageOf(file.stored);
        if (options->explain) {
            write(kLineEnd);
            write(renderExplanations(*resolver, missing, options->utf8, kLineEnd));
        }
        if (searching) {
            if (sharedTerminal)
                std::fflush(stdout);
            const SearchResults results = search(*options, *resolver, missing, progress ? &*progress : nullptr);
            // A search cut short by a stop is not written.
            if (!stopRequest.load())
                writeSearchResults(*options, result, collector, results);
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "korvane-scan: cannot write the report: %s\n", std::strerror(errno));
        return interrupted() ? stopped(stopSignal) : kCannotWrite;
    }
    if (interrupted())
        return stopped(stopSignal);
    if (!resolver->unmappedRoots().empty()) {
        std::string howToMap = "--map ROOT=FOLDER";
        if (!sources.configFile.empty())
            howToMap += " or in " + quoteName(sources.configFile.string());
        warn(unmappedRootsNote(resolver->unmappedRoots(), UnmappedNote::Warning, howToMap));
    }
    if (const std::string note = otherCodePageNote(*resolver); !note.empty())
        warn(note);
    if (result.damaged) {
        warn(describeDamage(result));
        return kDamaged;
    }
    return feedback.anyMissing() ? kSomethingMissing : kComplete;
}
