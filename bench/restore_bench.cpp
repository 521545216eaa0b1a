// korvane-bench-restore: `korvane-scan --restore --apply --copy` putting back
// every file of a project (by default up to 10,000 files of 1 MiB) against
// `cp -r` of the same tree, followed by `sync -f` and without it. The project
// refers to D:\Media\Fxx\cNNNN.avi, D: is mapped to an empty destination and
// the files are under SOURCE/Media/Fxx/, so the search finds every one and
// the plan puts every one back. Every step of every round writes into a new,
// empty destination, removed after it and outside its time.
//
// korvane-scan's time is its whole run: the scan, the search, the plan, the
// copies (each written to a temporary name, synced, then renamed; digested
// and synced in batches on a second thread) and the second scan.
// `--restore` without `--apply` is timed in the same rounds, so that what
// applying the plan costs on its own is the difference. The same --apply
// run with its journal on tmpfs, where a sync costs nothing, is timed too:
// what making the journal durable on the disk costs is the ratio.

#include "bench/bench_support.h"
#include "tests/builder/project_builder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace korvane::bench;
namespace testkit = korvane::testkit;

constexpr const char* kUsage =
    "Usage: korvane-bench-restore --scan PROGRAM [options]\n"
    "Generates FILES files of MB MiB each under SOURCE/Media/Fxx/ and a project\n"
    "that refers to them as D:\\Media\\Fxx\\cNNNN.avi, then times, round by round,\n"
    "PROGRAM --map D:=DEST --search SOURCE --restore --apply --copy, the same\n"
    "without --apply, cp -r SOURCE/Media DEST/Media followed by sync -f DEST,\n"
    "and the same cp -r alone, each into a new empty DEST.\n"
    "\n"
    "  --scan PROGRAM   the korvane-scan to time (required)\n"
    "  --compare OLD    another korvane-scan, its --apply timed in the same rounds\n"
    "  --rounds N       timed rounds after one warm-up round (default 3)\n"
    "  --files N        files to put back (default: 10,000, or fewer so that the\n"
    "                   source and one destination take at most half of the\n"
    "                   space free in the folder, and on tmpfs of the memory)\n"
    "  --file-mb N      size of each file in MiB (default 1)\n"
    "  --folder DIR     where the files go (default $TMPDIR, else /tmp)\n"
    "  --keep           keep the temporary folder and say where it is\n";

constexpr std::size_t kMaxFiles = 10000;
constexpr unsigned kFolders = 100;
constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr double kGoal = 1.3;
constexpr double kJournalGoal = 1.05;

struct Options {
    std::string scan;
    std::string compare;
    int rounds = 3;
    std::size_t files = 0; // 0: chosen to fit
    std::uint64_t fileMiB = 1;
    std::string folder;
    bool keep = false;
};

Options parse(int argc, char** argv)
{
    Options options;
    const auto positive = [](const char* option, const char* v) {
        const double n = parseNumber(option, v);
        if (n < 1)
            throw std::invalid_argument(std::string(option) + " takes a number above 0");
        return n;
    };
    const std::vector<std::string> rest = readCommandLine(
        argc, argv,
        {
            {"scan", true, [&](const char* v) { options.scan = v; }},
            {"compare", true, [&](const char* v) { options.compare = v; }},
            {"rounds", true, [&](const char* v) { options.rounds = static_cast<int>(positive("--rounds", v)); }},
            {"files", true, [&](const char* v) { options.files = static_cast<std::size_t>(positive("--files", v)); }},
            {"file-mb", true,
             [&](const char* v) { options.fileMiB = static_cast<std::uint64_t>(positive("--file-mb", v)); }},
            {"folder", true, [&](const char* v) { options.folder = v; }},
            {"keep", false, [&](const char*) { options.keep = true; }},
        },
        kUsage);
    if (!rest.empty())
        throw std::invalid_argument("unknown argument '" + rest.front() + "'\n" + kUsage);
    if (options.scan.empty())
        throw std::invalid_argument(std::string("--scan PROGRAM is required\n") + kUsage);
    return options;
}

bool onTmpfs(const std::string& folder)
{
    struct statfs fs {};
    return ::statfs(folder.c_str(), &fs) == 0 && fs.f_type == 0x01021994; // TMPFS_MAGIC
}

