#pragma once

#include "fs/worker_pool.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace korvane {

// Items 0 to count - 1 worked on by a few threads, finished in any order and
// taken in order by one consumer: at most `window` items past the one in
// turn are begun, so what waits to be taken stays bounded. How a run of many
// projects scans them side by side and writes them one after another.
class OrderedWork {
public:
    OrderedWork(std::size_t count, std::size_t threads, std::size_t window, std::function<void(std::size_t)> work);
    // Begins nothing more and waits for what was begun.
    ~OrderedWork();
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;

    // Waits until `work(item)` has ended; item is the one in turn.
    void waitFor(std::size_t item);
    // The item in turn is taken: the next is in turn, and one more may begin.
    void advance();

private:
    // Begins what the window allows; under mutex_.
    void beginMore();

    const std::size_t count_;
    const std::size_t window_;
    const std::function<void(std::size_t)> work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> done_;
    std::size_t next_ = 0;   // the next item to begin
    std::size_t turn_ = 0;   // the item in turn
    std::size_t running_ = 0;
    bool ending_ = false;
    WorkerPool threads_; // last: its threads end before the rest goes
};

} // namespace korvane
