// korvane-bench-search-scan: `korvane-scan --search` and `--search --json`
// as whole processes where the search finds the most: every missing name is
// on the disk in a hundred folders. Camera file names repeat on every card,
// so a tree of 200,000 files holds 2,000 names, each in 100 folders
// (Archive/Shoot_SSS/Card_CC/C####.avi); the project refers to 20,000 of
// them, each twice (on the main track and in the bin), under a drive whose
// mapping finds none of them. Reports the wall time, the largest resident
// set of the process and the size of what it wrote, against the goals.

#include "bench/bench_support.h"
#include "tests/builder/project_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <exception>
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
    "Usage: korvane-bench-search-scan --scan PROGRAM [options]\n"
    "Generates a tree of 200,000 files (2,000 names, each in 100 folders) and a\n"
    "project that refers to 20,000 of them where they are not, then times\n"
    "PROGRAM --search and PROGRAM --search --json on it.\n"
    "\n"
    "  --scan PROGRAM   the korvane-scan to time (required)\n"
    "  --rounds N       timed rounds after one warm-up round (default 3)\n"
    "  --keep           keep the temporary folder and say where it is\n";

constexpr unsigned kShoots = 20;
constexpr unsigned kCards = 5;           // per shoot: 100 folders in all
constexpr unsigned kNames = 2000;        // in every folder
constexpr unsigned kMissingPerFolder = 200; // 20,000 missing paths

constexpr double kGoalSeconds = 2.0;
constexpr double kGoalResidentMB = 200.0;
constexpr double kGoalOutputMB = 20.0;

struct Options {
    std::string scan;
    int rounds = 3;
    bool keep = false;
};

std::string folderName(unsigned shoot, unsigned card, char separator)
{
    char text[64];
    std::snprintf(text, sizeof text, "Shoot_%03u%cCard_%02u", shoot, separator, card);
    return text;
}

std::string fileName(unsigned n)
{
    char text[32];
    std::snprintf(text, sizeof text, "C%04u.avi", n);
    return text;
}

std::size_t makeTree(const std::string& root)
{
    std::size_t files = 0;
    for (unsigned s = 0; s < kShoots; ++s) {
        for (unsigned c = 0; c < kCards; ++c) {
            const std::string folder = root + "/" + folderName(s, c, '/');
            std::filesystem::create_directories(folder);
            for (unsigned n = 0; n < kNames; ++n) {
                const std::string path = folder + "/" + fileName(n);
                const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd < 0)
                    throw std::runtime_error("cannot create " + path);
                ::close(fd);
                ++files;
            }
        }
    }
    return files;
}

// Each folder of the project's machine refers to its own 200 of the 2,000
// names, so every name is missing from ten folders and found in a hundred.
testkit::ProjectModel makeProject()
{
    testkit::ProjectModel model;
    for (unsigned s = 0; s < kShoots; ++s) {
        for (unsigned c = 0; c < kCards; ++c) {
            const unsigned first = ((s * kCards + c) % (kNames / kMissingPerFolder)) * kMissingPerFolder;
            for (unsigned k = 0; k < kMissingPerFolder; ++k) {
                const std::string path = "D:\\Footage\\" + folderName(s, c, '\\') + "\\" + fileName(first + k);
                model.mainAV.push_back({path});
                model.bin.push_back({"clip", path});
            }
        }
    }
    return model;
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
            {"keep", false, [&](const char*) { options.keep = true; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (options.scan.empty())
        throw std::invalid_argument(std::string("--scan PROGRAM is required\n") + kUsage);
    return options;
}

struct Figures {
    Series series;
    long maxResidentKiB = 0;
    std::uintmax_t outputBytes = 0;
};

void printFigures(const Figures& f)
{
    const double seconds = median(f.series.walls()) / 1e3;
    const double residentMB = static_cast<double>(f.maxResidentKiB) / 1024.0;
    const double outputMB = static_cast<double>(f.outputBytes) / 1e6;
    const auto mark = [](bool met) { return met ? "" : "  OVER THE GOAL"; };
    std::printf("  %-34s wall %6.2f s (%.2f to %.2f), CPU %.2f s%s\n", f.series.label.c_str(), seconds,
                minimum(f.series.walls()) / 1e3, maximum(f.series.walls()) / 1e3, median(f.series.cpus()) / 1e3,
                mark(seconds < kGoalSeconds));
    std::printf("  %-34s largest resident set %6.1f MB%s, output %7.2f MB%s\n", "", residentMB,
                mark(residentMB < kGoalResidentMB), outputMB, mark(outputMB < kGoalOutputMB));
}

int run(const Options& options)
{
    const TempFolder folder("korvane-search-scan", options.keep);
    const std::string root = folder.path() + "/Archive";
    const std::string emptyDrive = folder.path() + "/drive";
    std::filesystem::create_directories(emptyDrive);
    const Clock::time_point generating = Clock::now();
    const std::size_t files = makeTree(root);
    const std::string project = folder.path() + "/footage.dvc";
    testkit::writeFile(project, testkit::buildProject(makeProject()));
    std::printf("tree: %zu files in %u folders, %u names each in every folder; project: %u missing paths, each "
                "referred to twice (%.1f s to create)\n",
                files, kShoots * kCards, kNames, kShoots * kCards * kMissingPerFolder,
                millisecondsSince(generating) / 1e3);

    const std::vector<std::string> text = {options.scan, "--map", "D:=" + emptyDrive, "--search", root, project};
    std::vector<std::string> json = text;
    json.insert(json.end() - 1, "--json");
    Figures textRun{{"korvane-scan --search", {}}, 0, 0};
    Figures jsonRun{{"korvane-scan --search --json", {}}, 0, 0};
    const std::string textOut = folder.path() + "/search.txt";
    const std::string jsonOut = folder.path() + "/search.json";
    const auto step = [](const std::vector<std::string>& args, const std::string& out, Figures& into) {
        return [&args, &out, &into] {
            const ProcessRun r = runProcess(args, out);
            if (r.exitStatus != 1)
                throw std::runtime_error(args[0] + " exited with " + std::to_string(r.exitStatus) + ", not 1");
            into.series.runs.push_back(r.time);
            into.maxResidentKiB = std::max(into.maxResidentKiB, r.maxResidentKiB);
            into.outputBytes = std::filesystem::file_size(out);
        };
    };
    runRounds(options.rounds, {step(text, textOut, textRun), step(json, jsonOut, jsonRun)}, [&] {
        textRun.series.runs.clear();
        jsonRun.series.runs.clear();
    });
    std::printf("\n%d rounds after one warm-up round (goals: under %.0f s, %.0f MB resident, %.0f MB output):\n",
                options.rounds, kGoalSeconds, kGoalResidentMB, kGoalOutputMB);
    printFigures(textRun);
    printFigures(jsonRun);
    if (options.keep)
        std::printf("kept %s\n", folder.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-search-scan", [&] { return run(parse(argc, argv)); });
}
