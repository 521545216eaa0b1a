// The speed of the scan itself, with the existence test replaced by a cheap
// rule: over the project in memory, and through the buffered reader on a
// file descriptor (the file in the page cache). Bytes per second are bytes
// of project data.
//
// Own options, before Google Benchmark's:
//   --project_scale=X   size of the generated project (default 1: about 37 MB)
//   --project_file=F    scan the project F instead of a generated one

#include "bench/large_project.h"
#include "report/scan_feedback.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using korvane::ProjectReader;
using korvane::ScanFeedback;
using korvane::ScanResult;

// A sink that does nothing but answer the existence test by a rule that
// costs a load and a mask: about one path in eight is missing.
class RuleFeedback final : public ScanFeedback, public korvane::ExistenceTest {
public:
    void appendReport(std::string_view text) override { reportBytes_ += text.size(); }
    void clearReport() override {}
    void setStatus(std::string_view) override {}
    void resetProgress() override {}
    void stepProgress() override { ++steps_; }

    std::size_t tests() const { return tests_; }
    std::size_t reportBytes() const { return reportBytes_; }
    int steps() const { return steps_; }

    bool exists(std::string_view path) override
    {
        ++tests_;
        return !path.empty() && (static_cast<unsigned char>(path[path.size() / 2]) & 7) != 0;
    }

private:
    std::size_t tests_ = 0;
    std::size_t reportBytes_ = 0;
    int steps_ = 0;
};

// The project every benchmark scans, in memory and in a file.
struct Subject {
    std::vector<std::uint8_t> bytes;
    std::string file;
    std::string folder; // removed at exit when we made it
    std::size_t entries = 0;

    ~Subject()
    {
        if (!folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        }
    }
};

Subject& subject()
{
    static Subject s;
    return s;
}

void prepare(double scale, const std::string& projectFile)
{
    Subject& s = subject();
    if (!projectFile.empty()) {
        std::ifstream in(projectFile, std::ios::binary);
        s.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof())
            throw std::runtime_error("cannot read " + projectFile);
        s.file = projectFile;
        benchmark::AddCustomContext("project", projectFile + ", " + std::to_string(s.bytes.size()) + " bytes");
        return;
    }
    korvane::bench::LargeProjectOptions options;
    options.scale = scale;
    korvane::bench::LargeProject project = korvane::bench::makeLargeProject(options);
    if (const std::string error = korvane::bench::verifyLargeProject(project); !error.empty())
        throw std::runtime_error("the generated project does not scan as built: " + error);
    std::string folder = (std::filesystem::temp_directory_path() / "korvane-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        throw std::runtime_error("cannot create a temporary folder");
    s.folder = folder;
    s.file = folder + "/large.dvc";
    korvane::testkit::writeFile(s.file, project.bytes);
    s.entries = project.clipEntries + project.binEntries;
    benchmark::AddCustomContext("project", korvane::bench::describeLargeProject(project));
    s.bytes = std::move(project.bytes);
}

void reportThroughput(benchmark::State& state, std::size_t tests)
{
    const Subject& s = subject();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(s.bytes.size()));
    // bytes_per_second counts in powers of 1024; the goal is in decimal megabytes.
    state.counters["decimal_B/s"] = benchmark::Counter(static_cast<double>(s.bytes.size()),
                                                       benchmark::Counter::kIsIterationInvariantRate,
                                                       benchmark::Counter::OneK::kIs1000);
    if (s.entries > 0)
        state.counters["entries/s"] = benchmark::Counter(static_cast<double>(s.entries),
                                                         benchmark::Counter::kIsIterationInvariantRate);
    state.counters["tests"] = static_cast<double>(tests);
}

void scanInMemory(benchmark::State& state)
{
    const Subject& s = subject();
    std::size_t tests = 0;
    for (auto _ : state) {
        RuleFeedback feedback;
        // The reader's buffer is large; keep it off the stack.
        const auto reader = std::make_unique<ProjectReader>(std::span<const std::uint8_t>(s.bytes));
        ScanResult result = korvane::scanProject(*reader, feedback, feedback);
        benchmark::DoNotOptimize(result);
        if (feedback.steps() != 200) {
            state.SkipWithError("the scan did not make its 200 progress steps");
            break;
        }
        tests = feedback.tests();
    }
    reportThroughput(state, tests);
}

void scanFromFile(benchmark::State& state)
{
    const Subject& s = subject();
    std::size_t tests = 0;
    for (auto _ : state) {
        RuleFeedback feedback;
        // Opens (read-only, locked), reads through the 64 KB buffer, closes.
        korvane::ScanOptions options;
        options.exists = &feedback;
        ScanResult result = korvane::runScan(s.file, feedback, options);
        if (!result) {
            state.SkipWithError(("cannot open " + s.file + ": " + result.openError).c_str());
            break;
        }
        benchmark::DoNotOptimize(result);
        tests = feedback.tests();
    }
    reportThroughput(state, tests);
}

// What reading the file alone costs through the same system calls and
// buffer size: the floor under scanFromFile.
void readFileOnly(benchmark::State& state)
{
    const Subject& s = subject();
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (auto _ : state) {
        const int fd = ::open(s.file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            state.SkipWithError("cannot open the project");
            break;
        }
        std::size_t total = 0;
        for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
            total += static_cast<std::size_t>(got);
        ::close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(s.bytes.size()));
    state.counters["decimal_B/s"] = benchmark::Counter(static_cast<double>(s.bytes.size()),
                                                       benchmark::Counter::kIsIterationInvariantRate,
                                                       benchmark::Counter::OneK::kIs1000);
}

BENCHMARK(scanInMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(scanFromFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(readFileOnly)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv)
{
    double scale = 1.0;
    std::string projectFile;
    std::vector<char*> rest;
    for (int k = 0; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg.starts_with("--project_scale="))
            scale = std::strtod(argv[k] + arg.find('=') + 1, nullptr);
        else if (arg.starts_with("--project_file="))
            projectFile = std::string(arg.substr(arg.find('=') + 1));
        else
            rest.push_back(argv[k]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data()))
        return 1;
    try {
        prepare(scale, projectFile);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvane_scan_bench: %s\n", e.what());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
