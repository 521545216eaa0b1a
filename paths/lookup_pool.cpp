#include "paths/lookup_pool.h"

#include <algorithm>
#include <chrono>

namespace korvane {

namespace {

// Tests begun are handed to the threads this many at a time (and whenever
// the scan waits), so that a local disk, which answers at once, does not
// pay a wake-up for every path.
constexpr std::size_t kBatch = 16;

} // namespace

LookupPool::LookupPool(const PathResolver& model, int jobs, FolderReader& base, Start start)
    : cache_(base), model_(model.sibling(cache_)), jobs_(std::clamp(jobs, 1, kMaxJobs))
{
    if (start == Start::Now)
        cache_.assumeSlow();
}

LookupPool::~LookupPool()
{
    {
        const std::lock_guard lock(workMutex_);
        quitting_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

std::atomic<bool>& LookupPool::doneFlag(Ticket ticket) const
{
    const std::size_t index = ticket - 1;
    return (*chunks_[index >> kChunkBits])[index & ((std::size_t{1} << kChunkBits) - 1)];
}

LookAhead::Ticket LookupPool::begin(std::string_view path)
{
    if (!cache_.slow())
        return 0;
    const std::lock_guard lock(scanMutex_);
    const std::uint32_t hash = tickets_.hashOf(path);
    if (const std::uint32_t* known = tickets_.find(path, hash))
        return *known;
    const std::size_t index = last_;
    if ((index >> kChunkBits) >= kChunks)
        return 0;
    if (threads_.empty()) {
        threads_.reserve(static_cast<std::size_t>(jobs_));
        for (int k = 0; k < jobs_; ++k)
            threads_.emplace_back([this, resolver = model_.sibling(cache_)]() mutable { work(std::move(resolver)); });
    }
    if (!chunks_[index >> kChunkBits])
        chunks_[index >> kChunkBits] = std::make_unique<Chunk>(); // flags start false
    const Ticket ticket = ++last_;
    tickets_.insert(path, hash, ticket);
    unflushed_.emplace_back(ticket, std::string(path));
    if (unflushed_.size() >= kBatch)
        handOver();
    return ticket;
}

bool LookupPool::ready(Ticket ticket) const
{
    return ticket == 0 || doneFlag(ticket).load(std::memory_order_acquire);
}

void LookupPool::handOver()
{
    const std::size_t count = unflushed_.size();
    {
        const std::lock_guard work(workMutex_);
        for (auto& job : unflushed_)
            queue_.push_back(std::move(job));
    }
    unflushed_.clear();
    // One thread woken for each test; a thread that finds work left goes on.
    for (std::size_t k = 0; k < count; ++k)
        work_.notify_one();
}

void LookupPool::flush()
{
    const std::lock_guard lock(scanMutex_);
    if (!unflushed_.empty())
        handOver();
}

void LookupPool::wait(Ticket ticket, const std::atomic<bool>* stop)
{
    if (ready(ticket))
        return;
    flush();
    waiting_.fetch_add(1);
    {
        // A stop is set from a signal handler or another thread, which do
        // not wake this one: it is looked at now and then.
        constexpr auto kLookAtStop = std::chrono::milliseconds(10);
        std::unique_lock lock(doneMutex_);
        while (!doneFlag(ticket).load() && !(stop && stop->load())) // sequentially consistent with waiting_
            done_.wait_for(lock, kLookAtStop);
    }
    waiting_.fetch_sub(1);
}

void LookupPool::work(PathResolver resolver)
{
    for (;;) {
        std::pair<Ticket, std::string> job;
        {
            std::unique_lock lock(workMutex_);
            work_.wait(lock, [&] { return quitting_ || !queue_.empty(); });
            if (quitting_)
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        try {
            resolver.exists(job.second);
        } catch (...) {
            // The run's resolver looks again, and meets what went wrong
            // itself; the look-ahead only saves time.
        }
        doneFlag(job.first).store(true); // sequentially consistent with waiting_
        if (waiting_.load() > 0) {
            const std::lock_guard lock(doneMutex_);
            done_.notify_all();
        }
    }
}

} // namespace korvane
