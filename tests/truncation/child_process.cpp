#include "tests/truncation/child_process.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvane::testkit {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// A pipe whose ends are closed on exec; the child gets its own copy of the
// write end through dup2, which clears that flag.
bool makePipe(Fd& readEnd, Fd& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
}

int millisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads both pipes until both are closed or the deadline passes.
bool drain(Fd& out, Fd& err, std::string& outText, std::string& errText, Clock::time_point deadline)
{
    char buffer[16384];
    while (out.get() >= 0 || err.get() >= 0) {
        pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        for (int k = 0; k < 2; ++k) {
            if (fds[k].fd < 0 || fds[k].revents == 0)
                continue;
            Fd& fd = k == 0 ? out : err;
            const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
            if (got > 0)
                (k == 0 ? outText : errText).append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                fd.reset();
        }
    }
    return true;
}

// Waits for the child until the deadline; false when it is still running.
bool reap(pid_t pid, int& status, Clock::time_point deadline)
{
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return true;
        if (done < 0 && errno != EINTR)
            return true;
        if (Clock::now() >= deadline)
            return false;
        ::usleep(1000);
    }
}

} // namespace

ChildRun runChild(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                  std::chrono::milliseconds timeout)
{
    ChildRun run;
    Fd outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite)) {
        run.startError = std::strerror(errno);
        return run;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const auto deadline = Clock::now() + timeout;
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.startError = std::strerror(spawned);
        return run;
    }
    run.started = true;
    outWrite.reset();
    errWrite.reset();

    int status = 0;
    if (!drain(outRead, errRead, run.out, run.err, deadline) || !reap(pid, status, deadline)) {
        run.timedOut = true;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return run;
    }
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        run.signal = WTERMSIG(status);
    return run;
}

} // namespace korvane::testkit
