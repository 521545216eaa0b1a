#include "cli/stop_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace korvane {

namespace {

std::atomic<int> lastSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);
// The pipe the handlers wake the relay through; -1 while none is set up.
std::atomic<int> wakeFd{-1};
constexpr char kQuit = 'q';

extern "C" void onStopSignal(int signal)
{
    const int saved = errno;
    lastSignal.store(signal);
    const char byte = 's';
    if (const int fd = wakeFd.load(); fd >= 0)
        [[maybe_unused]] const ssize_t wrote = ::write(fd, &byte, 1);
    errno = saved;
}

void catchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESTART | SA_RESETHAND);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction old = {};
        if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(std::stop_source source) : source_(std::move(source))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for the stop signals");
    // A handler that finds the pipe full has woken the relay already.
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    relay_ = std::thread([this, in = fds[0]] { relay(in); });
    wakeFd.store(fds[1]);
    catchStopSignals();
}

StopSignals::~StopSignals()
{
    const int fd = wakeFd.exchange(-1);
    // Blocking now: the quit byte must arrive, whatever the signals wrote.
    ::fcntl(fd, F_SETFL, 0);
    while (::write(fd, &kQuit, 1) < 0 && errno == EINTR) {
    }
    relay_.join();
    ::close(fd);
}

void StopSignals::relay(int in)
{
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(in, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || byte == kQuit)
            break;
        source_.request_stop();
    }
    ::close(in);
}

int StopSignals::signal()
{
    return lastSignal.load();
}

bool StopSignals::interrupted()
{
    const int signal = lastSignal.load();
    return signal == SIGINT || signal == SIGTERM;
}

} // namespace korvane
