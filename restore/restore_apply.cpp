#include "restore/restore_apply.h"

#include "text/terminal_quote.h"
#include "text/system_error.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string failure(std::string_view what, const std::string& path, int error)
{
    return std::string(what) + " " + quoteName(path) + ": " + systemErrorText(error);
}

class FileCloser {
public:
    explicit FileCloser(int fd) : fd_(fd) {}
    ~FileCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// A copy written under its temporary name, waiting to be made durable (its
// content hashed for the journal, then synced) and then given its name.
struct Written {
    std::uint64_t number = 0; // in the order written
    std::size_t step = 0;     // in the plan
    std::string source;
    std::string destination;
    std::string temporary;
    int out = -1;     // the temporary, open
    int cloned = -1;  // the source, open, when the temporary is its clone
    std::uint64_t bytes = 0;
    dev_t device = 0;
    // Made durable with the file system it is on, in one sync for a batch of
    // copies, rather than a sync of its own.
    bool withFileSystem = false;
    // Set by sealing.
    bool sealed = false;
    ContentHash content;
    std::string error; // what failed, when something did
};

// Seals copies on a thread of its own, in the order given, while the next
// ones are copied: hashes what was written (a clone's source, whose content
// the clone shares), then syncs it, or syncs the file system it is on once
// for a whole batch.
class Sealer {
public:
    Sealer()
    {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had: each copy is sealed when it is given.
        }
    }
    ~Sealer()
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
    Sealer(const Sealer&) = delete;
    Sealer& operator=(const Sealer&) = delete;

    // Hands over a copy; `endsBatch`: the file systems are synced after it.
    void give(Written& written, bool endsBatch) { enqueue(&written, endsBatch); }

    // Ends the batch: the copies given are all sealed in time.
    void endBatch() { enqueue(nullptr, true); }

    void wait(const Written& written)
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [&] { return written.sealed; });
    }

private:
    struct Job {
        Written* written;
        bool endsBatch;
    };

    void enqueue(Written* written, bool endsBatch)
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

    void seal(Written* written, bool endsBatch)
    {
        if (written) {
            const int from = written->cloned >= 0 ? written->cloned : written->out;
            if (const std::optional<ContentHash> content = hashOpenFile(from))
                written->content = *content;
            else
                written->error =
                    failure("cannot read", written->cloned >= 0 ? written->source : written->temporary, errno);
            if (written->cloned >= 0)
                ::close(std::exchange(written->cloned, -1));
            if (!written->withFileSystem) {
                if (written->error.empty() && ::fsync(written->out) != 0)
                    written->error = failure("cannot write", written->temporary, errno);
                ::close(std::exchange(written->out, -1));
                markSealed(*written);
            } else {
                // Open until synced only the first of the batch on its file
                // system, through which it is synced.
                if (std::any_of(batch_.begin(), batch_.end(),
                                [&](const Written* w) { return w->device == written->device; }))
                    ::close(std::exchange(written->out, -1));
                batch_.push_back(written);
            }
        }
        if (endsBatch)
            syncBatch();
    }

    // One sync a file system for the copies on it, through the one written
    // first, so that a failure to write back any of them is reported.
    void syncBatch()
    {
        std::vector<std::pair<dev_t, int>> synced; // and the error
        for (Written* written : batch_) {
            auto it = std::find_if(synced.begin(), synced.end(),
                                   [&](const auto& s) { return s.first == written->device; });
            if (it == synced.end())
                it = synced.insert(synced.end(), {written->device, ::syncfs(written->out) == 0 ? 0 : errno});
            if (it->second != 0 && written->error.empty())
                written->error = failure("cannot write", written->temporary, it->second);
        }
        {
            const std::lock_guard lock(mutex_);
            for (Written* written : batch_) {
                if (written->out >= 0)
                    ::close(std::exchange(written->out, -1));
                written->sealed = true;
            }
        }
        batch_.clear();
        done_.notify_all();
    }

    void markSealed(Written& written)
    {
        {
            const std::lock_guard lock(mutex_);
            written.sealed = true;
        }
        done_.notify_all();
    }

    void run()
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

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<Job> queue_;
    std::vector<Written*> batch_; // hashed, waiting for their file system's sync
    bool quit_ = false;
    std::thread thread_;
};

class Applier {
public:
    Applier(const ApplyOptions& options, JournalWriter& journal, ApplyResult& result)
        : options_(options), journal_(journal), result_(result)
    {
    }

    ~Applier()
    {
        // Only when something threw: the temporaries go, nothing is named.
        sealer_.reset();
        for (const std::unique_ptr<Written>& written : written_) {
            ::unlink(written->temporary.c_str());
            closeFiles(*written);
        }
    }

