#include "run/ordered_work.h"

#include <algorithm>

namespace korvane {

OrderedWork::OrderedWork(std::size_t count, std::size_t threads, std::size_t window,
                         std::function<void(std::size_t)> work)
    : count_(count), window_(std::max<std::size_t>(1, window)), work_(std::move(work)), done_(count),
      threads_(static_cast<int>(std::max<std::size_t>(1, std::min(threads, count))))
{
    const std::lock_guard lock(mutex_);
    beginMore();
}

OrderedWork::~OrderedWork()
{
    std::unique_lock lock(mutex_);
    ending_ = true;
    changed_.wait(lock, [this] { return running_ == 0; });
}

void OrderedWork::beginMore()
{
    while (!ending_ && next_ < count_ && next_ < turn_ + window_) {
        const std::size_t item = next_++;
        ++running_;
        const bool queued = threads_.submit([this, item](std::size_t) {
            work_(item);
            const std::lock_guard lock(mutex_);
            done_[item] = true;
            --running_;
            changed_.notify_all();
        });
        if (!queued) {
            // No thread at all could be had: the item is worked on here.
            work_(item);
            --running_;
            done_[item] = true;
        }
    }
}

void OrderedWork::waitFor(std::size_t item)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_[item]; });
}

void OrderedWork::advance()
{
    const std::lock_guard lock(mutex_);
    ++turn_;
    beginMore();
}

} // namespace korvane
