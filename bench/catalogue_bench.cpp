// korvane-bench-catalogue: cataloguing a disk.
//  1. Listing: 1,000,000 small files in 10,000 folders catalogued without
//     fingerprints, into a new catalogue and again into the same one
//     (nothing changed), against `find DIR -printf '%s %T@ %p\n'`, which
//     reads the same folders and stats the same files.
//  2. Fingerprints: files of a few MiB on a disk (not tmpfs), their pages
//     dropped from the cache before each round (posix_fadvise), fingerprinted
//     against reading the same pieces (the first and last 64 KiB) with as
//     many readers: the fingerprints should come at the disk's read rate.

#include "bench/bench_support.h"
#include "catalogue/cataloguer.h"
#include "catalogue/fingerprint.h"
#include "catalogue/mount_table.h"
#include "catalogue/sqlite_catalogue.h"

#include <fcntl.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvane::bench;
using korvane::CatalogueOutcome;
using korvane::CatalogueRunOptions;
using korvane::MountTable;
using korvane::SqliteCatalogue;

constexpr const char* kUsage =
    "Usage: korvane-bench-catalogue [options]\n"
    "Times cataloguing a generated tree without fingerprints against find, and\n"
    "fingerprinting files on a disk against reading the same pieces.\n"
    "\n"
    "  --rounds N        timed rounds after one warm-up round (default 3)\n"
    "  --files N         files of the listing's tree (default 1000000)\n"
    "  --print-files N   files of the fingerprints' part (default 2000)\n"
    "  --print-mib N     MiB of each of them (default 4)\n"
    "  --disk DIR        where the fingerprints' files go (default TMPDIR; on tmpfs\n"
    "                    nothing can be dropped from the cache: the part says so)\n"
    "  --parts LIST      1 (listing), 2 (fingerprints) or 12 (default)\n"
    "  --keep            keep the temporary folders and say where they are\n";

struct Options {
    int rounds = 3;
    std::size_t files = 1000000;
    std::size_t printFiles = 2000;
    std::size_t printMiB = 4;
    std::string disk;
    std::string parts = "12";
    bool keep = false;
};

constexpr double kListingGoal = 1.5;
constexpr std::size_t kFilesPerFolder = 100;

void makeTree(const std::string& root, std::size_t files)
{
    const std::size_t folders = (files + kFilesPerFolder - 1) / kFilesPerFolder;
    std::size_t made = 0;
    for (std::size_t f = 0; f < folders; ++f) {
        const std::string folder = root + "/Event " + std::to_string(f / 100) + "/Card " + std::to_string(f % 100);
        std::filesystem::create_directories(folder);
        for (std::size_t k = 0; k < kFilesPerFolder && made < files; ++k, ++made) {
            const std::string path = folder + "/C" + std::to_string(10000 + k) + ".MP4";
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || ::write(fd, path.data(), 16) != 16)
                throw std::runtime_error("cannot write " + path);
            ::close(fd);
        }
    }
}

CatalogueOutcome catalogue(const std::string& catalogueFile, const std::string& tree, bool fingerprints)
{
    auto store = SqliteCatalogue::open(catalogueFile);
    CatalogueRunOptions options;
    options.fingerprints = fingerprints;
    const CatalogueOutcome outcome = korvane::catalogueFolder(*store, MountTable::read(), tree, options);
    if (!outcome.ok())
        throw std::runtime_error("cataloguing " + tree + " failed" +
                                 (outcome.error ? std::string(": ") + outcome.error->what() : std::string()));
    return outcome;
}

void listing(const Options& options)
{
    const TempFolder folder("korvane-catalogue-bench", options.keep);
    const std::string tree = folder.path() + "/disk";
    const Clock::time_point making = Clock::now();
    makeTree(tree, options.files);
    std::printf("%zu files in %zu folders of %zu in %s; %.1f s to make\n", options.files,
                (options.files + kFilesPerFolder - 1) / kFilesPerFolder, kFilesPerFolder, folder.path().c_str(),
                millisecondsSince(making) / 1e3);
    const std::string fresh = folder.path() + "/fresh.sqlite";
    const std::string warm = folder.path() + "/warm.sqlite";
    catalogue(warm, tree, false);

    Series find{"find -printf '%s %T@ %p\\n'", {}};
    Series first{"catalogue, new", {}};
    Series again{"catalogue, again (nothing changed)", {}};
    const std::vector<std::function<void()>> steps = {
        [&] { find.runs.push_back(runProcess({"find", tree, "-printf", "%s %T@ %p\n"}).time); },
        [&] {
            std::filesystem::remove(fresh);
            first.runs.push_back(timeHere([&] { catalogue(fresh, tree, false); }));
        },
        [&] { again.runs.push_back(timeHere([&] { catalogue(warm, tree, false); })); },
    };
    runRounds(options.rounds, steps, [&] {
        for (Series* s : {&find, &first, &again})
            s->runs.clear();
    });
    printSeries({&find, &first, &again});
    for (const Series* s : {&first, &again}) {
        const std::vector<double> r = ratios(*s, {&find}, false);
        std::printf("  %s / find, wall: %s (goal <= %.1f)%s\n", s->label.c_str(), spread(r).c_str(), kListingGoal,
                    median(r) <= kListingGoal ? "" : "  OVER THE GOAL");
    }
    std::printf("  catalogue file: %.1f MB, %.0f bytes a file (no fingerprints)\n",
                static_cast<double>(std::filesystem::file_size(warm)) / 1e6,
                static_cast<double>(std::filesystem::file_size(warm)) / static_cast<double>(options.files));
}