    Applier(const Applier&) = delete;
    Applier& operator=(const Applier&) = delete;

    // Puts back step `k`: its outcome, or nothing while it is a copy waiting
    // for its name (see `name`).
    std::optional<StepResult> putBack(std::size_t k, const RestoreStep& step)
    {
        struct stat st;
        if (::lstat(step.destination.c_str(), &st) == 0)
            return StepResult{StepOutcome::Appeared, {}};
        const std::string folder = folderOf(step.destination);
        if (std::string error = makeFolders(folder); !error.empty())
            return StepResult{StepOutcome::Failed, std::move(error)};
        touched_.insert(folder);
        if (!options_.forceCopy) {
            const int linked = options_.link ? options_.link(step.source.c_str(), step.destination.c_str())
                                             : ::linkat(AT_FDCWD, step.source.c_str(), AT_FDCWD,
                                                        step.destination.c_str(), AT_SYMLINK_FOLLOW);
            if (linked == 0)
                return recordLink(step);
            if (errno == EEXIST)
                return StepResult{StepOutcome::Appeared, {}};
            if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOTSUP && errno != EOPNOTSUPP)
                return StepResult{StepOutcome::Failed, failure("cannot link", step.destination, errno)};
        }
        return copy(k, step, folder);
    }

    // Names the oldest copies waiting, each once it is sealed (renamed into
    // place only once its data is durable): all of them, or when more than a
    // batch wait, the older half. Which copies are named when depends only
    // on the plan, so the journal's order does too.
    void name(bool all)
    {
        if (!all && written_.size() <= kMostWaiting && waitingBytes_ <= kMostWaitingBytes)
            return;
        while (!written_.empty() &&
               (all || written_.size() > kMostWaiting / 2 || waitingBytes_ > kMostWaitingBytes / 2)) {
            Written& oldest = *written_.front();
            if (oldest.number > batchEnd_) {
                sealer_->endBatch();
                batchEnd_ = written_.back()->number;
                batchCount_ = 0;
                batchBytes_ = 0;
            }
            sealer_->wait(oldest);
            result_.steps[oldest.step] = giveName(oldest);
            waitingBytes_ -= oldest.bytes;
            closeFiles(oldest);
            written_.pop_front();
        }
    }

    // Every folder written in, synced once so that the names given survive.
    void syncFolders()
    {
        for (const std::string& folder : touched_) {
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd >= 0) {
                ::fsync(fd);
                ::close(fd);
            }
        }
    }

