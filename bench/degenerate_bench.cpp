// korvane-bench-degenerate: korvane-scan as a whole process on projects that
// are nothing but degenerate entries: a sparse file of zero bytes behind a
// header that claims 2^31 - 1 entries. On the main track every entry is then
// one byte (an empty name, which refers to no file); in the bin every entry
// is 18 bytes whose empty name is missing (one report line each). Each is
// timed with stderr on a pseudo-terminal, where the status line and the bar
// are drawn, and with stderr not a terminal.

#include "bench/bench_support.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace korvane::bench;

constexpr const char* kUsage =
    "Usage: korvane-bench-degenerate --scan PROGRAM [options]\n"
    "Creates sparse projects of empty entries (one of empty clips, one of empty bin\n"
    "entries) and times PROGRAM on each, with stderr on a pseudo-terminal and not.\n"
    "\n"
    "  --scan PROGRAM   the korvane-scan to time (required)\n"
    "  --rounds N       timed rounds after one warm-up round (default 3)\n"
    "  --size MB        size of each project in MiB (default 1024)\n";

constexpr double kGoalSeconds = 5.0;

struct Options {
    std::string scan;
    int rounds = 3;
    double sizeMiB = 1024;
};

// Layout version 0: the version, two bytes, the bin's count, the main
// track's count, four bytes; then zero bytes up to `size`.
void writeSparseProject(const std::string& path, std::int32_t binCount, std::int32_t mainCount, off_t size)
{
    unsigned char header[16] = {};
    for (int k = 0; k < 4; ++k) {
        header[4 + k] = static_cast<unsigned char>(static_cast<std::uint32_t>(binCount) >> (8 * k));
        header[8 + k] = static_cast<unsigned char>(static_cast<std::uint32_t>(mainCount) >> (8 * k));
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, header, sizeof header) != static_cast<ssize_t>(sizeof header) ||
        ::ftruncate(fd, size) != 0)
        throw std::runtime_error("cannot write " + path);
    ::close(fd);
}

// Runs `args` with stdout on /dev/null and stderr on a new pseudo-terminal
// (whose output is read and dropped) or on /dev/null; returns its times.
ProcessRun runWithStderr(const std::vector<std::string>& args, bool terminal)
{
    int master = -1, slave = -1;
    if (terminal && ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (terminal) {
        posix_spawn_file_actions_adddup2(&actions, slave, 2);
        posix_spawn_file_actions_addclose(&actions, master);
        posix_spawn_file_actions_addclose(&actions, slave);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (slave >= 0)
        ::close(slave);
    if (spawned != 0)
        throw std::runtime_error("cannot run " + args[0]);
    ProcessRun run;
    int status = 0;
    rusage usage{};
    for (;;) {
        if (master >= 0) {
            pollfd fd = {master, POLLIN, 0};
            if (::poll(&fd, 1, 20) > 0) {
                char buffer[4096];
                if (::read(master, buffer, sizeof buffer) <= 0) {
                    ::close(master);
                    master = -1;
                }
            }
        }
        const pid_t done = ::wait4(pid, &status, master >= 0 ? WNOHANG : 0, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("wait4 failed");
    }
    if (master >= 0)
        ::close(master);
    const auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
    run.time = {millisecondsSince(start), ms(usage.ru_utime) + ms(usage.ru_stime)};
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.maxResidentKiB = usage.ru_maxrss;
    return run;
}

Options parse(int argc, char** argv)
{
    Options options;
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"scan", true, [&](const char* v) { options.scan = v; }},
            {"rounds", true,
             [&](const char* v) {
                 options.rounds = static_cast<int>(parseNumber("--rounds", v));
                 if (options.rounds < 1)
                     throw std::invalid_argument("--rounds takes a number above 0");
             }},
            {"size", true,
             [&](const char* v) {
                 options.sizeMiB = parseNumber("--size", v);
                 if (options.sizeMiB < 1)
                     throw std::invalid_argument("--size takes at least 1 (MiB)");
             }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (options.scan.empty())
        throw std::invalid_argument(std::string("--scan PROGRAM is required\n") + kUsage);
    return options;
}

int run(const Options& options)
{
    const TempFolder folder("korvane-degenerate");
    const auto size = static_cast<off_t>(options.sizeMiB * 1024 * 1024);
    const std::string clips = folder.path() + "/empty-clips.dvc";
    const std::string bin = folder.path() + "/empty-bin.dvc";
    writeSparseProject(clips, 0, INT32_MAX, size);
    writeSparseProject(bin, INT32_MAX, 0, size);
    std::printf("two sparse projects of %.0f MiB: %lld empty clips of one byte; %lld empty bin entries of 18 bytes, "
                "each a missing path\n",
                options.sizeMiB, static_cast<long long>(size - 16), static_cast<long long>((size - 16) / 18));

    struct Case {
        Series series;
        std::vector<std::string> args;
        bool terminal;
    };
    std::vector<Case> cases = {
        {{"empty clips, stderr a terminal", {}}, {options.scan, clips}, true},
        {{"empty clips, stderr not a terminal", {}}, {options.scan, clips}, false},
        {{"empty bin entries, stderr a terminal", {}}, {options.scan, bin}, true},
        {{"empty bin entries, stderr not a terminal", {}}, {options.scan, bin}, false},
    };
    std::vector<std::function<void()>> steps;
    for (Case& c : cases) {
        steps.push_back([&c] {
            const ProcessRun r = runWithStderr(c.args, c.terminal);
            // The file ends long before the count it claims: damaged.
            if (r.exitStatus != 3)
                throw std::runtime_error(c.args[0] + " exited with " + std::to_string(r.exitStatus) + ", not 3");
            c.series.runs.push_back(r.time);
        });
    }
    runRounds(options.rounds, steps, [&] {
        for (Case& c : cases)
            c.series.runs.clear();
    });
    std::printf("\n%d rounds after one warm-up round (goal for 1 GiB: under %.0f s):\n", options.rounds, kGoalSeconds);
    const double goal = kGoalSeconds * options.sizeMiB / 1024;
    for (const Case& c : cases) {
        const double seconds = median(c.series.walls()) / 1e3;
        std::printf("  %-42s wall %7.2f s (%.2f to %.2f), CPU %.2f s%s\n", c.series.label.c_str(), seconds,
                    minimum(c.series.walls()) / 1e3, maximum(c.series.walls()) / 1e3,
                    median(c.series.cpus()) / 1e3, seconds < goal ? "" : "  OVER THE GOAL");
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-degenerate", [&] { return run(parse(argc, argv)); });
}