std::uint64_t memoryAvailable()
{
    std::ifstream meminfo("/proc/meminfo");
    for (std::string key; meminfo >> key;) {
        std::uint64_t kib = 0;
        meminfo >> kib;
        if (key == "MemAvailable:")
            return kib * 1024;
        meminfo.ignore(256, '\n');
    }
    return 0;
}

// The source and one destination at a time must fit in half of what is free.
std::size_t filesThatFit(const std::string& folder, std::uint64_t fileBytes)
{
    struct statvfs fs {};
    if (::statvfs(folder.c_str(), &fs) != 0)
        throw std::runtime_error("cannot read the free space of " + folder);
    std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
    if (onTmpfs(folder))
        free = std::min(free, memoryAvailable());
    return std::min<std::size_t>(kMaxFiles, static_cast<std::size_t>(free / 2 / 2 / fileBytes));
}

std::string folderName(unsigned folder)
{
    char text[16];
    std::snprintf(text, sizeof text, "F%02u", folder);
    return text;
}

std::string fileName(std::size_t n)
{
    char text[32];
    std::snprintf(text, sizeof text, "c%04zu.avi", n);
    return text;
}

// File n is in folder n % 100; every file has its own content.
void makeSource(const std::string& media, std::size_t files, std::uint64_t fileBytes)
{
    for (unsigned f = 0; f < kFolders; ++f)
        std::filesystem::create_directories(media + "/" + folderName(f));
    std::vector<std::uint64_t> block(kMiB / sizeof(std::uint64_t));
    Random random(13);
    for (std::size_t n = 0; n < files; ++n) {
        const std::string path = media + "/" + folderName(static_cast<unsigned>(n % kFolders)) + "/" + fileName(n);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            throw std::runtime_error("cannot create " + path);
        for (std::uint64_t written = 0; written < fileBytes; written += kMiB) {
            for (std::uint64_t& word : block)
                word = random.next();
            if (::write(fd, block.data(), kMiB) != static_cast<ssize_t>(kMiB)) {
                ::close(fd);
                throw std::runtime_error("cannot write " + path);
            }
        }
        ::close(fd);
    }
}

testkit::ProjectModel makeProject(std::size_t files)
{
    testkit::ProjectModel model;
    for (std::size_t n = 0; n < files; ++n)
        model.mainAV.push_back(
            {"D:\\Media\\" + folderName(static_cast<unsigned>(n % kFolders)) + "\\" + fileName(n)});
    return model;
}

// Regular files below `root` and their bytes.
std::pair<std::size_t, std::uintmax_t> countFiles(const std::string& root)
{
    std::size_t files = 0;
    std::uintmax_t bytes = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            ++files;
            bytes += entry.file_size();
        }
    }
    return {files, bytes};
}

ProcessRun runChecked(const std::vector<std::string>& args, int expected, const std::string& output = "/dev/null",
                      const std::string& errors = {})
{
    const ProcessRun r = runProcess(args, output, errors);
    if (r.exitStatus != expected)
        throw std::runtime_error(args[0] + " exited with " + std::to_string(r.exitStatus) + ", not " +
                                 std::to_string(expected) + (errors.empty() ? "" : " (see " + errors + ")"));
    return r;
}

Timing sum(const Timing& a, const Timing& b) { return {a.wall + b.wall, a.cpu + b.cpu}; }

std::vector<double> apart(const Series& a, const Series& b)
{
    std::vector<double> v;
    for (std::size_t k = 0; k < a.runs.size(); ++k)
        v.push_back(a.runs[k].wall - b.runs[k].wall);
    return v;
}

// What the rounds measured.
struct Measured {
    Series applied{"korvane-scan --restore --apply --copy", {}};
    Series journalAside{"the same, its journal on tmpfs", {}};
    Series older;
    Series planned{"korvane-scan --restore (the plan alone)", {}};
    Series cpSync{"cp -r, then sync -f", {}};
    Series cpAlone{"cp -r", {}};
};

