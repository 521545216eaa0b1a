// korvane-scan on projects that are far too large for the run: interrupted
// by a signal, cut off by a reader that goes away, and the memory it takes
// for a file that claims two thousand million entries.

#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <chrono>
#include <pty.h>
#include <regex>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace korvane {
namespace {

using testkit::TempDir;

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer) || __has_feature(thread_sanitizer)
#define KORVANE_TEST_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KORVANE_TEST_SANITIZED 1
#endif

// A sparse project of `size` bytes: layout version 0, a bin that claims
// 2^31 - 1 entries, and nothing but zero bytes behind the header. Every bin
// entry is then 18 bytes whose empty name is missing: one report line each,
// many millions of them, costing no disk space.
std::string hugeBinProject(const TempDir& dir, off_t size)
{
    const std::string path = dir / "huge.dvc";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    const unsigned char header[16] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(::write(fd, header, sizeof header), static_cast<ssize_t>(sizeof header));
    EXPECT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
    return path;
}

// korvane-scan running with pipes on stdout (unless `quiet`: /dev/null) and
// stderr (with `terminal`: a pseudo-terminal), and the signals it may catch
// at their defaults.
class Child {
public:
    Child(const std::vector<std::string>& args, bool quiet = false, bool terminal = false)
    {
        int outPipe[2], errPipe[2];
        winsize wide = {};
        wide.ws_row = 24;
        wide.ws_col = 200;
        if (::pipe(outPipe) != 0 ||
            (terminal ? ::openpty(&errPipe[0], &errPipe[1], nullptr, nullptr, &wide) : ::pipe(errPipe)) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet)
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        else
            posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        for (const int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]})
            posix_spawn_file_actions_addclose(&actions, fd);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (const int signal : {SIGINT, SIGTERM, SIGPIPE})
            sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        std::vector<std::string> all = {KORVANE_SCAN_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        out_ = outPipe[0];
        err_ = errPipe[0];
        if (quiet) {
            ::close(out_);
            out_ = -1;
        }
    }
    ~Child()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        closeOut();
        if (err_ >= 0)
            ::close(err_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return pid_ > 0; }

    // Reads stdout until it holds `text` (or ends); false when it never did.
    bool readUntil(std::string_view text)
    {
        char buffer[4096];
        while (out.find(text) == std::string::npos) {
            const ssize_t got = ::read(out_, buffer, sizeof buffer);
            if (got <= 0)
                return false;
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }
    void signal(int number) { ::kill(pid_, number); }
    // Waits (up to 30 s) until the program catches `number`: its handler is
    // in place, so the signal cannot end it before it can say so.
    bool catches(int number) const
    {
        const std::string status = "/proc/" + std::to_string(pid_) + "/status";
        for (int tries = 0; tries < 3000; ++tries) {
            std::ifstream in(status);
            std::string line;
            while (std::getline(in, line))
                if (line.starts_with("SigCgt:") &&
                    (std::stoull(line.substr(7), nullptr, 16) >> (number - 1) & 1) != 0)
                    return true;
            ::usleep(10'000);
        }
        return false;
    }
    // The reader of stdout goes away.
    void closeOut()
    {
        if (out_ >= 0)
            ::close(out_);
        out_ = -1;
    }

    // Reads what is left of both pipes, then waits for the end; a child
    // still running after `seconds` is killed, and then `timedOut`.
    void finish(int seconds = 60)
    {
        int fds[2] = {out_, err_};
        std::string* sinks[2] = {&out, &err};
        timedOut = !testkit::readToEnd(fds, sinks, std::chrono::steady_clock::now() + std::chrono::seconds(seconds));
        if (timedOut)
            ::kill(pid_, SIGKILL);
        int status = 0;
        rusage usage{};
        ::wait4(pid_, &status, 0, &usage);
        pid_ = -1;
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        killedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        peakKilobytes = usage.ru_maxrss;
    }

    std::string out, err;
    bool timedOut = false;
    int exitCode = -1;
    int killedBy = 0;
    long peakKilobytes = 0;

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// Four gigabytes of empty bin entries take seconds to scan: the signal
// comes while the report is being written.
TEST(ScannerStop, SigintAndSigtermEndTheReportAtALineEndAndSaySo)
{
    TempDir dir;
    const std::string project = hugeBinProject(dir, off_t{4} << 30);
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"--json"}, {"--explain"}}) {
            Child child([&] {
                std::vector<std::string> args = options;
                args.push_back(project);
                return args;
            }(), !options.empty());
            ASSERT_TRUE(child.started());
            if (options.empty())
                ASSERT_TRUE(child.readUntil("[BinWindow]\r\n\r\n"));
            else
                ASSERT_TRUE(child.catches(signal)); // nothing on stdout until the scan ends
            child.signal(signal);
            child.finish();
            std::string what = "signal " + std::to_string(signal);
            what.append(" ").append(testing::PrintToString(options));
            ASSERT_FALSE(child.timedOut) << what;
            EXPECT_EQ(child.killedBy, 0) << what;
            EXPECT_EQ(child.exitCode, status) << what << "\n" << child.err;
            EXPECT_EQ(child.err, "korvane-scan: interrupted\n") << what;
            if (options.empty()) {
                EXPECT_TRUE(child.out.starts_with("[MainAV]\r\n")) << what;
                EXPECT_TRUE(child.out.ends_with("\r\n")) << what;
                EXPECT_EQ(child.out.find_first_not_of("\r\n", child.out.find("[BinWindow]\r\n") + 13),
                          std::string::npos)
                    << what << ": every line after the heading is an empty name";
            }
        }
    }
}

