// The price of looking for mapped Windows paths: 100,000 stored names over
// 1,000 folders, resolved by a fresh PathResolver (a new run: no folder read
// yet), against 100,000 plain stat calls on the files they name. The goal is
// at most twice the time of the stat calls.
//
// Two trees of empty files are made once in a temporary folder:
//   media/folder0000/clip00.avi ...       stored as D:\Media\Folder0000\CLIP00.AVI
//                                         (every name in another case) or
//                                         D:\media\folder0000\clip00.avi (exact)
//   表/フォルダ0000/クリップ00.avi ...     stored in CP932 as
//                                         D:\表\フォルダ0000\クリップ00.AVI
// Names are taken folder after folder in turn (name k is in folder k % 1000),
// the same order for the stat calls. At the end the ratios of resolving to
// stat are printed, repetition by repetition (run with
// --benchmark_repetitions=N --benchmark_enable_random_interleaving=true so
// that the two are timed close together on a busy machine).

#include "paths/drive_map.h"
#include "paths/path_resolver.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 1000;
constexpr int kFilesPerFolder = 100;
constexpr int kNames = kFolders * kFilesPerFolder;

std::string number(int value, int width)
{
    std::string digits = std::to_string(value);
    return std::string(static_cast<std::size_t>(width) - digits.size(), '0') + digits;
}

struct Tree {
    std::vector<std::string> local;  // the files on disk
    std::vector<std::string> stored; // how the project names them
};

// The temporary folder and its trees, made on first use, removed at exit.
class Fixture {
public:
    static Fixture& get()
    {
        static Fixture fixture;
        return fixture;
    }

    const std::string& root() const { return root_; }
    Tree otherCase, exactCase, cp932;

    ~Fixture()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

private:
    Fixture()
    {
        std::string pattern = (fs::temp_directory_path() / "korvane-bench-paths-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        root_ = pattern;
        // 表 and フォルダ / クリップ, in UTF-8 on disk and in CP932 in the project.
        const std::string hyouUtf8 = "\xE8\xA1\xA8", folderUtf8 = "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80",
                          clipUtf8 = "\xE3\x82\xAF\xE3\x83\xAA\xE3\x83\x83\xE3\x83\x97";
        const std::string hyou932 = "\x95\x5C", folder932 = "\x83\x74\x83\x48\x83\x8B\x83\x5F",
                          clip932 = "\x83\x4E\x83\x8A\x83\x62\x83\x76";
        for (int k = 0; k < kNames; ++k) {
            const std::string folder = number(k % kFolders, 4);
            const std::string file = number(k / kFolders, 2);
            const std::string ascii = root_ + "/media/folder" + folder + "/clip" + file + ".avi";
            otherCase.local.push_back(ascii);
            otherCase.stored.push_back("D:\\Media\\Folder" + folder + "\\CLIP" + file + ".AVI");
            exactCase.local.push_back(ascii);
            exactCase.stored.push_back("D:\\media\\folder" + folder + "\\clip" + file + ".avi");
            cp932.local.push_back(root_ + "/" + hyouUtf8 + "/" + folderUtf8 + folder + "/" + clipUtf8 + file + ".avi");
            cp932.stored.push_back("D:\\" + hyou932 + "\\" + folder932 + folder + "\\" + clip932 + file + ".AVI");
        }
        for (const Tree* tree : {&otherCase, &cp932}) {
            for (const std::string& path : tree->local) {
                fs::create_directories(fs::path(path).parent_path());
                const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
                if (fd < 0) {
                    std::perror(path.c_str());
                    std::exit(1);
                }
                ::close(fd);
            }
        }
    }

    std::string root_;
};

void BM_StatExact(benchmark::State& state, Tree Fixture::*tree)
{
    const std::vector<std::string>& paths = (Fixture::get().*tree).local;
    for (auto _ : state) {
        int found = 0;
        for (const std::string& path : paths) {
            struct stat st;
            found += ::stat(path.c_str(), &st) == 0 ? 1 : 0;
        }
        if (found != kNames)
            state.SkipWithError("files missing");
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}

// One run per iteration: a new resolver, then every name once.
void BM_ResolveMapped(benchmark::State& state, Tree Fixture::*tree)
{
    const Fixture& fixture = Fixture::get();
    const std::vector<std::string>& names = (fixture.*tree).stored;
    for (auto _ : state) {
        korvane::DriveMap drives;
        drives.add({"D:", fixture.root(), korvane::MappingSource::Explicit});
        korvane::PathResolver resolver(std::move(drives), *korvane::TextDecoder::open(korvane::kAutoCodePage));
        int found = 0;
        for (const std::string& name : names)
            found += resolver.exists(name) ? 1 : 0;
        if (found != kNames)
            state.SkipWithError("names not resolved");
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}

BENCHMARK_CAPTURE(BM_StatExact, ascii, &Fixture::otherCase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ResolveMapped, other_case, &Fixture::otherCase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ResolveMapped, exact_case, &Fixture::exactCase)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_StatExact, cp932, &Fixture::cp932)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ResolveMapped, cp932_other_case, &Fixture::cp932)->Unit(benchmark::kMillisecond);

// The console's report, and each repetition's CPU time kept for the ratios.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    // No colours: the report mostly goes to a file or a pipe.
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        std::vector<Run> aggregates;
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                cpu_[run.benchmark_name()].push_back(run.GetAdjustedCPUTime());
            else if (run.run_type == Run::RT_Aggregate)
                aggregates.push_back(run);
        }
        // With repetitions, their mean, median and deviation stand for them.
        ConsoleReporter::ReportRuns(aggregates.empty() ? runs : aggregates);
    }

    // Resolving over stat, by CPU time (user + system), repetition k against
    // repetition k: median (lowest to highest).
    void printRatio(const std::string& resolve, const std::string& stat) const
    {
        const auto r = cpu_.find(resolve), s = cpu_.find(stat);
        if (r == cpu_.end() || s == cpu_.end())
            return;
        std::vector<double> ratios;
        for (std::size_t k = 0; k < std::min(r->second.size(), s->second.size()); ++k)
            ratios.push_back(r->second[k] / s->second[k]);
        std::sort(ratios.begin(), ratios.end());
        const std::size_t n = ratios.size();
        const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
        std::printf("  ratio %s / %s: CPU %.2f (%.2f to %.2f)\n", resolve.c_str(), stat.c_str(), median,
                    ratios.front(), ratios.back());
    }

private:
    std::map<std::string, std::vector<double>> cpu_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n(goal: at most 2)\n");
    reporter.printRatio("BM_ResolveMapped/other_case", "BM_StatExact/ascii");
    reporter.printRatio("BM_ResolveMapped/exact_case", "BM_StatExact/ascii");
    reporter.printRatio("BM_ResolveMapped/cp932_other_case", "BM_StatExact/cp932");
    benchmark::Shutdown();
    return 0;
}
