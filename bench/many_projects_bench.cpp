// korvane-bench-many-projects: korvane-scan --search over many small
// projects at once. Every project of a run searches the same folders, so
// the run walks them once: the whole run should cost about one project's
// search plus the scans themselves, and --json no more than the text.
// Generates a tree of folders of camera files and a folder of small
// projects whose missing clips are in that tree, then times, in the same
// rounds:
//   one     korvane-scan --search TREE ONE.dvc
//   scans   korvane-scan PROJECTS              (every project, no search)
//   many    korvane-scan --search TREE PROJECTS
//   json    korvane-scan --json --search TREE PROJECTS
// and reports (many - scans) / one (goal: at most 3) and json / many (goal:
// at most 1.2).

#include "bench/bench_support.h"
#include "tests/builder/project_builder.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace korvane::bench;
namespace testkit = korvane::testkit;

constexpr const char* kUsage =
    "Usage: korvane-bench-many-projects --scan PROGRAM [options]\n"
    "Times PROGRAM --search over many small projects in one run against one\n"
    "project's search and the scans alone, and --json against the text.\n"
    "\n"
    "  --scan PROGRAM   the korvane-scan to time (required)\n"
    "  --projects N     small projects (default 5000)\n"
    "  --folders N      folders of the searched tree (default 3000)\n"
    "  --rounds N       timed rounds after one warm-up round (default 3)\n"
    "  --keep           keep the temporary folder and say where it is\n";

constexpr unsigned kFilesPerFolder = 5;
constexpr unsigned kFoldersPerShoot = 100;
constexpr double kGoalOverOne = 3.0;
constexpr double kGoalJson = 1.2;

struct Options {
    std::string scan;
    unsigned projects = 5000;
    unsigned folders = 3000;
    int rounds = 3;
    bool keep = false;
};

std::string cardFolder(unsigned folder, char separator)
{
    char text[64];
    std::snprintf(text, sizeof text, "Shoot_%03u%cCard_%03u", folder / kFoldersPerShoot, separator,
                  folder % kFoldersPerShoot);
    return text;
}

std::string clipName(unsigned n)
{
    char text[32];
    std::snprintf(text, sizeof text, "C%04u.AVI", n);
    return text;
}

void makeTree(const std::string& root, unsigned folders)
{
    for (unsigned f = 0; f < folders; ++f) {
        const std::string folder = root + "/" + cardFolder(f, '/');
        std::filesystem::create_directories(folder);
        for (unsigned n = 0; n < kFilesPerFolder; ++n) {
            const std::string path = folder + "/" + clipName(f * kFilesPerFolder + n);
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0)
                throw std::runtime_error("cannot create " + path);
            ::close(fd);
        }
    }
}

// A project of four clips: two that are in the tree (under a drive without
// a mapping), one of a name found nowhere, and the same first clip in the bin.
testkit::ProjectModel smallProject(unsigned k, const Options& options)
{
    Random random(k + 1);
    testkit::ProjectModel model;
    for (int c = 0; c < 2; ++c) {
        const unsigned folder = static_cast<unsigned>(random.below(options.folders));
        const unsigned file = folder * kFilesPerFolder + static_cast<unsigned>(random.below(kFilesPerFolder));
        model.mainAV.push_back({"D:\\Footage\\" + cardFolder(folder, '\\') + "\\" + clipName(file)});
    }
    model.exAudio1.push_back({"D:\\Audio\\take" + std::to_string(k) + ".wav"});
    model.bin.push_back({"clip", model.mainAV.front().path});
    return model;
}

