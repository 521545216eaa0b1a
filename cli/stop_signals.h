#pragma once

#include <stop_token>
#include <thread>

namespace korvane {

// SIGINT and SIGTERM stop the run at the next entry (a second one ends the
// program at once); so does a write to a pipe whose reader has gone, which
// then fails like any write that cannot be made. An interrupt ignored by
// the caller stays ignored. Requesting a stop is not safe in a signal
// handler: the handlers only note the signal and wake a thread of this
// object's, which asks `source` to stop. One at a time in a process.
class StopSignals {
public:
    explicit StopSignals(std::stop_source source);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The last signal that asked for a stop: SIGINT, SIGTERM, SIGPIPE, or 0.
    static int signal();
    // Whether SIGINT or SIGTERM asked for a stop, rather than a reader of
    // stdout that went away.
    static bool interrupted();

private:
    void relay(int in);

    std::stop_source source_;
    std::thread relay_;
};

} // namespace korvane
