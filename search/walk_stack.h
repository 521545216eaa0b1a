#pragma once

#include "fs/folder_reader.h"
#include "fs/slow_disk.h"
#include "fs/worker_pool.h"
#include "search/file_index.h"
#include "search/walk_bounds.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace korvane {

// One folder as read, on whichever thread read it.
struct FolderRead {
    int error = 0;
    FolderListing listing;
    std::vector<LinkTarget> links; // of the listing's links in order, when they were followed
    bool done = false;
    std::exception_ptr failure;
};

// A folder to read and where its path comes from. Folders read ahead make
// their path here rather than from the index, which grows meanwhile.
struct PendingFolder {
    FolderId folder = kNoFolder;
    std::shared_ptr<const std::string> parentPath; // null for a root: `name` is then its path
    std::string name;
    bool sameDevice = false; // one file system: entered only on the device of the folder it is in
    std::uint64_t parentDevice = 0;
    FolderRead* read = nullptr; // once a thread has taken it
};

// The folders a walk has still to read, as a stack: a folder's subfolders go
// on top as it is taken into the index, so the walk goes deep first, and
// folders reached through links go to the bottom, read after all the others.
// The walking thread takes the folder on top, reading it itself unless it
// was read ahead. Once reading folders proves slow (SlowDisk), tasks on the
// worker pool read folders near the top ahead of time, one folder a task;
// the walking thread still takes each in the order of the stack, so what the
// walk sees is the same whatever the number of threads. The folders read
// ahead are all on the stack already: each would be read by a walk with one
// thread too, so reading ahead only brings the reads forward.
class WalkStack {
public:
    // `reader` is the walking thread's; `workers` (may be null: no reading
    // ahead) are the threads that read ahead, each with a reader of its own
    // unless `options.reader` serves them all.
    WalkStack(const WalkBounds& bounds, FolderReader& reader, WorkerPool* workers, const IndexOptions& options);
    // Waits for the reads under way.
    ~WalkStack();
    WalkStack(const WalkStack&) = delete;
    WalkStack& operator=(const WalkStack&) = delete;

    // A root, below those pushed before.
    void pushRoot(PendingFolder root);

    // The folder on top, once read, and whether the walk enters it (it is
    // then marked visited); nothing once the stack is empty or a stop was
    // requested. A failure of its read is thrown here.
    struct Taken {
        PendingFolder folder;
        FolderRead* read = nullptr;
        bool entered = false;
    };
    std::optional<Taken> take();
    // After the walk has taken `read` into the index: the folders below it,
    // in the order listed, go on top; those reached through its links to
    // the bottom. Empties both.
    void finish(FolderRead* read, std::vector<PendingFolder>& children, std::vector<PendingFolder>& linked);
    // Whether a folder was entered before; on the walking thread.
    bool visited(const FolderIdentity& identity) const { return visited_.contains(identity); }

private:
    struct IdentityHash {
        std::size_t operator()(const FolderIdentity& id) const noexcept
        {
            return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
        }
    };
    struct Task {
        std::string path;
        bool sameDevice = false;
        std::uint64_t parentDevice = 0;
        FolderRead* read = nullptr;
    };

    bool stopped() const { return options_.stop.stop_requested(); }
    Task takeTask(PendingFolder& pending);
    void gather(FolderReader& reader, const Task& task) const;
    bool seen(const FolderIdentity& identity) const;
    bool enters(const PendingFolder& folder, const FolderListing& listing);
    PendingFolder* pick();
    // Queues up to `count` reads ahead, as the pool has room; under mutex_.
    void readAhead(std::size_t count);
    // One read ahead, on a worker thread.
    void readOne(std::size_t worker);
    FolderReader& readerOf(std::size_t worker);

    const WalkBounds& bounds_;
    FolderReader& reader_;
    WorkerPool* workers_;
    const IndexOptions& options_;
    const std::size_t mostAhead_;
    SlowDisk disk_;
    std::vector<std::unique_ptr<FolderReader>> readers_; // of the worker threads, when not options_.reader

    // Shared with the worker threads, under mutex_. The walking thread alone
    // changes the stack and visited_; the workers only take folders on it.
    mutable std::mutex mutex_;
    std::condition_variable done_; // waitingFor_ is read, or a task has ended
    std::deque<PendingFolder> stack_;
    std::unordered_set<FolderIdentity, IdentityHash> visited_;
    std::vector<std::unique_ptr<FolderRead>> reads_;
    std::vector<FolderRead*> spare_;
    std::size_t outstanding_ = 0; // taken, not yet finished
    std::size_t tasks_ = 0;       // reads ahead queued or under way
    const FolderRead* waitingFor_ = nullptr;
    bool quitting_ = false;
};

} // namespace korvane
