// korvane-bench-process: times korvane-scan as a whole process on a large
// generated project whose media folder exists in part, against what the job
// cannot avoid: reading the file once (cat FILE > /dev/null) plus one
// existence test (stat) per distinct path. All figures come from the same
// run, round by round, so that the ratio holds on a busy machine.

#include "bench/bench_support.h"
#include "bench/large_project.h"
#include "fs/file_probe.h"
#include "tests/builder/project_builder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace korvane::bench;

constexpr const char* kUsage =
    "Usage: korvane-bench-process --scan PROGRAM [options]\n"
    "Generates a large project and its media folder in a temporary folder, then\n"
    "times PROGRAM (korvane-scan) on it against cat + one stat per distinct path.\n"
    "\n"
    "  --scan PROGRAM   the korvane-scan to time (required)\n"
    "  --rounds N       timed rounds after one warm-up round (default 10)\n"
    "  --scale X        size of the project, as korvane-make-large-project (default 1)\n"
    "  --missing SHARE  share of distinct paths whose file is missing (default 0.1)\n"
    "  --repeat SHARE   share of clip entries that reuse a path (default 0.3)\n"
    "  --compare OTHER  also time OTHER, another build of korvane-scan, in the same\n"
    "                   rounds (it must write the same report)\n"
    "  --keep           keep the temporary folder and say where it is\n";

struct Options {
    std::string scan;
    std::string other;
    int rounds = 10;
    LargeProjectOptions project;
    bool keep = false;
};

std::optional<Options> parse(int argc, char** argv)
{
    Options options;
    const auto number = [](const char* option, double& into) {
        return CommandOption{option, true,
                             [option, &into](const char* v) { into = parseNumber(std::string("--") + option, v); }};
    };
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"scan", true, [&](const char* v) { options.scan = v; }},
            {"rounds", true,
             [&](const char* v) { options.rounds = std::max(1, static_cast<int>(parseNumber("--rounds", v))); }},
            number("scale", options.project.scale),
            number("missing", options.project.missingShare),
            number("repeat", options.project.repeatShare),
            {"compare", true, [&](const char* v) { options.other = v; }},
            {"keep", false, [&](const char*) { options.keep = true; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (options.scan.empty())
        return std::nullopt;
    return options;
}

void readLoop(const std::string& file)
{
    static std::vector<char> buffer(64 * 1024);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + file);
    std::size_t total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
        total += static_cast<std::size_t>(got);
    ::close(fd);
    if (total == 0)
        throw std::runtime_error(file + " is empty");
}

std::size_t statEach(const std::vector<std::string>& paths)
{
    std::size_t found = 0;
    struct stat st;
    for (const std::string& path : paths) {
        if (::stat(path.c_str(), &st) == 0)
            ++found;
    }
    return found;
}

// The core's existence test with its memory, over every test of a run.
std::size_t probeEach(const LargeProject& project)
{
    korvane::FileProbe probe;
    std::size_t found = 0;
    for (const std::uint32_t id : project.tests) {
        if (probe.exists(project.paths[id].path))
            ++found;
    }
    return found;
}

