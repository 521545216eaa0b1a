#pragma once

// What the round-based benchmarks share: timing work in this process and
// whole processes, series of timings taken round by round, and a temporary
// folder that goes away at the end.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::bench {

// splitmix64: small, fast and the same on every platform, unlike the
// standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    int between(int lo, int hi) { return lo + static_cast<int>(below(static_cast<std::size_t>(hi - lo + 1))); }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& items)
    {
        return items[below(N)];
    }

private:
    std::uint64_t state_;
};

using Clock = std::chrono::steady_clock;

// Wall time and CPU time (user + system) of one step, in milliseconds. On a
// machine that others use too, the CPU time is the steadier of the two.
struct Timing {
    double wall = 0;
    double cpu = 0;
};

double millisecondsSince(Clock::time_point start);
// CPU time of the whole process so far (all its threads), in milliseconds.
double processCpuMilliseconds();

// Times work done in this process.
template <class Work>
Timing timeHere(Work&& work)
{
    const double cpu = processCpuMilliseconds();
    const Clock::time_point start = Clock::now();
    work();
    return {millisecondsSince(start), processCpuMilliseconds() - cpu};
}

struct ProcessRun {
    Timing time; // spawn to reaped; the CPU time of the child and its children
    int exitStatus = -1;
    // The largest resident set of the child or of one of its children, in KiB.
    long maxResidentKiB = 0;
};

// Runs args (found on PATH) with stdout sent to the file `output`, stderr
// to the file `errors` (inherited when empty), and waits for it.
ProcessRun runProcess(const std::vector<std::string>& args, const std::string& output = "/dev/null",
                      const std::string& errors = {});

// One figure per round.
struct Series {
    std::string label;
    std::vector<Timing> runs;
    std::vector<double> walls() const;
    std::vector<double> cpus() const;
};

double median(std::vector<double> values);
double minimum(const std::vector<double>& values);
double maximum(const std::vector<double>& values);

// Round k's figure of `part` over the sum of round k's figures of `whole`.
std::vector<double> ratios(const Series& part, const std::vector<const Series*>& whole, bool byCpu);
// "1.23 (1.10 to 1.41)": the median and the range.
std::string spread(const std::vector<double>& values, const char* format = "%.2f");

// Runs every step once a round, in an order that turns from round to round
// so that no step always follows the same one. Round 0 warms the caches:
// its figures are dropped by `dropWarmUp`, called after it.
void runRounds(int rounds, const std::vector<std::function<void()>>& steps, const std::function<void()>& dropWarmUp);

// Prints the series as a table: median (fastest) of wall and CPU time.
void printSeries(const std::vector<const Series*>& series);

// The number given to a command-line option; throws std::invalid_argument
// with a message that names the option when `text` is not one.
double parseNumber(std::string_view option, const char* text);
// The same for a count: 1 or more.
double parseCount(std::string_view option, const char* text);

// A long option of a benchmark program: `apply` gets its value, or null
// for an option that takes none.
struct CommandOption {
    const char* name;
    bool takesValue;
    std::function<void(const char* value)> apply;
};

// Reads the command line with getopt_long: the options given, and --help,
// which prints `usage` on stdout and ends the program. Returns the other
// arguments; throws std::invalid_argument for an unknown option or one
// without its value.
std::vector<std::string> readCommandLine(int argc, char** argv, const std::vector<CommandOption>& options,
                                         const char* usage);

// The frame of a benchmark's main(): what `body` returns, or 1 after
// "NAME: WHAT" on stderr when it throws.
int guardedMain(const char* name, const std::function<int()>& body);

// "2 cores, AMD EPYC ..., load average 1.2 0.9 0.7"
std::string machineLine();

// A new folder below $TMPDIR (else /tmp), removed with everything in it at
// the end unless kept.
class TempFolder {
public:
    explicit TempFolder(const char* prefix, bool keep = false);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool keep_;
};

} // namespace korvane::bench