void printFigures(const Options& options, double totalMB, const Measured& m)
{
    std::printf("\n%d rounds after one warm-up round; korvane-scan's time is its whole run (scan, search, plan,\n"
                "copies, second scan), nothing subtracted:\n",
                options.rounds);
    std::vector<const Series*> shown = {&m.applied, &m.journalAside, &m.planned, &m.cpSync, &m.cpAlone};
    if (!options.compare.empty())
        shown.insert(shown.begin() + 2, &m.older);
    printSeries(shown);
    const double seconds = median(m.applied.walls()) / 1e3;
    std::printf("\n  korvane-scan --apply --copy: %.0f MB/s (median)\n", totalMB / seconds);
    const auto mark = [](const std::vector<double>& r) { return median(r) <= kGoal ? "" : "  OVER THE GOAL"; };
    const std::vector<double> bySync = ratios(m.applied, {&m.cpSync}, false);
    const std::vector<double> byCp = ratios(m.applied, {&m.cpAlone}, false);
    std::printf("  korvane-scan --apply --copy / (cp -r + sync -f), wall: %s (goal <= %.1f)%s\n",
                spread(bySync).c_str(), kGoal, mark(bySync));
    std::printf("  korvane-scan --apply --copy / cp -r, wall:             %s (goal <= %.1f)%s\n", spread(byCp).c_str(),
                kGoal, mark(byCp));
    const std::vector<double> journal = ratios(m.applied, {&m.journalAside}, false);
    std::printf("  the journal made durable on the disk (--apply / journal on tmpfs): %s (goal <= %.2f)%s\n",
                spread(journal).c_str(), kJournalGoal, median(journal) <= kJournalGoal ? "" : "  OVER THE GOAL");
    if (!options.compare.empty()) {
        const std::vector<double> byOld = ratios(m.applied, {&m.older}, false);
        const std::vector<double> oldBySync = ratios(m.older, {&m.cpSync}, false);
        std::printf("  --apply / the other build's --apply, wall:             %s\n", spread(byOld).c_str());
        std::printf("  the other build's --apply / (cp -r + sync -f), wall:  %s\n", spread(oldBySync).c_str());
    }
    const std::vector<double> own = apart(m.applied, m.planned);
    std::vector<double> ownBySync;
    std::vector<double> share;
    for (std::size_t k = 0; k < own.size(); ++k) {
        ownBySync.push_back(own[k] / m.cpSync.runs[k].wall);
        share.push_back(own[k] / m.applied.runs[k].wall);
    }
    std::printf("  applying alone (--apply run - plan run), ms:           %s\n", spread(own, "%.0f").c_str());
    std::printf("  its share of the --apply run:                          %s\n", spread(share).c_str());
    std::printf("  applying alone / (cp -r + sync -f):                    %s\n", spread(ownBySync).c_str());
}

// The files to put back below `source` and the project that misses them;
// says what was made. Returns their size in MB.
double makeSourceAndProject(const Options& options, const std::string& folder, const std::string& source,
                            const std::string& project, std::uint64_t fileBytes)
{
    const Clock::time_point generating = Clock::now();
    makeSource(source + "/Media", options.files, fileBytes);
    testkit::writeFile(project, testkit::buildProject(makeProject(options.files)));
    const double totalMB = static_cast<double>(options.files * fileBytes) / 1e6;
    std::printf("%zu files of %llu MiB (%.0f MB) in %u folders in %s (%s); %.1f s to create\n", options.files,
                static_cast<unsigned long long>(options.fileMiB), totalMB, kFolders, folder.c_str(),
                onTmpfs(folder) ? "tmpfs: fsync costs next to nothing" : "not tmpfs: each fsync waits for the device",
                millisecondsSince(generating) / 1e3);
    return totalMB;
}