TEST(ScannerStop, AReaderThatGoesAwayEndsTheScanWithStatus4)
{
    TempDir dir;
    Child child({hugeBinProject(dir, off_t{4} << 30)});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.readUntil("\r\n"));
    child.closeOut();
    child.finish();
    ASSERT_FALSE(child.timedOut);
    EXPECT_EQ(child.killedBy, 0) << "not ended by SIGPIPE";
    EXPECT_EQ(child.exitCode, 4);
    EXPECT_EQ(child.err, "korvane-scan: cannot write the report: Broken pipe\n");
}

// 200 MB whose bin claims 2^31 - 1 entries: eleven million references to
// one missing path. What every output keeps grows with the distinct paths.
TEST(ScannerStop, MemoryDoesNotGrowWithTheReferences)
{
#ifdef KORVANE_TEST_SANITIZED
    GTEST_SKIP() << "the sanitizers' own memory would be measured";
#endif
    TempDir dir;
    const std::string project = hugeBinProject(dir, off_t{200} << 20);
    const std::string folder = dir / "search";
    ::mkdir(folder.c_str(), 0755);
    constexpr long kBoundKilobytes = 64 * 1024;
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--json"}, {"--explain"}, {"--search", folder}, {}}) {
        std::vector<std::string> args = options;
        args.push_back(project);
        Child child(args, true);
        ASSERT_TRUE(child.started());
        child.finish();
        const std::string what = testing::PrintToString(options);
        ASSERT_FALSE(child.timedOut) << what;
        EXPECT_EQ(child.exitCode, 3) << what << "\n" << child.err; // the file ends before its bin does
        EXPECT_GT(child.peakKilobytes, 0) << what;
        EXPECT_LT(child.peakKilobytes, kBoundKilobytes) << what;
    }
}

