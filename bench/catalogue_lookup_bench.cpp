// korvane-bench-catalogue-lookup: the catalogue at the scale of a user with
// a shelf of disks.
//  3. A catalogue of 10,000,000 files on 40 disks, none connected, every
//     file with a fingerprint: its size a file, and the time to look 20,000
//     missing files up in it (half of them remembered by the project, found
//     by fingerprint; half not, found by name and folders).
//  4. Remembering every present file of the large project (scale 1, nothing
//     missing), once the catalogue is warm (nothing changed since), against
//     korvane-scan of the same project: korvane-scan --remember is to take
//     at most 1.5 times the plain scan. Beside them, in the same rounds,
//     remembering alone (MediaMemory::remember, the catalogue open) and
//     what no remembering can do without: a stat of each file.

#include "bench/bench_support.h"
#include "bench/large_project.h"
#include "catalogue/media_memory.h"
#include "catalogue/mount_table.h"
#include "catalogue/sqlite_catalogue.h"
#include "catalogue/whereabouts.h"
#include "tests/builder/project_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace korvane::bench;
using korvane::CatalogueId;
using korvane::Digest;
using korvane::MissingName;
using korvane::SqliteCatalogue;

constexpr const char* kUsage =
    "Usage: korvane-bench-catalogue-lookup --scan PROGRAM [options]\n"
    "Times looking missing files up in a large catalogue, and remembering the\n"
    "files of a large project against scanning it.\n"
    "\n"
    "  --scan PROGRAM   the korvane-scan to time (part 4)\n"
    "  --rounds N       timed rounds after one warm-up round (default 5)\n"
    "  --files N        files of the catalogue of part 3 (default 10000000)\n"
    "  --missing N      missing files looked up (default 20000)\n"
    "  --catalogue FILE the catalogue of part 3: filled when it does not exist, else\n"
    "                   taken as it is (filling ten million files takes minutes)\n"
    "  --parts LIST     3, 4 or 34 (default)\n"
    "  --keep           keep the temporary folders and say where they are\n";

struct Options {
    std::string scan;
    int rounds = 5;
    std::size_t files = 10000000;
    std::size_t missing = 20000;
    std::string parts = "34";
    std::string catalogue;
    bool keep = false;
};

constexpr std::size_t kDisks = 40;
constexpr std::size_t kFilesPerFolder = 200;
constexpr double kLookupGoalMs = 200;
constexpr double kBytesGoal = 150;
constexpr double kRememberGoal = 1.5;

constexpr std::array<const char*, 6> kCameras = {"FX6", "A7S3", "GH5", "DJI", "GOPRO", "ZOOM"};
constexpr std::array<const char*, 6> kPrefixes = {"C", "C", "P10", "DJI_", "GX01", "ZOOM"};
constexpr std::array<const char*, 6> kExtensions = {".MP4", ".MP4", ".MOV", ".MP4", ".MP4", ".WAV"};

// Of every ten folders of the catalogue, three hold the clips of a card,
// four photos, three the files of projects (renders, exports, caches).
enum class Holds { Clips, Photos, Project };
Holds holds(std::size_t folder)
{
    return folder % 10 < 3 ? Holds::Clips : folder % 10 < 7 ? Holds::Photos : Holds::Project;
}

std::string dateOf(std::size_t folder)
{
    const std::size_t day = folder / 20;
    char date[16];
    std::snprintf(date, sizeof date, "%04zu-%02zu-%02zu", 2015 + day / 336 % 10, 1 + day / 28 % 12, 1 + day % 28);
    return date;
}

// File k of the catalogue: its folder and name, as cameras and a person
// filing their cards make them. Cards are copied into folders named after
// the day and the camera; one in ten verbatim, where every card's clips
// are in a folder CLIP, so that a name and its folder's name repeat.
// Cameras and photos number on from card to card, and start again after
// 9,999 and 99,999.
std::string folderOf(std::size_t k)
{
    const std::size_t folder = k / kFilesPerFolder;
    const std::string date = dateOf(folder);
    switch (holds(folder)) {
    case Holds::Clips: {
        std::string path = "Footage/" + date + "/" + date + "_" + kCameras[folder % kCameras.size()] + "_" +
                           std::to_string(folder);
        return folder % 100 < 10 ? path + "/PRIVATE/M4ROOT/CLIP" : path;
    }
    case Holds::Photos:
        return "Photos/" + date + " Event " + std::to_string(folder);
    case Holds::Project:
        break;
    }
    return "Projects/" + date + " Client " + std::to_string(folder) + "/" +
           (folder % 3 ? "Renders" : "Cache");
}