private:
    // Copies written and not yet named, at most: past these, the run waits
    // for the older half to be sealed, while the newer half is.
    static constexpr std::size_t kMostWaiting = 256;
    static constexpr std::uint64_t kMostWaitingBytes = std::uint64_t{1024} << 20;

    // Makes `folder` and those above it that are missing, each in the journal.
    std::string makeFolders(const std::string& folder)
    {
        std::vector<std::string> missing;
        for (std::string at = folder;; at = folderOf(at)) {
            struct stat st;
            if (::stat(at.c_str(), &st) == 0) {
                if (!S_ISDIR(st.st_mode))
                    return failure("cannot make folder", at + "/", ENOTDIR);
                break;
            }
            if (errno != ENOENT || at == "/" || at == ".")
                return failure("cannot make folder", at, errno);
            missing.push_back(at);
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (::mkdir(it->c_str(), 0777) != 0) {
                if (errno == EEXIST)
                    continue; // made meanwhile by someone else: not ours
                return failure("cannot make folder", *it, errno);
            }
            if (!journal_.add({JournalEntry::Kind::Folder, *it, {}, 0, 0, {}}))
                return failure("cannot write the journal", journal_.path(), errno);
        }
        return {};
    }

    StepResult recordLink(const RestoreStep& step)
    {
        struct stat st;
        if (::lstat(step.destination.c_str(), &st) != 0)
            return {StepOutcome::Failed, failure("cannot read", step.destination, errno)};
        JournalEntry entry{JournalEntry::Kind::Link, step.destination, step.source,
                           static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), {}};
        if (!journal_.add(entry))
            return {StepOutcome::Failed, failure("cannot write the journal", journal_.path(), errno)};
        ++result_.linked;
        return {StepOutcome::Linked, {}};
    }

    bool stopped() const { return options_.stop && options_.stop->load(); }

    // Copies `in` into `out`: a clone where the file system offers one (and
    // then true in `cloned`), else copy_file_range, else read and write.
    // 0 or the error.
    int copyContent(int in, int out, std::uint64_t size, std::pair<dev_t, dev_t> devices, bool& cloned)
    {
        const bool tried = std::find(noClone_.begin(), noClone_.end(), devices) != noClone_.end();
        cloned = !tried && ::ioctl(out, FICLONE, in) == 0;
        if (cloned)
            return 0;
        // Not between these file systems: not tried again.
        if (!tried && (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV))
            noClone_.push_back(devices);
        std::uint64_t done = 0;
        bool ranged = true;
        while (done < size) {
            if (stopped())
                return EINTR;
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size - done, 8u << 20));
            ssize_t n = -1;
            if (ranged) {
                n = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
                if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) &&
                    done == 0) {
                    ranged = false;
                    continue;
                }
            } else {
                buffer_.resize(1 << 20);
                n = ::read(in, buffer_.data(), std::min(chunk, buffer_.size()));
                for (ssize_t written = 0; n > 0 && written < n;) {
                    const ssize_t w = ::write(out, buffer_.data() + written, static_cast<std::size_t>(n - written));
                    if (w < 0 && errno != EINTR)
                        return errno;
                    written += std::max<ssize_t>(w, 0);
                }
            }
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            if (n == 0)
                break; // the source shrank
            done += static_cast<std::uint64_t>(n);
            result_.bytesCopied += static_cast<std::uint64_t>(n);
        }
        return 0;
    }

    // Writes the copy under a temporary name, in the journal before its
    // content, and hands it to be sealed; nothing when that went well.
    std::optional<StepResult> copy(std::size_t k, const RestoreStep& step, const std::string& folder)
    {
        // Without blocking: a FIFO or a device put in the file's place is
        // refused, not waited on or read.
        const int in = ::open(step.source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (in < 0)
            return StepResult{StepOutcome::Failed, failure("cannot read", step.source, errno)};
        FileCloser closeIn(in);
        struct stat source;
        if (::fstat(in, &source) != 0)
            return StepResult{StepOutcome::Failed, failure("cannot read", step.source, errno)};
        if (!S_ISREG(source.st_mode))
            return StepResult{StepOutcome::Failed, failure("cannot read", step.source, EINVAL)};
        std::string temporary = folder + "/.korvane-put-back-XXXXXX";
        const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (out < 0)
            return StepResult{StepOutcome::Failed, failure("cannot write in", folder, errno)};
        FileCloser closeOut(out);
        const auto give_up = [&](std::string_view what, const std::string& path, int error) {
            ::unlink(temporary.c_str());
            return StepResult{StepOutcome::Failed, failure(what, path, error)};
        };
        // So that undo finds it should the run be cut short before it is named.
        if (!journal_.add({JournalEntry::Kind::Temporary, temporary, {}, 0, 0, {}}))
            return give_up("cannot write the journal", journal_.path(), errno);
        struct stat made;
        if (::fstat(out, &made) != 0)
            return give_up("cannot write", temporary, errno);
        const std::uint64_t before = result_.bytesCopied;
        bool cloned = false;
        if (const int error = copyContent(in, out, static_cast<std::uint64_t>(source.st_size),
                                          {source.st_dev, made.st_dev}, cloned);
            error != 0) {
            result_.bytesCopied = before;
            if (error == EINTR && stopped()) {
                ::unlink(temporary.c_str());
                return StepResult{StepOutcome::Stopped, {}};
            }
            return give_up("cannot copy to", step.destination, error);
        }
        const timespec times[2] = {source.st_atim, source.st_mtim};
        ::fchmod(out, source.st_mode & 0777);
        ::futimens(out, times);
        // Writing back starts now, so that the sync, later, has little to wait for.
        ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
        auto written = std::make_unique<Written>();
        written->number = ++writtenCount_;
        written->step = k;
        written->source = step.source;
        written->destination = step.destination;
        written->temporary = std::move(temporary);
        written->bytes = static_cast<std::uint64_t>(source.st_size);
        written->out = closeOut.release();
        if (cloned)
            written->cloned = closeIn.release();
        written->device = made.st_dev;
        written->withFileSystem = syncsWhole(written->out, made.st_dev);
        if (!sealer_)
            sealer_.emplace();
        // A batch of copies, half of those that may wait, synced together.
        ++batchCount_;
        batchBytes_ += written->bytes;
        const bool endsBatch = batchCount_ >= kMostWaiting / 2 || batchBytes_ >= kMostWaitingBytes / 2;
        if (endsBatch) {
            batchEnd_ = written->number;
            batchCount_ = 0;
            batchBytes_ = 0;
        }
        waitingBytes_ += written->bytes;
        written_.push_back(std::move(written));
        sealer_->give(*written_.back(), endsBatch);
        return std::nullopt;
    }

    // Renames a sealed copy into place, unless something holds its name.
    StepResult giveName(const Written& written)
    {
        const std::string& temporary = written.temporary;
        const std::string& destination = written.destination;
        if (!written.error.empty()) {
            ::unlink(temporary.c_str());
            return {StepOutcome::Failed, written.error};
        }
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) {
                ::unlink(temporary.c_str());
                return {StepOutcome::Appeared, {}};
            }
            if (errno != EINVAL && errno != ENOSYS) {
                const int error = errno;
                ::unlink(temporary.c_str());
                return {StepOutcome::Failed, failure("cannot name", destination, error)};
            }
            // A file system without renaming that refuses to replace: a link refuses.
            if (::link(temporary.c_str(), destination.c_str()) != 0) {
                const int error = errno;
                ::unlink(temporary.c_str());
                if (error == EEXIST)
                    return {StepOutcome::Appeared, {}};
                return {StepOutcome::Failed, failure("cannot name", destination, error)};
            }
            ::unlink(temporary.c_str());
        }
        JournalEntry entry{JournalEntry::Kind::Copy, destination, written.source, 0, 0, written.content};
        if (!journal_.add(entry))
            return {StepOutcome::Failed, failure("cannot write the journal", journal_.path(), errno)};
        ++result_.copied;
        return {StepOutcome::Copied, {}};
    }

    // Whether syncing the whole file system the file `fd` is on writes its
    // data through to the device, as on local disk file systems: there one
    // sync for a batch of copies replaces one a copy. Elsewhere (a network
    // or FUSE file system), each copy is synced on its own.
    bool syncsWhole(int fd, dev_t device)
    {
        for (const auto& [known, whole] : syncsWhole_)
            if (known == device)
                return whole;
        struct statfs fs {};
        bool whole = false;
        if (::fstatfs(fd, &fs) == 0) {
            switch (static_cast<unsigned long>(fs.f_type)) {
            case 0xEF53:     // ext2, ext3, ext4
            case 0x58465342: // XFS
            case 0x9123683E: // Btrfs
            case 0xF2F52010: // F2FS
            case 0x01021994: // tmpfs
                whole = true;
                break;
            default:
                break;
            }
        }
        syncsWhole_.emplace_back(device, whole);
        return whole;
    }

    static void closeFiles(Written& written)
    {
        if (written.out >= 0)
            ::close(std::exchange(written.out, -1));
        if (written.cloned >= 0)
            ::close(std::exchange(written.cloned, -1));
    }

    const ApplyOptions& options_;
    JournalWriter& journal_;
    ApplyResult& result_;
    std::set<std::string> touched_;
    std::vector<char> buffer_;
    // Copies written, oldest first, each waiting to be sealed and named.
    std::deque<std::unique_ptr<Written>> written_;
    std::uint64_t waitingBytes_ = 0;
    std::uint64_t writtenCount_ = 0;
    // The copies of the batch being written, and the last copy of a batch ended.
    std::size_t batchCount_ = 0;
    std::uint64_t batchBytes_ = 0;
    std::uint64_t batchEnd_ = 0;
    std::vector<std::pair<dev_t, bool>> syncsWhole_;
    std::vector<std::pair<dev_t, dev_t>> noClone_; // from, to
    std::optional<Sealer> sealer_;
};

} // namespace