Options parse(int argc, char** argv)
{
    Options options;
    const auto positive = [](const char* option, const char* value) {
        const double n = parseNumber(option, value);
        if (n < 1)
            throw std::invalid_argument(std::string(option) + " takes a number above 0");
        return n;
    };
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"scan", true, [&](const char* v) { options.scan = v; }},
            {"projects", true,
             [&](const char* v) { options.projects = static_cast<unsigned>(positive("--projects", v)); }},
            {"folders", true, [&](const char* v) { options.folders = static_cast<unsigned>(positive("--folders", v)); }},
            {"rounds", true, [&](const char* v) { options.rounds = static_cast<int>(positive("--rounds", v)); }},
            {"keep", false, [&](const char*) { options.keep = true; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (options.scan.empty())
        throw std::invalid_argument(std::string("--scan PROGRAM is required\n") + kUsage);
    return options;
}

// A step of the rounds: `args` run, its exit status checked, its time kept.
std::function<void()> step(const std::vector<std::string>& args, Series& into)
{
    return [&args, &into] {
        const ProcessRun r = runProcess(args, "/dev/null", "/dev/null");
        if (r.exitStatus != 1)
            throw std::runtime_error(args[0] + " exited with " + std::to_string(r.exitStatus) + ", not 1");
        into.runs.push_back(r.time);
    };
}

int run(const Options& options)
{
    const TempFolder folder("korvane-many-projects", options.keep);
    const std::string tree = folder.path() + "/Archive";
    const std::string projects = folder.path() + "/projects";
    std::filesystem::create_directories(projects);
    const Clock::time_point generating = Clock::now();
    makeTree(tree, options.folders);
    for (unsigned k = 0; k < options.projects; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/p%05u.dvc", k);
        testkit::writeFile(projects + name, testkit::buildProject(smallProject(k, options)));
    }
    const std::string one = projects + "/p00000.dvc";
    std::printf("tree: %u folders of %u files; %u projects of 3 missing clips, 2 of them in the tree (%.1f s to "
                "create)\n",
                options.folders, kFilesPerFolder, options.projects, millisecondsSince(generating) / 1e3);

    const std::vector<std::string> oneArgs = {options.scan, "--search", tree, one};
    const std::vector<std::string> scanArgs = {options.scan, projects};
    const std::vector<std::string> manyArgs = {options.scan, "--search", tree, projects};
    const std::vector<std::string> jsonArgs = {options.scan, "--json", "--search", tree, projects};
    Series oneRun{"one project --search", {}};
    Series scans{"every project, no --search", {}};
    Series many{"every project --search", {}};
    Series json{"every project --search --json", {}};
    runRounds(options.rounds,
              {step(oneArgs, oneRun), step(scanArgs, scans), step(manyArgs, many), step(jsonArgs, json)}, [&] {
                  for (Series* s : {&oneRun, &scans, &many, &json})
                      s->runs.clear();
              });
    std::printf("\n%d rounds after one warm-up round:\n", options.rounds);
    printSeries({&oneRun, &scans, &many, &json});
    // Wall time is the goal's; CPU time says the same on a machine others load.
    for (const bool byCpu : {false, true}) {
        const auto time = [byCpu](const Timing& t) { return byCpu ? t.cpu : t.wall; };
        std::vector<double> overOne;
        for (std::size_t k = 0; k < many.runs.size(); ++k)
            overOne.push_back((time(many.runs[k]) - time(scans.runs[k])) / time(oneRun.runs[k]));
        const std::vector<double> jsonOverText = ratios(json, {&many}, byCpu);
        std::printf("\n%s:\n", byCpu ? "CPU time" : "wall time");
        std::printf("  (every project --search - no --search) / one project --search: %s (goal: at most %.1f)%s\n",
                    spread(overOne).c_str(), kGoalOverOne, median(overOne) <= kGoalOverOne ? "" : "  OVER THE GOAL");
        std::printf("  --json / text, every project --search: %s (goal: at most %.1f)%s\n",
                    spread(jsonOverText).c_str(), kGoalJson, median(jsonOverText) <= kGoalJson ? "" : "  OVER THE GOAL");
    }
    if (options.keep)
        std::printf("kept %s\n", folder.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-many-projects", [&] { return run(parse(argc, argv)); });
}
