// korvane-bench-latency: korvane-scan on a file system where every request
// costs a round trip (korvane-latency-fs mounted over a source folder),
// against the same requests made one after another:
//  0. the mount itself: a stat costs the delay per request, and stats made
//     at once by many threads overlap instead of queueing;
//  1. one project of 2,000 references to 1,000 distinct paths (half of them
//     present): korvane-scan FILE, and --jobs 1 where it has that option,
//     against one stat per distinct path in order;
//  2. 40 projects of 100 references each in one run (korvane-scan P1 ...
//     P40, or one run after another where it takes one FILE) against one
//     stat per distinct path of all 40 in order;
//  3. korvane-scan --search over a tree of 10,000 folders against find.
// The files are created in the source folder, where that is quick, and the
// projects refer to them through the mount.

#include "bench/bench_support.h"
#include "bench/latency_mount_check.h"
#include "tests/builder/project_builder.h"

#include <algorithm>
#include <atomic>
#include <barrier>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

using namespace korvane::bench;
namespace testkit = korvane::testkit;

constexpr const char* kUsage =
    "Usage: korvane-bench-latency --scan PROGRAM --source DIR --mount DIR [options]\n"
    "Times PROGRAM (korvane-scan) on files that it reaches through MOUNT, a\n"
    "korvane-latency-fs view of the folder SOURCE, against the same lookups one\n"
    "after another. Writes its files below SOURCE and removes them at the end.\n"
    "\n"
    "  --scan PROGRAM     the korvane-scan to time (required)\n"
    "  --source DIR       the folder the file system shows (required)\n"
    "  --mount DIR        where it is mounted (required)\n"
    "  --delay-ms MS      the delay the file system was started with (default 2)\n"
    "  --rounds N         timed rounds of parts 1 and 2 after a warm-up round (default 3)\n"
    "  --search-rounds N  rounds of part 3, without a warm-up round (default 1)\n"
    "  --folders N        leaf folders of part 3's tree (default 10000)\n"
    "  --parts LIST       which of 1, 2 and 3 to run (default 123); the mount is\n"
    "                     always checked first\n";

constexpr double kGoal = 20.0;
constexpr double kLeast = kLeastSpeedUp;

struct Options {
    std::string scan, source, mount;
    double delayMs = 2;
    int rounds = 3;
    int searchRounds = 1;
    unsigned folders = 10000;
    std::string parts = "123";
};

