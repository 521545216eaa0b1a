#pragma once

// Long work of a window on a thread of its own, so that the window keeps
// drawing and taking keys meanwhile: the walk of a folder search, a plan,
// putting back, undo and its check. The work is told to stop through a
// stop token; what it hands back reaches the window on the GUI thread once
// it has ended. Work that only reads and cannot stop at once (a hash
// of a large file, say) can be abandoned: the window goes on at once, and
// the work ends by itself later, its result dropped. Work that changes the
// disk is never abandoned, only stopped and waited for.

#include <QObject>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

namespace korvane::ui {

// How much nicer than the window long work runs: on a busy machine the
// window is drawn and answers keys first.
inline constexpr int kBackgroundNice = 5;

// Lowers the calling thread's priority by kBackgroundNice; for the threads
// of long work, which the window must not wait behind.
void lowerThreadPriority();

class BackgroundTask {
public:
    using Work = std::function<void(std::stop_token stop)>;

    // `receiver` lives on the GUI thread and outlives the task.
    explicit BackgroundTask(QObject* receiver);
    // Abandons work that still runs (see abandon()); a window whose work
    // changes the disk calls stopAndWait() before.
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Runs `work` on a thread of its own, at a lower priority than the
    // window (lowerThreadPriority); `done` is then called on the GUI
    // thread (unless the work was abandoned). Work and `done` must own what
    // they use beyond the task's receiver: an abandoned work outlives it.
    // Does nothing while work runs.
    void start(Work work, std::function<void()> done);
    // Asks the work to stop; `done` is still called when it has.
    void stop();
    // Stops the work and forgets it: `done` is not called, and running()
    // is false at once. Only for work that changes nothing.
    void abandon();
    // Stops the work and waits for it to end; `done` is not called. For a
    // window that goes away during work that changes the disk.
    void stopAndWait();
    bool running() const { return state_ != nullptr; }
    bool stopping() const;

    // How many abandoned works still run; the program may end without
    // waiting for them, since they only read.
    static std::size_t abandonedRunning();

private:
    struct State;
    void finished();

    QObject* receiver_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

} // namespace korvane::ui
