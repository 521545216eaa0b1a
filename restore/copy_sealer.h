#pragma once

#include "fs/content_digest.h"
#include "restore/fault_hook.h"
#include "restore/folder_tree.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace korvane {

// A copy written under its temporary name, waiting to be made durable (its
// content digested for the journal, then synced) and then given its name.
struct WrittenCopy {
    std::size_t step = 0; // in the plan
    std::uint64_t id = 0; // in the journal
    FolderRef folder;        // where it is, open
    std::string temporary;
    std::string name;
    std::string source;
    int out = -1; // the temporary, open for reading and writing
    std::uint64_t bytes = 0;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t birth = 0;
    // Made durable with the file system it is on, in one sync for a batch of
    // copies, rather than a sync of its own.
    bool withFileSystem = false;
    // Set by sealing.
    bool sealed = false;
    ContentDigest content;
    std::string error; // what failed, when something did
};

// Seals copies on a thread of its own, in the order given, while the next
// ones are copied: digests what was written, then syncs it, or syncs the
// file system it is on once for a whole batch.
class CopySealer {
public:
    explicit CopySealer(const FaultHook& fault);
    ~CopySealer();
    CopySealer(const CopySealer&) = delete;
    CopySealer& operator=(const CopySealer&) = delete;

    // Hands over a copy; `endsBatch`: the file systems are synced after it.
    void give(WrittenCopy& written, bool endsBatch);
    // Ends the batch: the copies given are all sealed in time.
    void endBatch();
    // Blocks until `written` is sealed.
    void wait(const WrittenCopy& written);

private:
    struct Job {
        WrittenCopy* written;
        bool endsBatch;
    };
    void enqueue(WrittenCopy* written, bool endsBatch);
    void seal(WrittenCopy* written, bool endsBatch);
    void syncBatch();
    void markSealed(WrittenCopy& written);
    void run();

    const FaultHook& fault_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Job> queue_;
    std::vector<WrittenCopy*> batch_; // digested, waiting for their file system's sync
    bool quit_ = false;
    std::thread thread_;
};

// Whether syncing the whole file system the file `fd` is on writes its data
// through to the device, as on local disk file systems.
bool syncsWholeFileSystem(int fd);

} // namespace korvane
