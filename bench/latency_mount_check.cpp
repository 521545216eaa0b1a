#include "bench/latency_mount_check.h"

#include "bench/bench_support.h"

#include <atomic>
#include <barrier>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace korvane::bench {

namespace {

constexpr unsigned kOverlapThreads = 32;

double perCall(int calls, const std::function<void()>& call)
{
    const Clock::time_point start = Clock::now();
    for (int k = 0; k < calls; ++k)
        call();
    return millisecondsSince(start) / calls;
}

} // namespace

void createFile(const std::string& path)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    ::close(fd);
}

std::size_t statEach(const std::vector<std::string>& paths)
{
    std::size_t found = 0;
    struct stat st;
    for (const std::string& path : paths)
        found += ::stat(path.c_str(), &st) == 0 ? 1u : 0u;
    return found;
}

// The mount must cost the delay per request, and requests made at once must
// overlap: otherwise no figure below means what it says.
void checkLatencyMount(const std::string& mount, const std::string& source, double delayMs)
{
    std::vector<std::string> files;
    for (unsigned k = 0; k < kOverlapThreads; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/check/f%02u", k);
        createFile(source + name);
        files.push_back(mount + name);
    }
    struct stat st;
    const std::string root = mount;
    const std::string missing = mount + "/check/nothing";
    const double rootStat = perCall(50, [&] { ::stat(root.c_str(), &st); });
    const double fileStat = perCall(50, [&] { ::stat(files[0].c_str(), &st); });
    const double missingStat = perCall(50, [&] { ::stat(missing.c_str(), &st); });
    std::printf("one after another: stat of the mount's root %.2f ms (a getattr), of a file one folder down %.2f ms\n"
                "  (lookup, lookup, getattr), of a missing name there %.2f ms (lookup, lookup); the delay is %.3g ms\n",
                rootStat, fileStat, missingStat, delayMs);
    if (rootStat < 0.8 * delayMs)
        throw std::runtime_error(mount + " answers a stat in " + std::to_string(rootStat) + " ms, under the " +
                                 std::to_string(delayMs) + " ms delay: is korvane-latency-fs mounted there?");

    // kOverlapThreads threads stat a file each in the same folder at once,
    // released together by a barrier, ten times over.
    constexpr int kBursts = 10;
    std::barrier start(kOverlapThreads + 1);
    std::barrier done(kOverlapThreads + 1);
    std::atomic<unsigned> found{0};
    std::vector<std::jthread> threads;
    for (unsigned t = 0; t < kOverlapThreads; ++t) {
        threads.emplace_back([&, t] {
            struct stat own;
            for (int b = 0; b < kBursts; ++b) {
                start.arrive_and_wait();
                found += ::stat(files[t].c_str(), &own) == 0 ? 1u : 0u;
                done.arrive_and_wait();
            }
        });
    }
    std::vector<double> bursts;
    for (int b = 0; b < kBursts; ++b) {
        const Clock::time_point begun = Clock::now();
        start.arrive_and_wait();
        done.arrive_and_wait();
        bursts.push_back(millisecondsSince(begun));
    }
    threads.clear();
    if (found != kOverlapThreads * kBursts)
        throw std::runtime_error("the threads' stats found " + std::to_string(found.load()) + " of " +
                                 std::to_string(kOverlapThreads * kBursts) + " files");
    const double burst = median(bursts);
    const double overlap = kOverlapThreads * fileStat / burst;
    std::printf("at once: %u threads each stat a file of one folder: %s ms a burst (median, range), against\n"
                "  %.1f ms for the %u one after another: %.1f of them overlap\n",
                kOverlapThreads, spread(bursts, "%.1f").c_str(), kOverlapThreads * fileStat, kOverlapThreads,
                overlap);
    // A mount that cannot overlap as many requests as the least speed-up
    // that counts would make every figure below a measure of itself.
    if (overlap < kLeastSpeedUp)
        throw std::runtime_error(mount + " overlaps only " + std::to_string(overlap) + " of " +
                                 std::to_string(kOverlapThreads) + " requests made at once");
}

} // namespace korvane::bench
