#include "search/walk_stack.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace korvane {

namespace {

void joinPath(std::string& out, std::string_view folder, std::string_view name)
{
    out.assign(folder);
    if (out.empty() || out.back() != '/')
        out += '/';
    out.append(name);
}

} // namespace

WalkStack::WalkStack(const WalkBounds& bounds, FolderReader& reader, WorkerPool* workers, const IndexOptions& options)
    : bounds_(bounds), reader_(reader), workers_(workers), options_(options),
      mostAhead_(16 * (workers ? workers->size() : 1)), disk_(options.readAhead),
      readers_(workers ? workers->size() : 0)
{
}

WalkStack::~WalkStack()
{
    std::unique_lock lock(mutex_);
    quitting_ = true;
    done_.wait(lock, [this] { return tasks_ == 0; });
}

void WalkStack::pushRoot(PendingFolder root)
{
    const std::lock_guard lock(mutex_);
    stack_.push_front(std::move(root)); // the first root on top
    readAhead(1);
}

std::optional<WalkStack::Taken> WalkStack::take()
{
    std::unique_lock lock(mutex_);
    if (stack_.empty() || stopped())
        return std::nullopt;
    // Only this thread changes the stack: `top` stays where it is.
    PendingFolder& top = stack_.back();
    if (!top.read) {
        const Task task = takeTask(top);
        lock.unlock();
        const bool slowBefore = disk_.slow();
        const auto start = std::chrono::steady_clock::now();
        gather(reader_, task);
        disk_.timed(std::chrono::steady_clock::now() - start);
        lock.lock();
        if (!slowBefore && disk_.slow())
            readAhead(workers_ ? workers_->size() : 0);
    } else {
        waitingFor_ = top.read;
        done_.wait(lock, [&] { return top.read->done; });
        waitingFor_ = nullptr;
    }
    Taken taken;
    taken.folder = std::move(stack_.back());
    stack_.pop_back();
    taken.read = taken.folder.read;
    taken.entered = !taken.read->failure && enters(taken.folder, taken.read->listing);
    lock.unlock();
    if (taken.read->failure)
        std::rethrow_exception(taken.read->failure);
    return taken;
}

void WalkStack::finish(FolderRead* read, std::vector<PendingFolder>& children, std::vector<PendingFolder>& linked)
{
    const std::lock_guard lock(mutex_);
    read->done = false;
    spare_.push_back(read);
    --outstanding_;
    for (PendingFolder& below : children)
        stack_.push_back(std::move(below));
    for (PendingFolder& through : linked)
        stack_.push_front(std::move(through));
    readAhead(children.size() + linked.size() + 1);
    children.clear();
    linked.clear();
}

WalkStack::Task WalkStack::takeTask(PendingFolder& pending)
{
    if (spare_.empty()) {
        reads_.push_back(std::make_unique<FolderRead>());
        spare_.push_back(reads_.back().get());
    }
    pending.read = spare_.back();
    spare_.pop_back();
    ++outstanding_;
    Task task;
    if (pending.parentPath)
        joinPath(task.path, *pending.parentPath, pending.name);
    else
        task.path = pending.name;
    task.sameDevice = pending.sameDevice;
    task.parentDevice = pending.parentDevice;
    task.read = pending.read;
    return task;
}

// Reads a folder and, where the walk will enter it, follows its links.
// Safe on any thread: it touches no part of the index.
void WalkStack::gather(FolderReader& reader, const Task& task) const
{
    FolderRead& read = *task.read;
    try {
        read.links.clear();
        read.error = reader.list(task.path, read.listing);
        const FolderListing& listing = read.listing;
        if (!listing.identity() || bounds_.isExcluded(*listing.identity()) || !listing.enterable() ||
            (task.sameDevice && task.parentDevice != listing.identity()->device) || seen(*listing.identity()))
            return;
        std::string linkPath;
        std::string real;
        for (std::size_t k = 0; k < listing.size(); ++k) {
            if (listing.kind(k) != EntryKind::Link)
                continue;
            linkPath.assign(task.path);
            if (linkPath.size() > 1)
                linkPath += '/';
            linkPath.append(listing.name(k));
            read.links.push_back(bounds_.follow(reader, linkPath, real));
        }
    } catch (...) {
        read.failure = std::current_exception();
    }
}

bool WalkStack::seen(const FolderIdentity& identity) const
{
    const std::lock_guard lock(mutex_);
    return visited_.contains(identity);
}

// Whether the folder just read is to be entered; marks it visited. With
// mutex_ held.
bool WalkStack::enters(const PendingFolder& folder, const FolderListing& listing)
{
    if (!listing.identity() || bounds_.isExcluded(*listing.identity()))
        return false; // not opened, or the system's
    if (folder.sameDevice && folder.parentDevice != listing.identity()->device)
        return false; // on another file system; a root there is read all the same
    return visited_.insert(*listing.identity()).second; // else read before
}

// The topmost folder on the stack that no thread has taken. Folders read
// ahead wait to be taken into the index; past mostAhead_ of them only the
// top one is read, so that what waits stays bounded.
PendingFolder* WalkStack::pick()
{
    if (quitting_ || !disk_.slow() || stopped())
        return nullptr;
    for (std::size_t k = stack_.size(); k-- > 0;) {
        if (!stack_[k].read)
            return outstanding_ < mostAhead_ || k + 1 == stack_.size() ? &stack_[k] : nullptr;
    }
    return nullptr;
}

void WalkStack::readAhead(std::size_t count)
{
    if (!workers_ || !disk_.slow() || quitting_ || stopped())
        return;
    const std::size_t room = workers_->size() - std::min(tasks_, workers_->size());
    for (std::size_t k = std::min(count, room); k > 0; --k) {
        ++tasks_;
        if (!workers_->submit([this](std::size_t worker) { readOne(worker); })) {
            --tasks_; // no thread: the walking thread reads alone
            return;
        }
    }
}

void WalkStack::readOne(std::size_t worker)
{
    std::unique_lock lock(mutex_);
    if (PendingFolder* next = pick()) {
        const Task task = takeTask(*next);
        lock.unlock();
        try {
            gather(readerOf(worker), task);
            if (!options_.reader && (task.read->error == EMFILE || task.read->error == ENFILE)) {
                // Every thread's reader keeps the folders above its last one
                // open: this one lets go of its own and tries once more.
                readers_[worker].reset();
                gather(readerOf(worker), task);
            }
        } catch (...) {
            task.read->failure = std::current_exception();
        }
        lock.lock();
        task.read->done = true;
        --tasks_;
        if (pick())
            readAhead(1); // the next folder, in this one's place
    } else {
        --tasks_;
    }
    // The walking thread waits for a folder, or for the last task to end.
    if (waitingFor_ || (quitting_ && tasks_ == 0))
        done_.notify_all();
}

FolderReader& WalkStack::readerOf(std::size_t worker)
{
    if (options_.reader)
        return *options_.reader;
    std::unique_ptr<FolderReader>& own = readers_[worker];
    if (!own)
        own = makeRelativeFolderReader();
    return *own;
}

} // namespace korvane
