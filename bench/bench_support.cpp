#include "bench/bench_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <getopt.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace korvane::bench {

namespace {

double milliseconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

} // namespace

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double processCpuMilliseconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

ProcessRun runProcess(const std::vector<std::string>& args, const std::string& output, const std::string& errors)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!errors.empty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    ProcessRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(spawned));
    int status = 0;
    rusage usage{};
    // The usage wait4 gives counts the children the child waited for, too.
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("cannot wait for " + args[0]);
    }
    run.time.wall = millisecondsSince(start);
    run.time.cpu = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
    run.maxResidentKiB = usage.ru_maxrss;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

std::vector<double> Series::walls() const
{
    std::vector<double> v;
    for (const Timing& t : runs)
        v.push_back(t.wall);
    return v;
}

std::vector<double> Series::cpus() const
{
    std::vector<double> v;
    for (const Timing& t : runs)
        v.push_back(t.cpu);
    return v;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

std::vector<double> ratios(const Series& part, const std::vector<const Series*>& whole, bool byCpu)
{
    std::vector<double> r;
    for (std::size_t k = 0; k < part.runs.size(); ++k) {
        double sum = 0;
        for (const Series* s : whole)
            sum += byCpu ? s->runs.at(k).cpu : s->runs.at(k).wall;
        r.push_back((byCpu ? part.runs[k].cpu : part.runs[k].wall) / sum);
    }
    return r;
}

std::string spread(const std::vector<double>& values, const char* format)
{
    const auto number = [format](double v) {
        char text[32];
        std::snprintf(text, sizeof text, format, v);
        return std::string(text);
    };
    return number(median(values)) + " (" + number(minimum(values)) + " to " + number(maximum(values)) + ")";
}

void runRounds(int rounds, const std::vector<std::function<void()>>& steps, const std::function<void()>& dropWarmUp)
{
    for (int round = 0; round <= rounds; ++round) {
        for (std::size_t k = 0; k < steps.size(); ++k)
            steps[(k + static_cast<std::size_t>(round)) % steps.size()]();
        if (round == 0)
            dropWarmUp();
    }
}

void printSeries(const std::vector<const Series*>& series)
{
    std::printf("  %-46s %20s %20s\n", "milliseconds, median (fastest)", "wall", "user + sys CPU");
    for (const Series* s : series) {
        const std::vector<double> wall = s->walls(), cpu = s->cpus();
        std::printf("  %-46s %9.1f (%8.1f) %9.1f (%8.1f)\n", s->label.c_str(), median(wall), minimum(wall),
                    median(cpu), minimum(cpu));
    }
}

std::string machineLine()
{
    std::string model = "unknown processor";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.starts_with("model name")) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    std::string load;
    std::ifstream loadavg("/proc/loadavg");
    for (int k = 0; k < 3 && loadavg; ++k) {
        std::string figure;
        loadavg >> figure;
        load += (k ? " " : "") + figure;
    }
    return std::to_string(std::thread::hardware_concurrency()) + " cores, " + model + ", load average " + load;
}

TempFolder::TempFolder(const char* prefix, bool keep) : keep_(keep)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder in " +
                                 std::filesystem::temp_directory_path().string());
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    if (!keep_)
        std::filesystem::remove_all(path_, ignored);
}

double parseNumber(std::string_view option, const char* text)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0')
        throw std::invalid_argument(std::string(option) + " takes a number, not '" + text + "'");
    return v;
}

double parseCount(std::string_view option, const char* text)
{
    const double n = parseNumber(option, text);
    if (n < 1)
        throw std::invalid_argument(std::string(option) + " takes a number above 0");
    return n;
}

std::vector<std::string> readCommandLine(int argc, char** argv, const std::vector<CommandOption>& options,
                                         const char* usage)
{
    std::vector<option> table;
    for (const CommandOption& o : options)
        table.push_back({o.name, o.takesValue ? required_argument : no_argument, nullptr, 0});
    const int help = static_cast<int>(options.size());
    table.push_back({"help", no_argument, nullptr, 0});
    table.push_back({nullptr, 0, nullptr, 0});

    opterr = 0; // the messages are ours
    optind = 1;
    int index = -1;
    for (int c; (c = ::getopt_long(argc, argv, ":", table.data(), &index)) != -1; index = -1) {
        const std::string given = optind > 0 && optind <= argc ? argv[optind - 1] : "";
        if (c == ':')
            throw std::invalid_argument(given + " needs a value");
        if (c == '?' || index < 0)
            throw std::invalid_argument("unknown option '" + given + "'");
        if (index == help) {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        options[static_cast<std::size_t>(index)].apply(optarg);
    }
    return {argv + optind, argv + argc};
}

int guardedMain(const char* name, const std::function<int()>& body)
{
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
}

} // namespace korvane::bench