std::string nameOf(std::size_t k)
{
    const std::size_t folder = k / kFilesPerFolder;
    const std::size_t n = folder / 10 * kFilesPerFolder + k % kFilesPerFolder;
    char name[40];
    switch (holds(folder)) {
    case Holds::Clips: {
        const std::size_t camera = folder % kCameras.size();
        std::snprintf(name, sizeof name, "%s%04zu%s", kPrefixes[camera], 1 + n % 9999,
                      kExtensions[camera]);
        break;
    }
    case Holds::Photos:
        std::snprintf(name, sizeof name, "DSC%05zu.JPG", 1 + n % 99999);
        break;
    case Holds::Project:
        std::snprintf(name, sizeof name, folder % 3 ? "render_%07zu.mov" : "cache_%07zu.bin", k);
        break;
    }
    return name;
}

Digest fingerprintOf(std::size_t k)
{
    Digest d;
    Random random(k * 2654435761u + 1);
    for (std::size_t b = 0; b < d.bytes.size(); b += 8) {
        const std::uint64_t v = random.next();
        for (std::size_t j = 0; j < 8; ++j)
            d.bytes[b + j] = static_cast<std::uint8_t>(v >> (8 * j));
    }
    return d;
}

void fill(SqliteCatalogue& catalogue, std::size_t files)
{
    const std::size_t perDisk = (files + kDisks - 1) / kDisks;
    std::size_t k = 0;
    for (std::size_t disk = 0; disk < kDisks && k < files; ++disk) {
        korvane::VolumeIdentity id;
        id.kind = korvane::VolumeKind::Uuid;
        id.uuid = "BENCH-" + std::to_string(disk);
        id.key = "uuid:" + id.uuid;
        id.label = "WD_" + std::to_string(2015 + disk / 4) + "_" + static_cast<char>('A' + disk % 4);
        korvane::inOneUnit(catalogue, [&] {
            const CatalogueId volume = catalogue.recordVolume(id, "/media/" + id.label, 1718400000).id;
            CatalogueId folder = 0;
            for (std::size_t n = 0; n < perDisk && k < files; ++n, ++k) {
                if (n % kFilesPerFolder == 0)
                    folder = catalogue.addFolder(volume, folderOf(k), 1718400000);
                catalogue.addFile(folder, nameOf(k), {1000000 + k * 37, 1718400000123456789 + static_cast<std::int64_t>(k), 5000 + k},
                                  fingerprintOf(k));
            }
        });
    }
}

// The project's missing files: even ones remembered (found by fingerprint),
// odd ones not (found by name in the same folders).
std::vector<MissingName> rememberMissing(SqliteCatalogue& catalogue, std::size_t files, std::size_t missing,
                                         const std::string& project)
{
    std::vector<MissingName> names;
    Random random(3);
    korvane::inOneUnit(catalogue, [&] {
        for (std::size_t m = 0; m < missing; ++m) {
            const std::size_t k = random.below(files);
            const std::string folder = folderOf(k);
            MissingName name;
            name.stored = "D:\\" + folder + "\\" + nameOf(k);
            name.name = nameOf(k);
            for (std::size_t at = 0, slash = 0; slash != std::string::npos; at = slash + 1) {
                slash = folder.find('/', at);
                name.folders.push_back(folder.substr(at, slash == std::string::npos ? slash : slash - at));
            }
            if (m % 2 == 0) {
                korvane::Recollection r;
                r.project = project;
                r.stored = name.stored;
                r.facts = {1000000 + k * 37, 0, 0};
                r.fingerprint = fingerprintOf(k);
                r.seen = 1718500000;
                catalogue.remember(r);
            }
            names.push_back(std::move(name));
        }
    });
    return names;
}

