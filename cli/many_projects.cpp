#include "cli/many_projects.h"

#include "cli/messages.h"
#include "cli/stop_signals.h"
#include "cli/turn_output.h"
#include "run/ordered_work.h"
#include "text/terminal_quote.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

// One project of the run.
struct Slot {
    TurnOutput out{STDOUT_FILENO};
    std::optional<TerminalProgress> progress;
    std::string errText;
    ProjectOutcome outcome;
};

// Whether stdout and stderr are one file, so that what goes to stderr is
// seen in its place among the reports.
bool sameFile(int a, int b)
{
    struct stat sa, sb;
    return ::fstat(a, &sa) == 0 && ::fstat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

class Runner {
public:
    Runner(Run& run, const CliOptions& options, const ProjectList& list, bool progress)
        : run_(run), options_(options), list_(list)
    {
        lineEnd_ = options.trace ? "\n" : kLineEnd;
        streams_.quoteNames = ::isatty(STDOUT_FILENO) != 0;
        streams_.sharedTerminal = progress && streams_.quoteNames;
        streams_.jsonStatus = true;
        progress_ = progress;
        errHeadings_ = !sameFile(STDOUT_FILENO, STDERR_FILENO);
        slots_.resize(list.files.size());
        for (std::unique_ptr<Slot>& slot : slots_) {
            slot = std::make_unique<Slot>();
            if (progress)
                slot->progress.emplace(stderr, &line_);
        }
    }

    ManyOutcome check(std::size_t threads)
    {
        // A project starts only when few enough are ahead of the one being
        // written: each kept one holds a temporary file.
        OrderedWork work(slots_.size(), threads, 4 * threads, [this](std::size_t k) {
            Slot& slot = *slots_[k];
            if (!run_.stopRequested())
                check(list_.files[k], slot);
            else
                slot.outcome.stopped = true;
        });
        return writeInTurn(work);
    }

private:
    void check(const std::string& file, Slot& slot)
    {
        std::FILE* out = slot.out.open();
        if (!out) {
            slot.outcome.writeFailed = true;
            slot.outcome.writeError = errno;
            return;
        }
        char* errBuffer = nullptr;
        std::size_t errSize = 0;
        std::FILE* err = ::open_memstream(&errBuffer, &errSize);
        ProjectStreams streams = streams_;
        streams.out = out;
        streams.err = err ? err : stderr;
        streams.progress = slot.progress ? &*slot.progress : nullptr;
        slot.outcome = checkProject(run_, options_, run_.project(file), streams);
        if (std::fclose(out) != 0 && !slot.outcome.writeFailed) {
            slot.outcome.writeFailed = true;
            slot.outcome.writeError = errno;
        }
        if (err) {
            std::fclose(err);
            slot.errText.assign(errBuffer, errSize);
            std::free(errBuffer);
        }
    }

    std::string progressPrefix(std::size_t done) const
    {
        return std::to_string(done) + "/" + std::to_string(slots_.size()) + " projects  ";
    }

    ManyOutcome writeInTurn(OrderedWork& work)
    {
        ManyOutcome outcome;
        for (const FolderProblem& problem : list_.problems)
            warnOn(stderr, formatted(_("cannot read folder %s: %s"), quoteName(problem.path).c_str(),
                                     std::strerror(problem.error)));
        for (const std::string& folder : list_.emptyFolders)
            warnOn(stderr, formatted(_("no project (*.dvc) below %s"), quoteName(folder).c_str()));
        if (!list_.problems.empty() || !list_.emptyFolders.empty())
            outcome.status = kCannotOpenOrUsage;
        const bool json = options_.json;
        RunSummary summary;
        for (std::size_t k = 0; k < slots_.size(); ++k) {
            Slot& slot = *slots_[k];
            const std::string& file = list_.files[k];
            int error = json ? 0 : writeAll(STDOUT_FILENO, projectHeading(file, lineEnd_));
            if (error == 0)
                error = slot.out.takeTurn();
            if (error != 0)
                return failed(outcome, error);
            if (progress_)
                line_.handOver(stderr, &*slot.progress, progressPrefix(k));
            work.waitFor(k);
            if (progress_)
                line_.handOver(stderr, nullptr, {});
            if (slot.outcome.writeFailed)
                return failed(outcome, slot.outcome.writeError);
            if (StopSignals::interrupted() || slot.outcome.stopped) {
                outcome.stopped = true;
                return outcome;
            }
            if (!slot.errText.empty()) {
                if (errHeadings_)
                    std::fputs(projectHeading(file, "\n").c_str(), stderr);
                std::fputs(slot.errText.c_str(), stderr);
                std::fflush(stderr);
            }
            outcome.status = combinedStatus(outcome.status, slot.outcome.status);
            summary.add(file, slot.outcome);
            slots_[k].reset();
            work.advance();
        }
        if (!json) {
            if (const int error = writeAll(STDOUT_FILENO, summary.render(list_, lineEnd_)); error != 0)
                return failed(outcome, error);
        }
        return outcome;
    }

    // Stdout cannot be written: every project stops.
    ManyOutcome failed(ManyOutcome outcome, int error)
    {
        outcome.writeFailed = true;
        outcome.writeError = error;
        run_.requestStop();
        return outcome;
    }

    Run& run_;
    const CliOptions& options_;
    const ProjectList& list_;
    ProjectStreams streams_;
    std::string_view lineEnd_;
    bool progress_ = false;
    bool errHeadings_ = false;
    ProgressLine line_;
    std::vector<std::unique_ptr<Slot>> slots_;
};

} // namespace

ManyOutcome checkProjects(Run& run, const CliOptions& options, const ProjectList& list, std::size_t threads,
                          bool progress)
{
    Runner runner(run, options, list, progress);
    return runner.check(std::max<std::size_t>(1, std::min(threads, list.files.size())));
}

} // namespace korvane