bool onTmpfs(const std::string& path)
{
    struct statfs fs {};
    return ::statfs(path.c_str(), &fs) == 0 && fs.f_type == 0x01021994;
}

// Drops the files' pages from the page cache, so that the next read comes
// from the disk.
void dropFromCache(const std::vector<std::string>& files)
{
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// Runs `work` on each file, `readers` files at a time.
void eachFile(const std::vector<std::string>& files, int readers, const std::function<void(const std::string&)>& work)
{
    std::atomic<std::size_t> next{0};
    const auto reader = [&] {
        for (std::size_t k = next++; k < files.size(); k = next++)
            work(files[k]);
    };
    std::vector<std::thread> threads;
    for (int k = 1; k < readers; ++k)
        threads.emplace_back(reader);
    reader();
    for (std::thread& t : threads)
        t.join();
}

void readPieces(const std::string& path)
{
    thread_local std::vector<char> buffer(2 * korvane::kFingerprintPiece);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const auto piece = static_cast<off_t>(korvane::kFingerprintPiece);
    if (::pread(fd, buffer.data(), korvane::kFingerprintPiece, 0) != piece ||
        ::pread(fd, buffer.data() + piece, korvane::kFingerprintPiece, size - piece) != piece)
        throw std::runtime_error("cannot read " + path);
    ::close(fd);
}

void fingerprints(const Options& options)
{
    if (!options.disk.empty())
        ::setenv("TMPDIR", options.disk.c_str(), 1);
    const TempFolder folder("korvane-fingerprint-bench", options.keep);
    std::vector<std::string> files;
    std::vector<char> content(options.printMiB << 20);
    Random random(7);
    for (std::size_t k = 0; k < options.printFiles; ++k) {
        for (std::size_t b = 0; b < content.size(); b += 4096)
            content[b] = static_cast<char>(random.next());
        files.push_back(folder.path() + "/clip" + std::to_string(k) + ".mov");
        std::ofstream(files.back(), std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    ::sync();
    const bool tmpfs = onTmpfs(folder.path());
    std::printf("%zu files of %zu MiB in %s%s\n", files.size(), options.printMiB, folder.path().c_str(),
                tmpfs ? " (tmpfs: read from memory, so this compares hashing with copying)" : "");
    constexpr int kReaders = 4; // as cataloguing reads them
    Series read{"read the pieces, 4 readers", {}};
    Series print{"fingerprint, 4 readers", {}};
    const std::vector<std::function<void()>> steps = {
        [&] {
            dropFromCache(files);
            read.runs.push_back(timeHere([&] { eachFile(files, kReaders, readPieces); }));
        },
        [&] {
            dropFromCache(files);
            print.runs.push_back(timeHere([&] {
                eachFile(files, kReaders, [](const std::string& path) {
                    if (!korvane::fingerprintFile(path))
                        throw std::runtime_error("cannot fingerprint " + path);
                });
            }));
        },
    };
    runRounds(options.rounds, steps, [&] {
        read.runs.clear();
        print.runs.clear();
    });
    printSeries({&read, &print});
    const double pieces = static_cast<double>(files.size() * 2 * korvane::kFingerprintPiece);
    std::printf("  read rate of the pieces: %.0f MB/s; fingerprints: %.0f MB/s of pieces\n",
                pieces / median(read.walls()) / 1e3, pieces / median(print.walls()) / 1e3);
    std::printf("  fingerprint / read, wall: %s (1.0: at the read rate)\n", spread(ratios(print, {&read}, false)).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    return guardedMain("korvane-bench-catalogue", [&] {
        Options options;
        readCommandLine(argc, argv,
                        {{"rounds", true, [&](const char* v) { options.rounds = static_cast<int>(parseNumber("--rounds", v)); }},
                         {"files", true, [&](const char* v) { options.files = static_cast<std::size_t>(parseNumber("--files", v)); }},
                         {"print-files", true,
                          [&](const char* v) { options.printFiles = static_cast<std::size_t>(parseNumber("--print-files", v)); }},
                         {"print-mib", true,
                          [&](const char* v) { options.printMiB = static_cast<std::size_t>(parseNumber("--print-mib", v)); }},
                         {"disk", true, [&](const char* v) { options.disk = v; }},
                         {"parts", true, [&](const char* v) { options.parts = v; }},
                         {"keep", false, [&](const char*) { options.keep = true; }}},
                        kUsage);
        std::printf("%s\n", machineLine().c_str());
        if (options.parts.find('1') != std::string::npos) {
            std::printf("\n-- cataloguing without fingerprints against find\n");
            listing(options);
        }
        if (options.parts.find('2') != std::string::npos) {
            std::printf("\n-- fingerprints against reading the same pieces, the cache dropped before each round\n");
            fingerprints(options);
        }
        return 0;
    });
}