void lookup(const Options& options)
{
    const TempFolder folder("korvane-lookup-bench", options.keep);
    const std::string path = options.catalogue.empty() ? folder.path() + "/catalogue.sqlite" : options.catalogue;
    const Clock::time_point filling = Clock::now();
    if (!std::filesystem::exists(path)) {
        auto catalogue = SqliteCatalogue::open(path);
        fill(*catalogue, options.files);
    }
    const double bytes = static_cast<double>(std::filesystem::file_size(path));
    std::printf("%zu files on %zu disks, each with a fingerprint: %.0f MB, %.1f bytes a file (goal <= %.0f)%s; "
                "%.0f s to fill\n",
                options.files, kDisks, bytes / 1e6, bytes / static_cast<double>(options.files), kBytesGoal,
                bytes / static_cast<double>(options.files) <= kBytesGoal ? "" : "  OVER THE GOAL",
                millisecondsSince(filling) / 1e3);
    const std::string project = "/home/me/Wedding.dvc";
    auto catalogue = SqliteCatalogue::open(path);
    const std::vector<MissingName> missing = rememberMissing(*catalogue, options.files, options.missing, project);
    const korvane::MountTable none = korvane::MountTable::parse("", {}, {});
    Series look{"look " + std::to_string(options.missing) + " missing files up", {}};
    std::size_t named = 0;
    runRounds(options.rounds, {[&] {
                  look.runs.push_back(timeHere([&] {
                      const auto found = korvane::findWhereabouts(*catalogue, none, project, missing);
                      named = 0;
                      for (const auto& w : found)
                          named += !w.notConnected.empty() && !w.ambiguous;
                  }));
              }},
              [&] { look.runs.clear(); });
    printSeries({&look});
    std::printf("  %zu of %zu named a disk to plug in; median %.0f ms (goal < %.0f ms)%s\n", named, missing.size(),
                median(look.walls()), kLookupGoalMs, median(look.walls()) < kLookupGoalMs ? "" : "  OVER THE GOAL");
}

// Stats each file of each folder from the folder, opened once.
void statEach(const std::map<std::string, std::vector<std::string>>& byFolder)
{
    for (const auto& [folder, names] : byFolder) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        for (const std::string& name : names) {
            if (fd < 0 || ::fstatat(fd, name.c_str(), &st, 0) != 0)
                throw std::runtime_error("cannot stat " + folder + "/" + name);
        }
        ::close(fd);
    }
}