ApplyResult applyRestorePlan(const RestorePlan& plan, const ApplyOptions& options)
{
    ApplyResult result;
    result.steps.resize(plan.steps.size());
    ApplyProgress progress;
    progress.total = plan.putBackCount();
    if (progress.total == 0)
        return result;
    std::optional<JournalWriter> journal = JournalWriter::create(options.journalFolder, result.journalError);
    if (!journal)
        return result;
    result.journal = journal->path();
    Applier applier(options, *journal, result);
    for (std::size_t k = 0; k < plan.steps.size(); ++k) {
        const RestoreStep& step = plan.steps[k];
        if (!step.putBack)
            continue;
        if (options.stop && options.stop->load()) {
            result.steps[k].outcome = StepOutcome::Stopped;
            continue;
        }
        if (std::optional<StepResult> done = applier.putBack(k, step))
            result.steps[k] = std::move(*done);
        ++progress.done;
        progress.bytesCopied = result.bytesCopied;
        if (options.progress)
            options.progress(progress);
        applier.name(false);
    }
    // What was written before a stop is named all the same: it is whole.
    applier.name(true);
    applier.syncFolders();
    return result;
}

namespace {

// Whether `folder` holds nothing but entries in `removed`.
bool emptyBut(const std::string& folder, const std::set<std::string>& removed)
{
    DIR* stream = ::opendir(folder.c_str());
    if (!stream)
        return false;
    bool empty = true;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (!removed.contains(folder + "/" + std::string(name))) {
            empty = false;
            break;
        }
    }
    ::closedir(stream);
    return empty;
}

