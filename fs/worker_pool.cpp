#include "fs/worker_pool.h"

#include <algorithm>
#include <system_error>

namespace korvane {

WorkerPool::WorkerPool(int threads) : size_(static_cast<std::size_t>(std::max(1, threads))) {}

WorkerPool::~WorkerPool()
{
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

bool WorkerPool::submit(Task task)
{
    {
        std::unique_lock lock(mutex_);
        queue_.push_back(std::move(task));
        // A thread more for each task no idle thread will take.
        if (queue_.size() > idle_ && threads_.size() < size_) {
            try {
                threads_.emplace_back([this, worker = threads_.size()] { work(worker); });
            } catch (const std::system_error&) {
                if (threads_.empty()) {
                    queue_.pop_back();
                    return false;
                }
            }
        }
    }
    queued_.notify_one();
    return true;
}

void WorkerPool::work(std::size_t worker)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        queued_.wait(lock, [this] { return quitting_ || !queue_.empty(); });
        --idle_;
        if (queue_.empty())
            return; // quitting, and nothing is left
        Task task = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        task(worker);
        lock.lock();
    }
}

} // namespace korvane
