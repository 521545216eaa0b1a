#include "restore/copy_sealer.h"

#include "restore/apply_failure.h"

#include <algorithm>
#include <cerrno>
#include <sys/statfs.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace korvane {

CopySealer::CopySealer(const FaultHook& fault) : fault_(fault)
{
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: each copy is sealed when it is given.
    }
}

CopySealer::~CopySealer()
{
    if (!thread_.joinable())
        return;
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void CopySealer::give(WrittenCopy& written, bool endsBatch)
{
    enqueue(&written, endsBatch);
}

void CopySealer::endBatch()
{
    enqueue(nullptr, true);
}

void CopySealer::enqueue(WrittenCopy* written, bool endsBatch)
{
    if (!thread_.joinable()) {
        seal(written, endsBatch);
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back({written, endsBatch});
    }
    wake_.notify_all();
}

void CopySealer::wait(const WrittenCopy& written)
{
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return written.sealed; });
}

void CopySealer::seal(WrittenCopy* written, bool endsBatch)
{
    if (written) {
        if (const std::optional<ContentDigest> content = digestMappedFile(written->out))
            written->content = *content;
        else
            written->error = failure("cannot read", written->temporary, errno);
        if (!written->withFileSystem) {
            const int injected = faultAt(fault_, "sync");
            if (written->error.empty() && (injected != 0 || ::fsync(written->out) != 0))
                written->error = failure("cannot write", written->temporary, injected ? injected : errno);
            ::close(std::exchange(written->out, -1));
            markSealed(*written);
        } else {
            // Open until synced only the first of the batch on its file
            // system, through which it is synced.
            if (std::any_of(batch_.begin(), batch_.end(),
                            [&](const WrittenCopy* w) { return w->device == written->device; }))
                ::close(std::exchange(written->out, -1));
            batch_.push_back(written);
        }
    }
    if (endsBatch)
        syncBatch();
}

// One sync a file system for the copies on it, through the one written
// first, so that a failure to write back any of them is reported.
void CopySealer::syncBatch()
{
    std::vector<std::pair<dev_t, int>> synced; // and the error
    for (WrittenCopy* written : batch_) {
        auto it = std::find_if(synced.begin(), synced.end(), [&](const auto& s) { return s.first == written->device; });
        if (it == synced.end()) {
            const int injected = faultAt(fault_, "sync");
            const int error = injected != 0 ? injected : ::syncfs(written->out) == 0 ? 0 : errno;
            it = synced.insert(synced.end(), {written->device, error});
        }
        if (it->second != 0 && written->error.empty())
            written->error = failure("cannot write", written->temporary, it->second);
    }
    {
        const std::lock_guard lock(mutex_);
        for (WrittenCopy* written : batch_) {
            if (written->out >= 0)
                ::close(std::exchange(written->out, -1));
            written->sealed = true;
        }
    }
    batch_.clear();
    done_.notify_all();
}

void CopySealer::markSealed(WrittenCopy& written)
{
    {
        const std::lock_guard lock(mutex_);
        written.sealed = true;
    }
    done_.notify_all();
}

void CopySealer::run()
{
    for (;;) {
        Job next{};
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            next = queue_.front();
            queue_.pop_front();
        }
        seal(next.written, next.endsBatch);
    }
}

bool syncsWholeFileSystem(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:     // ext2, ext3, ext4
    case 0x58465342: // XFS
    case 0x9123683E: // Btrfs
    case 0xF2F52010: // F2FS
    case 0x01021994: // tmpfs
        return true;
    default:
        return false;
    }
}

} // namespace korvane
