#include "restore/restore_apply.h"

#include "text/terminal_quote.h"
#include "text/system_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <set>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

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

private:
    int fd_;
};

class Applier {
public:
    Applier(const ApplyOptions& options, JournalWriter& journal, ApplyResult& result)
        : options_(options), journal_(journal), result_(result)
    {
    }

    StepResult putBack(const RestoreStep& step)
    {
        struct stat st;
        if (::lstat(step.destination.c_str(), &st) == 0)
            return {StepOutcome::Appeared, {}};
        const std::string folder = folderOf(step.destination);
        if (std::string error = makeFolders(folder); !error.empty())
            return {StepOutcome::Failed, std::move(error)};
        touched_.insert(folder);
        if (!options_.forceCopy) {
            const int linked = options_.link ? options_.link(step.source.c_str(), step.destination.c_str())
                                             : ::linkat(AT_FDCWD, step.source.c_str(), AT_FDCWD,
                                                        step.destination.c_str(), AT_SYMLINK_FOLLOW);
            if (linked == 0)
                return recordLink(step);
            if (errno == EEXIST)
                return {StepOutcome::Appeared, {}};
            if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOTSUP && errno != EOPNOTSUPP)
                return {StepOutcome::Failed, failure("cannot link", step.destination, errno)};
        }
        return copy(step, folder);
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

    // Copies `in` into `out`: a clone where the file system offers one, else
    // copy_file_range, else read and write. 0 or the error.
    int copyContent(int in, int out, std::uint64_t size)
    {
        if (::ioctl(out, FICLONE, in) == 0)
            return 0;
        std::uint64_t done = 0;
        bool ranged = true;
        std::vector<char> buffer;
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
                buffer.resize(1 << 20);
                n = ::read(in, buffer.data(), std::min(chunk, buffer.size()));
                for (ssize_t written = 0; n > 0 && written < n;) {
                    const ssize_t w = ::write(out, buffer.data() + written, static_cast<std::size_t>(n - written));
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

    StepResult copy(const RestoreStep& step, const std::string& folder)
    {
        // Without blocking: a FIFO or a device put in the file's place is
        // refused, not waited on or read.
        const int in = ::open(step.source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (in < 0)
            return {StepOutcome::Failed, failure("cannot read", step.source, errno)};
        FileCloser closeIn(in);
        struct stat source;
        if (::fstat(in, &source) != 0)
            return {StepOutcome::Failed, failure("cannot read", step.source, errno)};
        if (!S_ISREG(source.st_mode))
            return {StepOutcome::Failed, failure("cannot read", step.source, EINVAL)};
        std::string temporary = folder + "/.korvane-put-back-XXXXXX";
        const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (out < 0)
            return {StepOutcome::Failed, failure("cannot write in", folder, errno)};
        FileCloser closeOut(out);
        const auto give_up = [&](std::string_view what, const std::string& path, int error) {
            ::unlink(temporary.c_str());
            return StepResult{StepOutcome::Failed, failure(what, path, error)};
        };
        const std::uint64_t before = result_.bytesCopied;
        if (const int error = copyContent(in, out, static_cast<std::uint64_t>(source.st_size)); error != 0) {
            result_.bytesCopied = before;
            if (error == EINTR && stopped()) {
                ::unlink(temporary.c_str());
                return {StepOutcome::Stopped, {}};
            }
            return give_up("cannot copy to", step.destination, error);
        }
        const timespec times[2] = {source.st_atim, source.st_mtim};
        ::fchmod(out, source.st_mode & 0777);
        ::futimens(out, times);
        if (::fsync(out) != 0)
            return give_up("cannot write", temporary, errno);
        const std::optional<ContentHash> written = hashOpenFile(out);
        if (!written)
            return give_up("cannot read", temporary, errno);
        if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, step.destination.c_str(), RENAME_NOREPLACE) != 0) {
            if (errno == EEXIST) {
                ::unlink(temporary.c_str());
                return {StepOutcome::Appeared, {}};
            }
            if (errno != EINVAL && errno != ENOSYS)
                return give_up("cannot name", step.destination, errno);
            // A file system without renaming that refuses to replace: a link refuses.
            if (::link(temporary.c_str(), step.destination.c_str()) != 0) {
                const int error = errno;
                ::unlink(temporary.c_str());
                if (error == EEXIST)
                    return {StepOutcome::Appeared, {}};
                return {StepOutcome::Failed, failure("cannot name", step.destination, error)};
            }
            ::unlink(temporary.c_str());
        }
        JournalEntry entry{JournalEntry::Kind::Copy, step.destination, step.source, 0, 0, *written};
        if (!journal_.add(entry))
            return {StepOutcome::Failed, failure("cannot write the journal", journal_.path(), errno)};
        ++result_.copied;
        return {StepOutcome::Copied, {}};
    }

    const ApplyOptions& options_;
    JournalWriter& journal_;
    ApplyResult& result_;
    std::set<std::string> touched_;
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
        result.steps[k] = applier.putBack(step);
        ++progress.done;
        progress.bytesCopied = result.bytesCopied;
        if (options.progress)
            options.progress(progress);
    }
    applier.syncFolders();
    return result;
}

UndoResult undoRestore(const std::string& journalPath)
{
    UndoResult result;
    const std::optional<std::vector<JournalEntry>> entries = readJournal(journalPath, result.error);
    if (!entries)
        return result;
    result.read = true;
    const auto keep = [&](const std::string& path, std::string_view why) {
        result.kept.push_back(quoteName(path) + ": " + std::string(why));
    };
    for (auto it = entries->rbegin(); it != entries->rend(); ++it) {
        const JournalEntry& entry = *it;
        struct stat st;
        if (entry.kind == JournalEntry::Kind::Folder) {
            if (::rmdir(entry.path.c_str()) == 0)
                ++result.removedFolders;
            else if (errno == ENOENT)
                ++result.alreadyGone;
            else if (errno == ENOTEMPTY || errno == EEXIST)
                keep(entry.path, "not empty");
            else
                keep(entry.path, systemErrorText(errno));
            continue;
        }
        if (::lstat(entry.path.c_str(), &st) != 0) {
            if (errno == ENOENT)
                ++result.alreadyGone;
            else
                keep(entry.path, systemErrorText(errno));
            continue;
        }
        if (entry.kind == JournalEntry::Kind::Link) {
            if (static_cast<std::uint64_t>(st.st_dev) != entry.device ||
                static_cast<std::uint64_t>(st.st_ino) != entry.inode) {
                keep(entry.path, "replaced since it was put back");
                continue;
            }
            if (st.st_nlink < 2) {
                keep(entry.path, "its source is gone: this is the last link to the file");
                continue;
            }
        } else {
            const bool same = S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) == entry.content.size &&
                              hashFile(entry.path) == entry.content;
            if (!same) {
                keep(entry.path, "changed since it was put back");
                continue;
            }
            if (hashFile(entry.source) != entry.content) {
                keep(entry.path,
                     "its source " + quoteName(entry.source) + " is gone or changed: this is the only copy");
                continue;
            }
        }
        if (::unlink(entry.path.c_str()) == 0)
            ++result.removedFiles;
        else
            keep(entry.path, systemErrorText(errno));
    }
    return result;
}

} // namespace korvane