// Undoes the journal, or with `act` false tells what undoing it would do.
UndoResult undo(const std::string& journalPath, bool act, const std::atomic<bool>* stop)
{
    UndoResult result;
    const std::optional<std::vector<JournalEntry>> entries = readJournal(journalPath, result.error);
    if (!entries)
        return result;
    result.read = true;
    std::set<std::string> removed; // previewed
    const auto keep = [&](const JournalEntry& entry, std::string why) {
        result.kept.push_back(quoteName(entry.path) + ": " + why);
        result.items.push_back({entry.path, entry.kind == JournalEntry::Kind::Folder, UndoItem::Action::Keep,
                                std::move(why)});
    };
    const auto gone = [&](const JournalEntry& entry) {
        ++result.alreadyGone;
        result.items.push_back(
            {entry.path, entry.kind == JournalEntry::Kind::Folder, UndoItem::Action::Gone, {}});
    };
    // Removes a file (or previews it); false when it cannot be.
    const auto remove = [&](const JournalEntry& entry) {
        if (act && ::unlink(entry.path.c_str()) != 0) {
            if (errno == ENOENT)
                gone(entry);
            else
                keep(entry, systemErrorText(errno));
            return;
        }
        removed.insert(entry.path);
        ++result.removedFiles;
        result.items.push_back({entry.path, false, UndoItem::Action::Remove, {}});
    };
    for (auto it = entries->rbegin(); it != entries->rend(); ++it) {
        const JournalEntry& entry = *it;
        if (stop && stop->load()) {
            result.stopped = true;
            keep(entry, "not tried: the undo was stopped");
            continue;
        }
        struct stat st;
        if (entry.kind == JournalEntry::Kind::Folder) {
            if (::lstat(entry.path.c_str(), &st) != 0 && errno == ENOENT) {
                gone(entry);
            } else if (!act) {
                if (S_ISDIR(st.st_mode) && emptyBut(entry.path, removed)) {
                    removed.insert(entry.path);
                    ++result.removedFolders;
                    result.items.push_back({entry.path, true, UndoItem::Action::Remove, {}});
                } else {
                    keep(entry, "not empty");
                }
            } else if (::rmdir(entry.path.c_str()) == 0) {
                ++result.removedFolders;
                result.items.push_back({entry.path, true, UndoItem::Action::Remove, {}});
            } else if (errno == ENOENT) {
                gone(entry);
            } else if (errno == ENOTEMPTY || errno == EEXIST) {
                keep(entry, "not empty");
            } else {
                keep(entry, systemErrorText(errno));
            }
            continue;
        }
        if (entry.kind == JournalEntry::Kind::Temporary) {
            // Renamed into place or removed by the run, unless it was cut
            // short: then a copy that never got its name.
            if (::lstat(entry.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            remove(entry);
            continue;
        }
        if (::lstat(entry.path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                gone(entry);
            else
                keep(entry, systemErrorText(errno));
            continue;
        }
        if (entry.kind == JournalEntry::Kind::Link) {
            if (static_cast<std::uint64_t>(st.st_dev) != entry.device ||
                static_cast<std::uint64_t>(st.st_ino) != entry.inode) {
                keep(entry, "replaced since it was put back");
                continue;
            }
            if (st.st_nlink < 2) {
                keep(entry, "its source is gone: this is the last link to the file");
                continue;
            }
        } else {
            const bool same = S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) == entry.content.size &&
                              hashFile(entry.path) == entry.content;
            if (!same) {
                keep(entry, "changed since it was put back");
                continue;
            }
            if (hashFile(entry.source) != entry.content) {
                keep(entry, "its source " + quoteName(entry.source) + " is gone or changed: this is the only copy");
                continue;
            }
        }
        remove(entry);
    }
    return result;
}

} // namespace

UndoResult previewUndo(const std::string& journal, const std::atomic<bool>* stop)
{
    return undo(journal, false, stop);
}

UndoResult undoRestore(const std::string& journal, const std::atomic<bool>* stop)
{
    return undo(journal, true, stop);
}

} // namespace korvane