void remember(const Options& options)
{
    if (options.scan.empty())
        throw std::invalid_argument("part 4 needs --scan PROGRAM");
    const std::string scan = std::filesystem::absolute(options.scan).string();
    const TempFolder folder("korvane-remember-bench", options.keep);
    const std::filesystem::path home = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    LargeProjectOptions projectOptions;
    projectOptions.missingShare = 0;
    const LargeProject project = makeLargeProject(projectOptions);
    korvane::testkit::writeFile("large.dvc", project.bytes);
    createMediaFiles(project);
    std::vector<std::string> paths;
    for (const MediaPath& media : project.paths)
        paths.push_back(folder.path() + "/" + media.path);
    std::vector<korvane::PresentFile> present;
    for (std::size_t k = 0; k < paths.size(); ++k)
        present.push_back({project.paths[k].path, paths[k]});
    std::printf("project: %s\n", describeLargeProject(project).c_str());

    auto catalogue = SqliteCatalogue::open(folder.path() + "/catalogue.sqlite");
    const korvane::MountTable mounts = korvane::MountTable::read();
    const std::string key = korvane::projectKey("large.dvc");
    korvane::MediaMemory memory(*catalogue, mounts);
    const korvane::RememberOutcome first = memory.remember(key, present);
    if (first.error || first.recorded != present.size())
        throw std::runtime_error("the first remembering recorded " + std::to_string(first.recorded) + " of " +
                                 std::to_string(present.size()));
    // What no remembering can do without: a stat of each file, from its
    // folder, on one thread.
    std::map<std::string, std::vector<std::string>> byFolder;
    for (const std::string& path : paths)
        byFolder[path.substr(0, path.rfind('/'))].push_back(path.substr(path.rfind('/') + 1));
    // korvane-scan --remember keeps a catalogue of its own, made in the
    // warm-up round: its present files come in the scan's order, whose
    // digest is not the one remembered here.
    ::setenv("XDG_DATA_HOME", (folder.path() + "/data").c_str(), 1);
    Series plain{"korvane-scan FILE > /dev/null", {}};
    Series whole{"korvane-scan --remember FILE, warm", {}};
    Series warm{"remember every present file, warm", {}};
    Series stats{"fstatat each present file, one thread", {}};
    const std::vector<std::function<void()>> steps = {
        [&] { plain.runs.push_back(runProcess({scan, "large.dvc"}).time); },
        [&] {
            const ProcessRun run = runProcess({scan, "--remember", "large.dvc"});
            if (run.exitStatus != 0)
                throw std::runtime_error("korvane-scan --remember large.dvc ended with " +
                                         std::to_string(run.exitStatus));
            whole.runs.push_back(run.time);
        },
        [&] {
            warm.runs.push_back(timeHere([&] {
                const korvane::RememberOutcome again = memory.remember(key, present);
                if (again.unchanged != present.size())
                    throw std::runtime_error("a warm remembering wrote " + std::to_string(again.recorded));
            }));
        },
        [&] { stats.runs.push_back(timeHere([&] { statEach(byFolder); })); },
    };
    runRounds(options.rounds, steps, [&] {
        for (Series* s : {&plain, &whole, &warm, &stats})
            s->runs.clear();
    });
    printSeries({&plain, &whole, &warm, &stats});
    for (const bool byCpu : {false, true}) {
        const std::vector<double> withRemembering = ratios(whole, {&plain}, byCpu);
        std::printf("  korvane-scan --remember / korvane-scan, %s: %s (goal <= %.1f)%s  (%zu present files)\n",
                    byCpu ? "CPU" : "wall", spread(withRemembering).c_str(), kRememberGoal,
                    median(withRemembering) <= kRememberGoal ? "" : "  OVER THE GOAL", present.size());
    }
    for (const bool byCpu : {false, true}) {
        std::vector<double> alone = ratios(warm, {&plain}, byCpu);
        for (double& r : alone)
            r += 1;
        std::printf("  (scan + remembering alone) / scan, %s: %s\n", byCpu ? "CPU" : "wall", spread(alone).c_str());
    }
    std::printf("  the stats alone / scan, CPU: %s; remembering / the stats alone, CPU: %s\n",
                spread(ratios(stats, {&plain}, true)).c_str(), spread(ratios(warm, {&stats}, true)).c_str());
    std::filesystem::current_path(home);
}

} // namespace

int main(int argc, char** argv)
{
    return guardedMain("korvane-bench-catalogue-lookup", [&] {
        Options options;
        readCommandLine(
            argc, argv,
            {{"scan", true, [&](const char* v) { options.scan = v; }},
             {"rounds", true, [&](const char* v) { options.rounds = static_cast<int>(parseNumber("--rounds", v)); }},
             {"files", true, [&](const char* v) { options.files = static_cast<std::size_t>(parseNumber("--files", v)); }},
             {"missing", true,
              [&](const char* v) { options.missing = static_cast<std::size_t>(parseNumber("--missing", v)); }},
             {"parts", true, [&](const char* v) { options.parts = v; }},
             {"catalogue", true, [&](const char* v) { options.catalogue = v; }},
             {"keep", false, [&](const char*) { options.keep = true; }}},
            kUsage);
        std::printf("%s\n", machineLine().c_str());
        if (options.parts.find('3') != std::string::npos) {
            std::printf("\n-- looking missing files up in a large catalogue\n");
            lookup(options);
        }
        if (options.parts.find('4') != std::string::npos) {
            std::printf("\n-- remembering a project's present files against scanning it\n");
            remember(options);
        }
        return 0;
    });
}
