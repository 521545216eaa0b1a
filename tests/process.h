#pragma once

// Runs a program with pipes for its output, no shell, with a time limit.

#include <chrono>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace korvane::testkit {

struct ProcessResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
    bool timedOut = false;
};

// Reads `fds` (pipes, or the controlling side of a terminal) into `sinks`
// until each has ended (-1: ended already), without closing them. False
// when `deadline` passed first. A terminal whose other side was closed
// reads as its end.
inline bool readToEnd(int (&fds)[2], std::string* (&sinks)[2], std::chrono::steady_clock::time_point deadline)
{
    pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    for (int open = (fds[0] >= 0) + (fds[1] >= 0); open > 0;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (::poll(polled, 2, static_cast<int>(left.count())) < 0)
            continue;
        for (int k = 0; k < 2; ++k) {
            if (polled[k].fd < 0 || !(polled[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[65536];
            const ssize_t got = ::read(polled[k].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[k]->append(buffer, static_cast<std::size_t>(got));
            } else {
                polled[k].fd = -1;
                --open;
            }
        }
    }
    return true;
}

inline ProcessResult runProcess(const std::vector<std::string>& args,
                                std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    ProcessResult result;
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", 0, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int fds[2] = {outPipe[0], errPipe[0]};
    std::string* sinks[2] = {&result.out, &result.err};
    if (!readToEnd(fds, sinks, deadline)) {
        result.timedOut = true;
        ::kill(pid, SIGKILL);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    int wstatus = 0;
    ::waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    return result;
}

} // namespace korvane::testkit