// Runs the rounds: korvane-scan's apply, with its journal aside and with the
// other build, its plan alone, and cp.
void measure(const Options& options, const std::string& folder, const std::string& source,
             const std::string& project, Measured& m)
{
    const std::uint64_t fileBytes = options.fileMiB * kMiB;
    const std::string dest = folder + "/dest";
    const std::string log = folder + "/scan.log";
    const std::string errors = folder + "/scan.err";
    // A journal folder on tmpfs, for the run whose journal costs no syncs.
    const std::string shmState =
        std::filesystem::exists("/dev/shm") ? "/dev/shm/korvane-bench-state-" + std::to_string(::getpid()) : "";
    struct RemoveAfter {
        std::string path;
        ~RemoveAfter() { std::filesystem::remove_all(path); }
    } const shmStateRemoved{shmState};
    const std::vector<std::string> plan = {options.scan, "--map", "D:=" + dest, "--search", source, "--restore",
                                           project};
    std::vector<std::string> apply = plan;
    apply.insert(apply.end() - 1, {"--apply", "--copy"});

    Series& applied = m.applied;
    Series& journalAside = m.journalAside;
    Series& older = m.older;
    Series& planned = m.planned;
    Series& cpSync = m.cpSync;
    Series& cpAlone = m.cpAlone;
    const std::uintmax_t expectedBytes = options.files * fileBytes;
    const auto fresh = [&] {
        std::filesystem::remove_all(dest);
        std::filesystem::create_directory(dest);
    };
    // Every file must have arrived, whole: otherwise the time means nothing.
    const auto checkCopied = [&](const char* what) {
        const auto [files, bytes] = countFiles(dest);
        if (files != options.files || bytes != expectedBytes)
            throw std::runtime_error(std::string(what) + " left " + std::to_string(files) + " files of " +
                                     std::to_string(bytes) + " bytes, not " + std::to_string(options.files));
        std::filesystem::remove_all(dest);
    };
    std::vector<std::string> applyOld = apply;
    applyOld.front() = options.compare;
    std::vector<std::function<void()>> steps = {
        [&] {
            fresh();
            // Every file put back: the second scan finds nothing missing.
            applied.runs.push_back(runChecked(apply, 0, log, errors).time);
            checkCopied("korvane-scan --apply");
        },
        [&] {
            fresh();
            const std::string state = folder.path() + "/state";
            ::setenv("XDG_STATE_HOME", (shmState.empty() ? state : shmState).c_str(), 1);
            journalAside.runs.push_back(runChecked(apply, 0, log, errors).time);
            ::setenv("XDG_STATE_HOME", state.c_str(), 1);
            checkCopied("korvane-scan --apply");
        },
        [&] {
            fresh();
            // The plan changes nothing: every file is still missing.
            planned.runs.push_back(runChecked(plan, 1, log, errors).time);
            if (!std::filesystem::is_empty(dest))
                throw std::runtime_error("korvane-scan --restore without --apply wrote in " + dest);
            std::filesystem::remove_all(dest);
        },
        [&] {
            fresh();
            const ProcessRun copy = runChecked({"cp", "-r", source + "/Media", dest + "/Media"}, 0);
            const ProcessRun sync = runChecked({"sync", "-f", dest}, 0);
            cpSync.runs.push_back(sum(copy.time, sync.time));
            checkCopied("cp -r");
        },
        [&] {
            fresh();
            cpAlone.runs.push_back(runChecked({"cp", "-r", source + "/Media", dest + "/Media"}, 0).time);
            checkCopied("cp -r");
        },
    };
    if (!options.compare.empty()) {
        steps.push_back([&] {
            fresh();
            older.runs.push_back(runChecked(applyOld, 0, log, errors).time);
            checkCopied("the other korvane-scan --apply");
        });
    }
    runRounds(options.rounds, steps, [&] {
        for (Series* s : {&applied, &journalAside, &older, &planned, &cpSync, &cpAlone})
            s->runs.clear();
    });

}

int run(Options options)
{
    if (!options.folder.empty())
        ::setenv("TMPDIR", options.folder.c_str(), 1);
    const TempFolder folder("korvane-restore", options.keep);
    // Journals of the runs go in the temporary folder, not the user's state.
    ::setenv("XDG_STATE_HOME", (folder.path() + "/state").c_str(), 1);
    const std::uint64_t fileBytes = options.fileMiB * kMiB;
    if (options.files == 0)
        options.files = filesThatFit(folder.path(), fileBytes);
    if (options.files == 0)
        throw std::runtime_error("no room for one file of " + std::to_string(options.fileMiB) + " MiB in " +
                                 folder.path());

    const std::string source = folder.path() + "/source";
    const std::string project = folder.path() + "/media.dvc";
    const double totalMB = makeSourceAndProject(options, folder.path(), source, project, fileBytes);

    Measured m;
    m.older.label = "the same with " + options.compare;
    measure(options, folder.path(), source, project, m);
    printFigures(options, totalMB, m);
    if (options.keep)
        std::printf("kept %s\n", folder.path().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return korvane::bench::guardedMain("korvane-bench-restore", [&] { return run(parse(argc, argv)); });
}
