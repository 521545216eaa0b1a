#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace korvane::testkit {

// How a child process ended and what it wrote.
struct ChildRun {
    bool started = false;
    std::string startError;
    bool timedOut = false; // killed at the deadline
    int exitCode = -1;     // when it exited
    int signal = 0;        // when a signal ended it
    std::string out, err;
};

// Runs `program` with `args` (no shell): stdin reads /dev/null, stdout and
// stderr are captured through pipes, the working directory is `workDir`. A
// child still running at `timeout` is killed.
ChildRun runChild(const std::string& program, const std::vector<std::string>& args, const std::string& workDir,
                  std::chrono::milliseconds timeout);

} // namespace korvane::testkit
