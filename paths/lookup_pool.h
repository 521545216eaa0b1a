#pragma once

#include "fs/look_ahead.h"
#include "fs/shared_folder_cache.h"
#include "fs/slow_disk.h"
#include "fs/worker_pool.h"
#include "paths/path_resolver.h"
#include "text/string_table.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// Stored names looked up ahead of the scan on the run's worker threads, so
// that a share where each lookup is a round trip answers many at once. Each
// thread looks with a resolver of the model's mappings and code page,
// reading through one shared cache (reader()); the resolver that gives the
// run's answers reads through it too (model.sibling(pool.reader())), and
// finds there everything the threads looked at: each folder is read, and
// each path followed, once a run however many threads and projects ask. The
// answers themselves stay the run's resolver's, given in the scan's order,
// so a run with the pool says exactly what a run without it says.
//
// On a disk that answers at once, handing a lookup to another thread costs
// more than the lookup: nothing is handed over until the disk has proved
// slow (SlowDisk), and until then begin answers that there is nothing to
// wait for, so the run's resolver looks itself, in its turn. (What was
// answered so is not kept for the threads: a path met again after the switch
// is looked up once more, which costs little beside remembering every path
// of a fast disk.)
//
// begin, ready, wait and flush may be called from several scan threads (one
// pool serves several projects).
class LookupPool final : public LookAhead {
public:
    // Lookups at once by default: network shares answer many requests in
    // parallel, and a round trip of 1 to 50 ms leaves each thread waiting.
    static constexpr int kDefaultJobs = 32;
    static constexpr int kMaxJobs = 256;

    // Looks up on the threads of `workers`. Folders are read and files
    // followed through `base`, which must be safe to use from several threads.
    LookupPool(const PathResolver& model, WorkerPool& workers, FolderReader& base = systemFolderReader(),
               ReadAhead start = ReadAhead::WhenSlow);
    // The same on a pool of its own of `jobs` threads (1 to kMaxJobs).
    LookupPool(const PathResolver& model, int jobs, FolderReader& base = systemFolderReader(),
               ReadAhead start = ReadAhead::WhenSlow);
    ~LookupPool() override;
    LookupPool(const LookupPool&) = delete;
    LookupPool& operator=(const LookupPool&) = delete;

    FolderReader& reader() { return cache_; }

    Ticket begin(std::string_view path) override;
    bool ready(Ticket ticket) const override;
    void wait(Ticket ticket, std::stop_token stop) override;
    void flush() override;

private:
    // Tickets are counted from 1; 0 stands for a test with nothing to wait
    // for (beyond the last ticket the table can hold, the run's resolver
    // simply looks itself).
    static constexpr std::size_t kChunkBits = 16;
    static constexpr std::size_t kChunks = 4096;
    using Chunk = std::array<std::atomic<bool>, std::size_t{1} << kChunkBits>;
    using Job = std::pair<Ticket, std::string>;

    std::atomic<bool>& doneFlag(Ticket ticket) const;
    // Hands the tests begun to the threads; under scanMutex_.
    void handOver();
    // One task on a worker thread: the oldest job queued.
    void lookUpNext(std::size_t worker);
    void markDone(Ticket ticket);

    std::unique_ptr<WorkerPool> ownWorkers_; // when made with a number of jobs
    WorkerPool& workers_;
    SharedFolderCache cache_;
    PathResolver model_; // reads through cache_; the threads' resolvers are made from it
    std::vector<std::optional<PathResolver>> resolvers_; // one a worker thread, made there when first needed

    // What the scan threads begin: each path once, under scanMutex_.
    std::mutex scanMutex_;
    StringTable tickets_;
    std::vector<Job> unflushed_;
    std::array<std::unique_ptr<Chunk>, kChunks> chunks_;
    Ticket last_ = 0;

    // The jobs handed over, and the tasks queued for them, under workMutex_.
    std::mutex workMutex_;
    std::condition_variable tasksEnded_;
    std::deque<Job> queue_;
    std::size_t tasks_ = 0; // submitted and not yet ended
    bool quitting_ = false;

    // Scan threads waiting for a ticket.
    std::mutex doneMutex_;
    std::condition_variable_any done_;
    std::atomic<int> waiting_{0};
};

} // namespace korvane