Options parse(int argc, char** argv)
{
    Options o;
    const auto count = [](const char* name, int least, auto& into) {
        return CommandOption{name, true, [name, least, &into](const char* v) {
                                 const double n = parseNumber(std::string("--") + name, v);
                                 if (n < least)
                                     throw std::invalid_argument(std::string("--") + name + " takes a number from " +
                                                                 std::to_string(least) + " up");
                                 into = static_cast<std::remove_reference_t<decltype(into)>>(n);
                             }};
    };
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"scan", true, [&](const char* v) { o.scan = v; }},
            {"source", true, [&](const char* v) { o.source = v; }},
            {"mount", true, [&](const char* v) { o.mount = v; }},
            {"delay-ms", true, [&](const char* v) { o.delayMs = parseNumber("--delay-ms", v); }},
            count("rounds", 1, o.rounds),
            count("search-rounds", 1, o.searchRounds),
            count("folders", 1, o.folders),
            {"parts", true, [&](const char* v) { o.parts = v; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (o.scan.empty() || o.source.empty() || o.mount.empty())
        throw std::invalid_argument(std::string("--scan, --source and --mount are required\n") + kUsage);
    o.scan = std::filesystem::absolute(o.scan).string();
    o.source = std::filesystem::absolute(o.source).string();
    o.mount = std::filesystem::absolute(o.mount).string();
    return o;
}

std::size_t countLines(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

std::string readAll(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What this korvane-scan can do: the options being added to it are found
// out by trying them on a small project of its own, where 2 is the exit
// status of wrong usage.
struct Abilities {
    bool jobs = false;
    bool manyFiles = false;
};

Abilities probeAbilities(const std::string& scan, const std::string& folder)
{
    testkit::ProjectModel model;
    model.mainAV.push_back({folder + "/absent.avi"});
    const std::string a = folder + "/probe-a.dvc", b = folder + "/probe-b.dvc";
    testkit::writeFile(a, testkit::buildProject(model));
    testkit::writeFile(b, testkit::buildProject(model));
    const int plain = runProcess({scan, a}).exitStatus;
    if (plain != 1)
        throw std::runtime_error(scan + " exits with " + std::to_string(plain) +
                                 " on a project with one missing file, not 1");
    Abilities abilities;
    abilities.jobs = runProcess({scan, "--jobs", "1", a}, "/dev/null", "/dev/null").exitStatus == 1;
    abilities.manyFiles = runProcess({scan, a, b}, "/dev/null", "/dev/null").exitStatus == 1;
    return abilities;
}

// `count` distinct paths in `folders` folders ("/PREFIX_nn/C_nnnn.avi"),
// every second one present (created below `source`), each referred to twice:
// once on the main track in order, once in the bin in an order of its own.
struct Media {
    testkit::ProjectModel model;
    std::vector<std::string> distinct; // through the mount, in order of first use
    std::size_t missingReferences = 0;
};

Media makeMedia(const Options& o, const std::string& prefix, unsigned count, unsigned folders, Random& random)
{
    Media media;
    for (unsigned k = 0; k < count; ++k) {
        char relative[96];
        std::snprintf(relative, sizeof relative, "/%s_%02u/C_%04u.avi", prefix.c_str(), k % folders, k);
        media.distinct.push_back(o.mount + relative);
        if (k % 2 == 0)
            createFile(o.source + relative);
        else
            std::filesystem::create_directories(std::filesystem::path(o.source + relative).parent_path());
        media.model.mainAV.push_back({media.distinct.back()});
    }
    std::vector<std::string> shuffled = media.distinct;
    for (std::size_t k = shuffled.size(); k > 1; --k)
        std::swap(shuffled[k - 1], shuffled[random.below(k)]);
    for (const std::string& path : shuffled)
        media.model.bin.push_back({"clip", path});
    media.missingReferences = 2 * (count / 2);
    return media;
}

void printGoal(const char* what, const std::vector<double>& speedUps)
{
    const double m = median(speedUps);
    std::printf("  %-52s %s x%s\n", what, spread(speedUps, "%.1f").c_str(),
                m >= kGoal    ? "  (goal 20x met)"
                : m >= kLeast ? "  (over the least of 8x, under the goal of 20x)"
                              : "  UNDER THE LEAST OF 8x");
}

// Spread over `folders` folders: with few, korvane-scan reads each folder
// once and answers from its names; with one for each path, every lookup is
// its own round trip and only lookups at once help.
void oneProject(const Options& o, const Abilities& abilities, const std::string& folder, unsigned folders)
{
    Random random(12);
    const std::string name = "one" + std::to_string(folders);
    const Media media = makeMedia(o, name + "/F", 1000, folders, random);
    const std::string file = folder + "/" + name + ".dvc";
    testkit::writeFile(file, testkit::buildProject(media.model));
    std::printf("project: 2,000 references to 1,000 distinct paths in %u folders, 500 of them present\n", folders);

    // Six headings in a version-519 report, then a line per missing reference.
    const std::size_t expectedLines = 6 + media.missingReferences;
    const std::string report = folder + "/one.txt";
    const ProcessRun checked = runProcess({o.scan, file}, report);
    if (checked.exitStatus != 1 || countLines(report) != expectedLines)
        throw std::runtime_error("korvane-scan exited with " + std::to_string(checked.exitStatus) + " and wrote " +
                                 std::to_string(countLines(report)) + " report lines; expected 1 and " +
                                 std::to_string(expectedLines));
    if (const std::size_t found = statEach(media.distinct); found != media.distinct.size() / 2)
        throw std::runtime_error("stat found " + std::to_string(found) + " of the " +
                                 std::to_string(media.distinct.size() / 2) + " created files");

    Series scan{"korvane-scan FILE", {}};
    Series serial{"korvane-scan --jobs 1 FILE", {}};
    Series stats{"stat per distinct path, in order, in process", {}};
    const auto scanStep = [&](std::vector<std::string> args, Series& into) {
        return [&o, args, &into] {
            const ProcessRun r = runProcess(args);
            if (r.exitStatus != 1)
                throw std::runtime_error(o.scan + " exited with " + std::to_string(r.exitStatus) + ", not 1");
            into.runs.push_back(r.time);
        };
    };
    std::vector<std::function<void()>> steps = {
        scanStep({o.scan, file}, scan),
        [&] { stats.runs.push_back(timeHere([&] { statEach(media.distinct); })); },
    };
    std::vector<Series*> shown = {&scan, &stats};
    if (abilities.jobs) {
        steps.push_back(scanStep({o.scan, "--jobs", "1", file}, serial));
        shown.push_back(&serial);
    }
    runRounds(o.rounds, steps, [&] {
        for (Series* s : shown)
            s->runs.clear();
    });
    std::printf("\n%d rounds after one warm-up round:\n", o.rounds);
    printSeries({shown.begin(), shown.end()});
    std::printf("  (%.2f ms a distinct path one after another)\n", median(stats.walls()) / 1000.0);
    std::printf("\n  speed-up over the same round's figure, median (range):\n");
    printGoal("korvane-scan FILE against stat in order", ratios(stats, {&scan}, false));
    if (abilities.jobs) {
        const std::vector<double> overJobs1 = ratios(serial, {&scan}, false);
        std::printf("  %-52s %s x\n", "korvane-scan FILE against korvane-scan --jobs 1 FILE",
                    spread(overJobs1, "%.1f").c_str());
    } else
        std::printf("  korvane-scan has no --jobs option yet: its --jobs 1 figure is left out\n");
}

void manyProjects(const Options& o, const Abilities& abilities, const std::string& folder)
{
    constexpr unsigned kProjects = 40;
    Random random(40);
    std::vector<std::string> files, distinct;
    std::size_t missing = 0;
    for (unsigned p = 0; p < kProjects; ++p) {
        const Media media = makeMedia(o, "many/P" + std::to_string(p) + "_F", 50, 5, random);
        files.push_back(folder + "/project-" + std::to_string(p) + ".dvc");
        testkit::writeFile(files.back(), testkit::buildProject(media.model));
        distinct.insert(distinct.end(), media.distinct.begin(), media.distinct.end());
        missing += media.missingReferences;
    }
    std::printf("projects: %u of 100 references each, to 50 distinct paths in 5 folders of their own, half of them "
                "present\n  (%zu distinct paths, %zu missing references in all)\n",
                kProjects, distinct.size(), missing);
    if (!abilities.manyFiles)
        std::printf("korvane-scan takes one FILE a run yet: it is timed as %u runs one after another\n", kProjects);

    std::vector<std::string> args = {o.scan};
    args.insert(args.end(), files.begin(), files.end());
    Series scan{abilities.manyFiles ? "korvane-scan P1 ... P40" : "korvane-scan P, 40 runs one after another", {}};
    Series stats{"stat per distinct path, in order, in process", {}};
    const auto scanStep = [&] {
        Timing total;
        const auto one = [&](const std::vector<std::string>& a) {
            const ProcessRun r = runProcess(a);
            if (r.exitStatus != 1)
                throw std::runtime_error(o.scan + " exited with " + std::to_string(r.exitStatus) + ", not 1");
            total.wall += r.time.wall;
            total.cpu += r.time.cpu;
        };
        if (abilities.manyFiles) {
            one(args);
        } else {
            for (const std::string& f : files)
                one({o.scan, f});
        }
        scan.runs.push_back(total);
    };
    runRounds(
        o.rounds, {scanStep, [&] { stats.runs.push_back(timeHere([&] { statEach(distinct); })); }},
        [&] {
            scan.runs.clear();
            stats.runs.clear();
        });
    std::printf("\n%d rounds after one warm-up round:\n", o.rounds);
    printSeries({&scan, &stats});
    std::printf("\n  speed-up over the same round's figure, median (range):\n");
    printGoal(abilities.manyFiles ? "korvane-scan P1 ... P40 against stat in order"
                                  : "40 runs of korvane-scan against stat in order",
              ratios(stats, {&scan}, false));
}

void searchTree(const Options& o, const std::string& folder)
{
    constexpr unsigned kCards = 100;
    constexpr unsigned kFilesPerFolder = 2;
    constexpr unsigned kMissing = 100;
    const unsigned shoots = (o.folders + kCards - 1) / kCards;
    const std::string tree = "/tree/Archive";
    const auto relative = [&](unsigned leaf, unsigned file, char separator) {
        char text[96];
        std::snprintf(text, sizeof text, "Shoot_%03u%cCard_%02u%cA%06u.avi", leaf / kCards, separator, leaf % kCards,
                      separator, leaf * kFilesPerFolder + file);
        return std::string(text);
    };
    for (unsigned leaf = 0; leaf < o.folders; ++leaf) {
        for (unsigned f = 0; f < kFilesPerFolder; ++f)
            createFile(o.source + tree + "/" + relative(leaf, f, '/'));
    }
    // Missing where the project says, each name in one folder of the tree.
    testkit::ProjectModel model;
    const unsigned step = std::max(1u, o.folders / kMissing);
    std::vector<std::string> expected;
    for (unsigned leaf = 0; leaf < o.folders; leaf += step) {
        model.mainAV.push_back({"D:\\Footage\\" + relative(leaf, 0, '\\')});
        expected.push_back(o.mount + tree + "/" + relative(leaf, 0, '/'));
    }
    const std::string file = folder + "/search.dvc";
    testkit::writeFile(file, testkit::buildProject(model));
    const std::string drive = folder + "/drive"; // local and empty: the report costs nothing on the mount
    std::filesystem::create_directories(drive);
    const unsigned allFolders = o.folders + shoots + 1;
    std::printf("tree: %u folders (%u leaves of %u files) through the mount; project: %zu missing files, each in "
                "one leaf\n",
                allFolders, o.folders, kFilesPerFolder, expected.size());

    const std::string root = o.mount + tree;
    const std::vector<std::string> scanArgs = {o.scan, "--map", "D:=" + drive, "--search", root, file};
    const std::string out = folder + "/search.txt";
    // Each timed run's report must show where every missing file is.
    const auto checkReport = [&](int status) {
        const std::string text = readAll(out);
        const auto notShown = std::find_if(expected.begin(), expected.end(),
                                           [&](const std::string& p) { return text.find(p) == std::string::npos; });
        if (status != 1 || notShown != expected.end())
            throw std::runtime_error("korvane-scan --search exited with " + std::to_string(status) +
                                     (notShown != expected.end() ? " without showing " + *notShown : std::string()));
    };
    Series scan{"korvane-scan --search DIR FILE", {}};
    Series find{"find DIR > /dev/null", {}};
    const auto scanStep = [&] {
        const ProcessRun r = runProcess(scanArgs, out);
        checkReport(r.exitStatus);
        scan.runs.push_back(r.time);
    };
    const auto findStep = [&] {
        const ProcessRun r = runProcess({"find", root});
        if (r.exitStatus != 0)
            throw std::runtime_error("find exited with " + std::to_string(r.exitStatus));
        find.runs.push_back(r.time);
    };
    // No warm-up round: the mount caches nothing, and find alone takes
    // minutes. The order turns from round to round.
    for (int round = 0; round < o.searchRounds; ++round) {
        if (round % 2 == 0) {
            findStep();
            scanStep();
        } else {
            scanStep();
            findStep();
        }
    }
    std::printf("\n%d rounds:\n", o.searchRounds);
    printSeries({&scan, &find});
    std::printf("  (find: %.2f ms a folder)\n", median(find.walls()) / allFolders);
    std::printf("\n  speed-up over the same round's figure, median (range):\n");
    std::printf("  %-52s %s x\n", "korvane-scan --search against find", spread(ratios(find, {&scan}, false)).c_str());
}

int run(const Options& o)
{
    if (!std::filesystem::is_directory(o.source))
        throw std::runtime_error(o.source + " is not a folder");
    const TempFolder local("korvane-latency"); // projects and reports, off the mount
    const std::string source = o.source;
    // Everything made below SOURCE goes at the end, as the local folder does.
    struct Cleanup {
        std::vector<std::string> paths;
        ~Cleanup()
        {
            std::error_code ignored;
            for (const std::string& p : paths)
                std::filesystem::remove_all(p, ignored);
        }
    } cleanup{{source + "/check", source + "/one20", source + "/one1000", source + "/many", source + "/tree"}};

    std::printf("the mount: %s, a view of %s\n", o.mount.c_str(), o.source.c_str());
    checkLatencyMount(o.mount, source, o.delayMs);
    const Abilities abilities = probeAbilities(o.scan, local.path());
    std::printf("korvane-scan: --jobs %s; several FILEs in one run %s\n",
                abilities.jobs ? "understood" : "NOT UNDERSTOOD YET (exit status 2)",
                abilities.manyFiles ? "understood" : "NOT UNDERSTOOD YET (exit status 2)");
    std::fflush(stdout);
    if (o.parts.find('1') != std::string::npos) {
        std::printf("\n-- 1. one project, every existence test on the mount\n");
        oneProject(o, abilities, local.path(), 20);
        oneProject(o, abilities, local.path(), 1000);
        std::fflush(stdout);
    }
    if (o.parts.find('2') != std::string::npos) {
        std::printf("\n-- 2. forty projects in one run\n");
        manyProjects(o, abilities, local.path());
        std::fflush(stdout);
    }
    if (o.parts.find('3') != std::string::npos) {
        std::printf("\n-- 3. the search for missing files over a tree on the mount\n");
        searchTree(o, local.path());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-latency", [&] { return run(parse(argc, argv)); });
}