// Four gigabytes of empty bin entries with stderr on a terminal: the status
// line names the entry, and is drawn at most every 50 ms (besides the
// drawings the bar forces when a run begins and when it is full).
TEST(ScannerStop, OnATerminalTheStatusLineIsDrawnAtMostEvery50ms)
{
    TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    Child child({hugeBinProject(dir, off_t{4} << 30)}, true, true);
    ASSERT_TRUE(child.started());
    ::usleep(1'000'000);
    child.signal(SIGINT);
    child.finish();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    ASSERT_FALSE(child.timedOut);
    EXPECT_EQ(child.exitCode, 130);
    const std::regex drawn("\\r\x1b\\[K\\[#*-*\\] +[0-9]+/200  (\\[BinWindow\\] [0-9]+ / 2147483647)?");
    const auto first = std::sregex_iterator(child.err.begin(), child.err.end(), drawn);
    long draws = 0, named = 0;
    for (auto it = first; it != std::sregex_iterator(); ++it) {
        ++draws;
        named += (*it)[1].matched;
    }
    EXPECT_GT(named, 0) << "the status line names the entry:\n" << testing::PrintToString(child.err);
    EXPECT_LE(draws, elapsed / 50 + 3) << elapsed << " ms";
    EXPECT_TRUE(child.err.ends_with("\r\x1b[Kkorvane-scan: interrupted\r\n")) << testing::PrintToString(child.err);
}

// Several projects, the first one far too large: a signal stops them all,
// stdout ends with the first one's last whole line (no later part, no
// summary); a reader that goes away ends the run with status 4.
TEST(ScannerStop, SeveralProjectsStopTogether)
{
    TempDir dir;
    const std::string huge = hugeBinProject(dir, off_t{4} << 30);
    const std::string small = dir / "small.dvc";
    // As slow: later ones are still running when the signal comes.
    ASSERT_EQ(::symlink(huge.c_str(), small.c_str()), 0);
    const std::string heading = "==> " + huge + " <==\r\n";
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        Child child({huge, small, huge});
        ASSERT_TRUE(child.started());
        ASSERT_TRUE(child.readUntil("[BinWindow]\r\n\r\n"));
        child.signal(signal);
        child.finish();
        ASSERT_FALSE(child.timedOut);
        EXPECT_EQ(child.exitCode, status) << child.err;
        EXPECT_EQ(child.err, "korvane-scan: interrupted\n");
        EXPECT_TRUE(child.out.starts_with(heading + "[MainAV]\r\n"));
        EXPECT_TRUE(child.out.ends_with("\r\n"));
        EXPECT_EQ(child.out.find("==>", heading.size()), std::string::npos) << "nothing of a later project";
        EXPECT_EQ(child.out.find_first_not_of("\r\n", child.out.find("[BinWindow]\r\n") + 13), std::string::npos);
    }
    Child reader({huge, small});
    ASSERT_TRUE(reader.started());
    ASSERT_TRUE(reader.readUntil("[BinWindow]\r\n"));
    reader.closeOut();
    reader.finish();
    ASSERT_FALSE(reader.timedOut);
    EXPECT_EQ(reader.killedBy, 0);
    EXPECT_EQ(reader.exitCode, 4);
    EXPECT_EQ(reader.err, "korvane-scan: cannot write the report: Broken pipe\n");
}

// On a terminal the line says how many projects are done, then the bar of
// the one being written.
TEST(ScannerStop, OnATerminalSeveralProjectsShowHowManyAreDone)
{
    TempDir dir;
    const std::string huge = hugeBinProject(dir, off_t{4} << 30);
    Child child({huge, huge}, true, true);
    ASSERT_TRUE(child.started());
    ::usleep(500'000);
    child.signal(SIGINT);
    child.finish();
    ASSERT_FALSE(child.timedOut);
    EXPECT_EQ(child.exitCode, 130);
    const std::regex drawn("\\r\x1b\\[K0/2 projects  \\[#*-*\\] +[0-9]+/200  ");
    EXPECT_TRUE(std::regex_search(child.err, drawn)) << testing::PrintToString(child.err.substr(0, 400));
    EXPECT_TRUE(child.err.ends_with("\r\x1b[Kkorvane-scan: interrupted\r\n")) << testing::PrintToString(child.err);
}

} // namespace
} // namespace korvane
