#include "paths/lookup_pool.h"

#include <algorithm>

namespace korvane {

namespace {

// Tests begun are handed to the threads this many at a time (and whenever
// the scan waits), so that a local disk, which answers at once, does not
// pay a wake-up for every path.
constexpr std::size_t kBatch = 16;

} // namespace

LookupPool::LookupPool(const PathResolver& model, WorkerPool& workers, FolderReader& base, ReadAhead start)
    : workers_(workers), cache_(base, start), model_(model.sibling(cache_)), resolvers_(workers.size())
{
}

LookupPool::LookupPool(const PathResolver& model, int jobs, FolderReader& base, ReadAhead start)
    : ownWorkers_(std::make_unique<WorkerPool>(std::clamp(jobs, 1, kMaxJobs))), workers_(*ownWorkers_),
      cache_(base, start), model_(model.sibling(cache_)), resolvers_(workers_.size())
{
}

LookupPool::~LookupPool()
{
    // The tasks queued find nothing to do; the one under way ends its lookup.
    std::unique_lock lock(workMutex_);
    quitting_ = true;
    queue_.clear();
    tasksEnded_.wait(lock, [this] { return tasks_ == 0; });
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
        for (Job& job : unflushed_)
            queue_.push_back(std::move(job));
        tasks_ += count;
    }
    unflushed_.clear();
    // One task for each job; a task takes the oldest job queued.
    for (std::size_t k = 0; k < count; ++k) {
        if (!workers_.submit([this](std::size_t worker) { lookUpNext(worker); })) {
            // No thread can be had: the job is answered as done, and the
            // run's resolver looks itself when its turn comes.
            lookUpNext(workers_.size());
        }
    }
}

void LookupPool::flush()
{
    const std::lock_guard lock(scanMutex_);
    if (!unflushed_.empty())
        handOver();
}

void LookupPool::wait(Ticket ticket, std::stop_token stop)
{
    if (ready(ticket))
        return;
    flush();
    waiting_.fetch_add(1);
    {
        std::unique_lock lock(doneMutex_);
        done_.wait(lock, stop, [&] { return doneFlag(ticket).load(); }); // sequentially consistent with waiting_
    }
    waiting_.fetch_sub(1);
}

void LookupPool::lookUpNext(std::size_t worker)
{
    Job job;
    {
        std::unique_lock lock(workMutex_);
        if (queue_.empty()) {
            // Cleared by the destructor: nothing is waited for any more.
            if (--tasks_ == 0 && quitting_)
                tasksEnded_.notify_all();
            return;
        }
        job = std::move(queue_.front());
        queue_.pop_front();
    }
    if (worker < resolvers_.size()) {
        try {
            std::optional<PathResolver>& resolver = resolvers_[worker];
            if (!resolver)
                resolver.emplace(model_.sibling(cache_));
            resolver->exists(job.second);
        } catch (...) {
            // The run's resolver looks again, and meets what went wrong
            // itself; the look-ahead only saves time.
        }
    }
    markDone(job.first);
    const std::lock_guard lock(workMutex_);
    if (--tasks_ == 0 && quitting_)
        tasksEnded_.notify_all();
}

void LookupPool::markDone(Ticket ticket)
{
    doneFlag(ticket).store(true); // sequentially consistent with waiting_
    if (waiting_.load() > 0) {
        const std::lock_guard lock(doneMutex_);
        done_.notify_all();
    }
}

} // namespace korvane
