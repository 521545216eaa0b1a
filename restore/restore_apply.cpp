#include "restore/restore_apply.h"

#include "restore/apply_failure.h"
#include "restore/copy_sealer.h"
#include "restore/folder_tree.h"
#include "restore/source_file.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

// Copies `in` into `out` (a clone where the file systems offer one);
// see content_copy.cpp.
int copyContent(int in, int out, std::uint64_t size, const std::stop_token& stop, std::uint64_t& copied,
                bool& tryClone);

namespace {

// A chunk of steps goes through the journal together: its intents synced
// before any of it is done, its copies' identities synced before any is
// named. Past these, a new chunk begins.
constexpr std::size_t kChunkSteps = 128;
constexpr std::uint64_t kChunkBytes = std::uint64_t{512} << 20;

std::int64_t nanoseconds(const timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// One step of a chunk, on its way.
struct Put {
    std::size_t step = 0;
    std::uint64_t id = 0;
    FolderRef folder;
    std::string name;
    std::string temporary;
    std::unique_ptr<WrittenCopy> copy; // while its copy waits to be named
};

class Applier {
public:
    Applier(const RestorePlan& plan, const ApplyOptions& options, JournalWriter& journal, ApplyResult& result)
        : plan_(plan), options_(options), journal_(journal), result_(result), folders_(journal, options.fault)
    {
    }

    ~Applier()
    {
        // Only when something threw: the temporaries of copies not named go.
        sealer_.reset();
        for (Put& put : waiting_)
            discard(put);
    }

    Applier(const Applier&) = delete;
    Applier& operator=(const Applier&) = delete;

    void run();

private:
    bool broken() const { return journal_.error() != 0; }
    std::vector<Put> start(const std::vector<std::size_t>& chunk);
    void act(Put& put);
    bool link(Put& put, const SourceFile& source);
    void copy(Put& put, const SourceFile& source);
    void name(std::vector<Put>& puts);
    void giveName(Put& put);
    void end(Put& put, StepOutcome outcome, std::string error = {});
    void discard(Put& put);
    void record(JournalRecord::Kind kind, const Put& put);
    void progress(const ApplyProgress& where) const;
    std::string rootProblem(const std::string& root);
    void syncFolders();

    const RestorePlan& plan_;
    const ApplyOptions& options_;
    JournalWriter& journal_;
    ApplyResult& result_;
    FolderTree folders_;
    std::map<std::string, std::string> roots_; // by root: why nothing may go below it, or empty
    std::map<std::string, FolderRef> written_;    // the folders files were named in
    std::map<dev_t, bool> syncsWhole_;             // by device: whether one sync of it does for a batch
    std::set<std::pair<dev_t, dev_t>> noClone_;    // from, to: file systems that refused a clone
    std::optional<CopySealer> sealer_;
    std::vector<Put> waiting_; // copies written, not yet named
    ApplyProgress done_;
};

std::string Applier::rootProblem(const std::string& root)
{
    const auto known = roots_.find(root);
    if (known != roots_.end())
        return known->second;
    // The disk may have gone since the plan was made.
    std::string folder;
    std::string problem = unmountedRootProblem(root, options_.mounts, folder);
    if (!problem.empty()) {
        RestoreStep step;
        step.reason = LeftReason::NotMounted;
        step.detail = folder;
        step.error = ::access(folder.c_str(), F_OK) == 0 ? 0 : ENOENT;
        problem = describeLeft(step);
    } else {
        problem = folders_.addRoot(root);
    }
    return roots_[root] = problem;
}

// Announces the steps of a chunk in the journal: their folders made, each
// step's intent written, all synced. The steps that cannot begin end here.
std::vector<Put> Applier::start(const std::vector<std::size_t>& chunk)
{
    std::vector<std::pair<std::string, std::string>> wanted;
    std::vector<std::size_t> steps;
    for (const std::size_t k : chunk) {
        const RestoreStep& step = plan_.steps[k];
        if (std::string problem = rootProblem(step.root); !problem.empty()) {
            result_.steps[k] = {StepOutcome::Failed, std::move(problem)};
            ++done_.done;
            continue;
        }
        wanted.emplace_back(step.root, std::string(folderPart(step.destination)));
        steps.push_back(k);
    }
    const std::vector<FolderTree::Result> folders = folders_.prepare(wanted);
    std::vector<Put> puts;
    for (std::size_t j = 0; j < steps.size(); ++j) {
        const RestoreStep& step = plan_.steps[steps[j]];
        if (!folders[j].folder) {
            result_.steps[steps[j]] = {broken() ? StepOutcome::Stopped : StepOutcome::Failed, folders[j].error};
            ++done_.done;
            continue;
        }
        Put& put = puts.emplace_back();
        put.step = steps[j];
        put.folder = folders[j].folder;
        put.name = std::string(namePart(step.destination));
        put.temporary = newTemporaryName();
        put.id = journal_.nextId();
        JournalRecord intent;
        intent.kind = JournalRecord::Kind::Put;
        intent.id = put.id;
        intent.path = step.destination;
        intent.temporary = std::string(folderPart(step.destination)) + "/" + put.temporary;
        if (intent.temporary.starts_with("//"))
            intent.temporary.erase(0, 1);
        intent.source = step.source;
        intent.device = step.sourceIdentity.device;
        intent.inode = step.sourceIdentity.inode;
        intent.size = step.sourceIdentity.size;
        intent.time = step.sourceIdentity.mtime;
        journal_.add(intent);
    }
    if (!journal_.sync()) {
        for (Put& put : puts)
            end(put, StepOutcome::Stopped);
        puts.clear();
    }
    return puts;
}

void Applier::record(JournalRecord::Kind kind, const Put& put)
{
    JournalRecord record;
    record.kind = kind;
    record.id = put.id;
    journal_.add(record);
}

void Applier::progress(const ApplyProgress& where) const
{
    if (options_.progress)
        options_.progress(where);
}

// Ends a step that put nothing back: its intent closed in the journal.
void Applier::end(Put& put, StepOutcome outcome, std::string error)
{
    if (outcome != StepOutcome::Linked && outcome != StepOutcome::Copied && !broken())
        record(JournalRecord::Kind::Dropped, put);
    if (error.empty() && broken() && outcome == StepOutcome::Stopped)
        error = failure("cannot write the journal", journal_.path(), journal_.error());
    result_.steps[put.step] = {outcome, std::move(error)};
}

void Applier::act(Put& put)
{
    const RestoreStep& step = plan_.steps[put.step];
    struct stat st {};
    if (::fstatat(put.folder->fd(), put.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return end(put, StepOutcome::Appeared);
    std::string error;
    const std::optional<SourceFile> source = SourceFile::open(step, error);
    if (!source)
        return end(put, StepOutcome::Failed, std::move(error));
    if (!options_.forceCopy && link(put, *source))
        return;
    if (result_.steps[put.step].outcome == StepOutcome::Left)
        copy(put, *source);
}

// Puts the file back as a hard link; false when a copy is to be tried
// instead (the file systems differ, or refuse links).
bool Applier::link(Put& put, const SourceFile& source)
{
    const int injected = faultAt(options_.fault, "link");
    const int error = injected != 0 ? injected : source.linkInto(put.folder->fd(), put.name.c_str());
    if (error == EXDEV || error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP)
        return false;
    if (error == EEXIST) {
        end(put, StepOutcome::Appeared);
        return true;
    }
    if (error != 0) {
        end(put, StepOutcome::Failed, failure("cannot link", plan_.steps[put.step].destination, error));
        return true;
    }
    struct stat st {};
    ::fstatat(put.folder->fd(), put.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    JournalRecord linked;
    linked.kind = JournalRecord::Kind::Linked;
    linked.id = put.id;
    linked.time = nanoseconds(st.st_ctim);
    journal_.add(linked);
    written_.emplace(put.folder->path(), put.folder);
    ++result_.linked;
    result_.steps[put.step] = {StepOutcome::Linked, {}};
    return true;
}

// Writes the copy under its temporary name and hands it to be sealed; it
// waits among the chunk's copies to be named.
void Applier::copy(Put& put, const SourceFile& source)
{
    const RestoreStep& step = plan_.steps[put.step];
    const int injected = faultAt(options_.fault, "create");
    const int out = injected != 0 ? -1
                                  : ::openat(put.folder->fd(), put.temporary.c_str(),
                                             O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        return end(put, StepOutcome::Failed, failure("cannot write in", put.folder->path(), injected ? injected : errno));
    auto written = std::make_unique<WrittenCopy>();
    written->out = out;
    written->step = put.step;
    written->id = put.id;
    written->folder = put.folder;
    written->temporary = put.temporary;
    written->name = put.name;
    put.copy = std::move(written);
    const int in = source.openForReading();
    std::uint64_t copied = 0;
    int error = in < 0 ? errno : faultAt(options_.fault, "copy");
    // Between file systems that refused a clone once, none is tried again.
    const auto devices = std::pair(static_cast<dev_t>(step.sourceIdentity.device), put.folder->device());
    bool tryClone = !noClone_.contains(devices);
    if (error == 0)
        error = copyContent(in, out, step.sourceIdentity.size, options_.stop, copied, tryClone);
    if (!tryClone)
        noClone_.insert(devices);
    if (in >= 0) {
        struct stat from {};
        if (::fstat(in, &from) == 0 && error == 0) {
            const timespec times[2] = {from.st_atim, from.st_mtim};
            ::fchmod(out, from.st_mode & 0777);
            ::futimens(out, times);
        }
        ::close(in);
    }
    struct stat made {};
    if (error == 0 && ::fstat(out, &made) != 0)
        error = errno;
    if (error != 0) {
        const bool stopped = error == EINTR && options_.stop.stop_requested();
        discard(put);
        return end(put, stopped ? StepOutcome::Stopped : StepOutcome::Failed,
                   stopped ? std::string() : failure("cannot copy to", step.destination, error));
    }
    // Writing back starts now, so that the sync, later, has little to wait for.
    ::sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
    put.copy->bytes = copied;
    put.copy->device = made.st_dev;
    put.copy->inode = made.st_ino;
    put.copy->birth = birthTime(out, "");
    const auto whole = syncsWhole_.try_emplace(made.st_dev, false);
    if (whole.second)
        whole.first->second = syncsWholeFileSystem(out);
    put.copy->withFileSystem = whole.first->second;
    done_.bytesCopied += copied;
    if (!sealer_)
        sealer_.emplace(options_.fault);
    sealer_->give(*put.copy, false);
}

// Removes the temporary of a copy that will not be named.
void Applier::discard(Put& put)
{
    if (!put.copy)
        return;
    if (put.copy->out >= 0)
        ::close(std::exchange(put.copy->out, -1));
    if (faultAt(options_.fault, "unlink") == 0)
        ::unlinkat(put.folder->fd(), put.temporary.c_str(), 0);
    put.copy.reset();
}

// Names the copies of a chunk once sealed: their identities and digests
// into the journal, synced, then each renamed into place.
void Applier::name(std::vector<Put>& puts)
{
    for (Put& put : puts) {
        if (!put.copy)
            continue;
        sealer_->wait(*put.copy);
        if (!put.copy->error.empty()) {
            std::string error = std::move(put.copy->error);
            discard(put);
            end(put, StepOutcome::Failed, std::move(error));
            continue;
        }
        JournalRecord written;
        written.kind = JournalRecord::Kind::Written;
        written.id = put.id;
        written.device = static_cast<std::uint64_t>(put.copy->device);
        written.inode = static_cast<std::uint64_t>(put.copy->inode);
        written.birth = put.copy->birth;
        written.size = put.copy->content.size;
        written.digest = put.copy->content.digest;
        journal_.add(written);
    }
    const bool synced = journal_.sync();
    for (Put& put : puts) {
        if (!put.copy)
            continue;
        if (synced) {
            giveName(put);
        } else {
            discard(put);
            end(put, StepOutcome::Stopped);
        }
    }
}

// Renames a sealed copy into place, unless something holds its name.
void Applier::giveName(Put& put)
{
    const int dir = put.folder->fd();
    const char* temporary = put.temporary.c_str();
    const char* name = put.name.c_str();
    int error = faultAt(options_.fault, "rename");
    if (error == 0 && ::renameat2(dir, temporary, dir, name, RENAME_NOREPLACE) != 0)
        error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without renaming that refuses to replace: a link refuses.
        error = ::linkat(dir, temporary, dir, name, 0) == 0 ? 0 : errno;
        if (error == 0)
            ::unlinkat(dir, temporary, 0);
    }
    if (error != 0) {
        discard(put);
        return error == EEXIST ? end(put, StepOutcome::Appeared)
                               : end(put, StepOutcome::Failed,
                                     failure("cannot name", plan_.steps[put.step].destination, error));
    }
    struct stat st {};
    ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW);
    JournalRecord copied;
    copied.kind = JournalRecord::Kind::Copied;
    copied.id = put.id;
    copied.time = nanoseconds(st.st_ctim);
    journal_.add(copied);
    written_.emplace(put.folder->path(), put.folder);
    ++result_.copied;
    result_.bytesCopied += put.copy->bytes;
    result_.steps[put.step] = {StepOutcome::Copied, {}};
    put.copy.reset();
}

void Applier::run()
{
    // Chunks in the order of the plan, each no more than so many steps or bytes.
    std::vector<std::vector<std::size_t>> chunks;
    std::uint64_t bytes = 0;
    for (std::size_t k = 0; k < plan_.steps.size(); ++k) {
        if (!plan_.steps[k].putBack)
            continue;
        ++done_.total;
        if (chunks.empty() || chunks.back().size() >= kChunkSteps || bytes >= kChunkBytes)
            chunks.emplace_back(), bytes = 0;
        chunks.back().push_back(k);
        bytes += plan_.steps[k].sourceIdentity.size;
    }
    std::vector<Put> earlier; // the chunk before, its copies being sealed
    for (const std::vector<std::size_t>& chunk : chunks) {
        if (broken() || options_.stop.stop_requested()) {
            for (const std::size_t k : chunk)
                result_.steps[k] = {StepOutcome::Stopped, broken() ? failure("cannot write the journal", journal_.path(),
                                                                             journal_.error())
                                                                   : std::string()};
            continue;
        }
        std::vector<Put> puts = start(chunk);
        for (Put& put : puts) {
            if (broken() || options_.stop.stop_requested())
                end(put, StepOutcome::Stopped);
            else
                act(put);
            ++done_.done;
            progress(done_);
        }
        if (sealer_)
            sealer_->endBatch();
        name(earlier);
        earlier = std::move(puts);
    }
    // What was written before a stop is named all the same: it is whole.
    name(earlier);
    folders_.removeEmptyMade();
    journal_.sync();
    syncFolders();
    if (broken())
        result_.journalError = journal_.error();
}

// Every folder written in, and every folder a folder was made in, synced
// once so that the names given survive.
void Applier::syncFolders()
{
    for (const FolderRef& folder : folders_.touched())
        written_.emplace(folder->path(), folder);
    for (const auto& [path, folder] : written_) {
        const int fd = ::openat(folder->fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
}

// Lets the run hold a descriptor for every copy waiting and folder open.
void raiseFileLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

} // namespace

ApplyResult applyRestorePlan(const RestorePlan& plan, const ApplyOptions& options)
{
    ApplyResult result;
    result.steps.resize(plan.steps.size());
    if (plan.putBackCount() == 0)
        return result;
    std::optional<JournalWriter> journal =
        JournalWriter::create(options.journalFolder, result.journalError, options.fault);
    if (!journal)
        return result;
    result.journal = journal->path();
    raiseFileLimit();
    Applier(plan, options, *journal, result).run();
    return result;
}

} // namespace korvane
