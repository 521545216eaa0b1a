#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace korvane {

// The threads a run waits on the disk with: existence tests looked up ahead
// of a scan and folders read ahead of a walk share them. Threads start as
// work comes, up to size(), so a run on a fast disk, which hands nothing
// over, starts none. Each task is told which thread runs it (0 to size() -
// 1): a user keeps one resolver or reader a thread and needs no lock for it.
// A task must never wait for another task, so that users sharing the pool
// cannot hold each other up, and must not throw; a user waits for its own
// tasks to end before it goes away.
class WorkerPool {
public:
    using Task = std::function<void(std::size_t worker)>;

    explicit WorkerPool(int threads);
    // Runs what is still queued, then ends the threads.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t size() const { return size_; }
    // Queues `task`. False when it cannot run: no thread has started and
    // none can be (the system refuses one); the caller does the work itself.
    bool submit(Task task);

private:
    void work(std::size_t worker);

    const std::size_t size_;
    std::mutex mutex_;
    std::condition_variable queued_;
    std::deque<Task> queue_;
    std::size_t idle_ = 0;
    bool quitting_ = false;
    std::vector<std::thread> threads_;
};

} // namespace korvane