std::size_t countLines(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

// Untimed runs that keep their reports, to check that the scan (and the
// other build) did its job and that the baselines see the same files.
void checkBeforeTiming(const std::string& scan, const std::string& other, const std::string& otherName,
                       const std::string& file, const LargeProject& project, const std::vector<std::string>& distinct,
                       std::size_t created)
{
    const int expectedExit = project.missingTests() > 0 ? 1 : 0;
    const std::string reportFile = "report.txt";
    const ProcessRun checked = runProcess({scan, file}, reportFile);
    const std::size_t expectedLines = 6 + project.missingTests(); // six headings in a version-519 report
    if (checked.exitStatus != expectedExit || countLines(reportFile) != expectedLines)
        throw std::runtime_error("korvane-scan exited with " + std::to_string(checked.exitStatus) + " and wrote " +
                                 std::to_string(countLines(reportFile)) + " report lines; expected " +
                                 std::to_string(expectedExit) + " and " + std::to_string(expectedLines));
    if (!other.empty()) {
        const std::string otherReport = "report-other.txt";
        const ProcessRun r = runProcess({other, file}, otherReport);
        std::ifstream a(reportFile, std::ios::binary), b(otherReport, std::ios::binary);
        const std::string ours((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
        const std::string theirs((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
        if (r.exitStatus != expectedExit || ours != theirs)
            throw std::runtime_error(otherName + " does not write the same report with the same exit status");
    }
    if (const std::size_t found = statEach(distinct); found != created)
        throw std::runtime_error("stat found " + std::to_string(found) + " of the " + std::to_string(created) +
                                 " created files");
    const std::size_t presentTests = project.tests.size() - project.missingTests();
    if (const std::size_t found = probeEach(project); found != presentTests)
        throw std::runtime_error("FileProbe found " + std::to_string(found) + " of " + std::to_string(presentTests) +
                                 " present paths");

}

// Every series of a run of the benchmark.
struct Timings {
    Series scanRuns{"korvane-scan FILE > /dev/null", {}};
    Series startUp{"korvane-scan --version (start-up alone)", {}};
    Series cat{"cat FILE > /dev/null", {}};
    Series read{"read loop, 64 KB buffer, in process", {}};
    Series stats{"stat per distinct path, in process", {}};
    Series probe{"FileProbe over every test, in process", {}};
    Series otherRuns{"--compare build, FILE > /dev/null", {}};
    std::vector<Series*> shown;
};

void timeRounds(const Options& options, const std::string& scan, const std::string& other, const std::string& file,
                const LargeProject& project, const std::vector<std::string>& distinct, Timings& t)
{
    const int expectedExit = project.missingTests() > 0 ? 1 : 0;
    const auto scanStep = [&](const std::string& program, Series& series) {
        const ProcessRun r = runProcess({program, file});
        if (r.exitStatus != expectedExit)
            throw std::runtime_error(program + " exited with " + std::to_string(r.exitStatus));
        series.runs.push_back(r.time);
    };
    std::vector<std::function<void()>> steps = {
        [&] { scanStep(scan, t.scanRuns); },
        [&] { t.startUp.runs.push_back(runProcess({scan, "--version"}).time); },
        [&] { t.cat.runs.push_back(runProcess({"cat", file}).time); },
        [&] { t.read.runs.push_back(timeHere([&] { readLoop(file); })); },
        [&] { t.stats.runs.push_back(timeHere([&] { statEach(distinct); })); },
        [&] { t.probe.runs.push_back(timeHere([&] { probeEach(project); })); },
    };
    t.shown = {&t.scanRuns, &t.startUp, &t.cat, &t.read, &t.stats, &t.probe};
    if (!other.empty()) {
        steps.push_back([&] { scanStep(other, t.otherRuns); });
        t.shown.push_back(&t.otherRuns);
    }
    runRounds(options.rounds, steps, [&] {
        for (Series* s : t.shown)
            s->runs.clear();
    });
}

void printTimings(const Options& options, const LargeProject& project, std::size_t distinct, const Timings& t)
{
    std::printf("\n%d rounds after one warm-up round:\n", options.rounds);
    printSeries({t.shown.begin(), t.shown.end()});
    std::printf("  (%zu distinct paths, %zu existence tests in a run)\n", distinct, project.tests.size());
    const double megabytes = static_cast<double>(project.bytes.size()) / 1e6;
    std::printf("\n  whole run: %.0f MB/s of project data (median wall)\n",
                megabytes / median(t.scanRuns.walls()) * 1e3);
    // Each round's ratio against the baseline measured in that same round:
    // median (lowest to highest).
    std::printf("  ratio korvane-scan / (cat + stat):    wall %s, CPU %s\n",
                spread(ratios(t.scanRuns, {&t.cat, &t.stats}, false)).c_str(),
                spread(ratios(t.scanRuns, {&t.cat, &t.stats}, true)).c_str());
    std::printf("  ratio korvane-scan / (read + stat):   wall %s, CPU %s\n",
                spread(ratios(t.scanRuns, {&t.read, &t.stats}, false)).c_str(),
                spread(ratios(t.scanRuns, {&t.read, &t.stats}, true)).c_str());
    if (!t.otherRuns.runs.empty())
        std::printf("  ratio --compare build / (cat + stat): wall %s, CPU %s  (%s)\n",
                    spread(ratios(t.otherRuns, {&t.cat, &t.stats}, false)).c_str(),
                    spread(ratios(t.otherRuns, {&t.cat, &t.stats}, true)).c_str(), options.other.c_str());
}

int run(const Options& options)
{
    const std::string scan = std::filesystem::absolute(options.scan).string();
    const std::string other = options.other.empty() ? "" : std::filesystem::absolute(options.other).string();
    const TempFolder folder("korvane-process", options.keep);
    const std::filesystem::path home = std::filesystem::current_path();
    // Stored paths are relative ("media/..."): the scans run in the folder.
    std::filesystem::current_path(folder.path());

    const auto generating = Clock::now();
    const LargeProject project = makeLargeProject(options.project);
    if (const std::string error = verifyLargeProject(project); !error.empty())
        throw std::runtime_error("the generated project does not scan as built: " + error);
    const std::string file = "large.dvc";
    korvane::testkit::writeFile(file, project.bytes);
    const std::size_t created = createMediaFiles(project);
    std::printf("project: %s\n", describeLargeProject(project).c_str());
    std::printf("media: %zu files created under %s/media (%.1f s to generate and create)\n", created,
                folder.path().c_str(), millisecondsSince(generating) / 1e3);

    std::vector<std::string> distinct;
    for (const MediaPath& media : project.paths)
        distinct.push_back(media.path);

    checkBeforeTiming(scan, other, options.other, file, project, distinct, created);

    Timings t;
    timeRounds(options, scan, other, file, project, distinct, t);
    printTimings(options, project, distinct.size(), t);

    std::filesystem::current_path(home);
    if (options.keep)
        std::printf("kept %s\n", folder.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-process", [&] {
        const std::optional<Options> options = parse(argc, argv);
        if (!options) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return run(*options);
    });
}
