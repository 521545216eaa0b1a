#include "search/file_index.h"

#include "text/unicode_text.h"
#include "text/system_error.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace korvane {

namespace {

struct IdentityHash {
    std::size_t operator()(const FolderIdentity& id) const noexcept
    {
        return std::hash<std::uint64_t>{}(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

std::uint32_t checkedOffset(std::size_t size)
{
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("file index: more than 4 GB of names");
    return static_cast<std::uint32_t>(size);
}

// Whether `path` is `folder` or lies below it.
bool isBelow(std::string_view path, std::string_view folder)
{
    return path.starts_with(folder) && (path.size() == folder.size() || folder == "/" || path[folder.size()] == '/');
}

// Folders of the kernel's, never media: not even a root there is read.
bool isKernelPath(std::string_view path)
{
    return isBelow(path, "/proc") || isBelow(path, "/sys");
}

bool isSystemPath(std::string_view path)
{
    return isKernelPath(path) || isBelow(path, "/dev");
}

std::string absoluteFolder(const std::string& root)
{
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(root.empty() ? "." : root, ec);
    if (ec)
        path = root;
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

std::string WalkProblem::message() const
{
    return path + ": " + systemErrorText(error);
}

namespace {

// Where a symbolic link leads, as far as the walk is concerned: a file or a
// folder below the roots; Other for a link not followed.
struct LinkTarget {
    EntryKind kind = EntryKind::Other;
    FolderIdentity identity;
};

// One folder as read, on whichever thread read it.
struct FolderRead {
    int error = 0;
    FolderListing listing;
    std::vector<LinkTarget> links; // of the listing's links in order, when they were followed
    bool done = false;
    std::exception_ptr failure;
};

// A folder to read and where its path comes from. With `jobs` threads the
// path is made here rather than from the index, which grows meanwhile.
struct Pending {
    FolderId folder = kNoFolder;
    std::shared_ptr<const std::string> parentPath; // null for a root: `name` is then its path
    std::string name;
    bool sameDevice = false; // one file system: entered only on the device of the folder it is in
    std::uint64_t parentDevice = 0;
    FolderRead* read = nullptr; // once a thread has taken it
};

// A folder taken to be read: what the thread reading it needs.
struct Task {
    std::string path;
    bool sameDevice = false;
    std::uint64_t parentDevice = 0;
    FolderRead* read = nullptr;
};

} // namespace

// One build. The folders still to read are a stack: a folder's subfolders
// go on top as it is taken into the index, so the walk goes deep first, and
// folders reached through links go to the bottom, read after all the others.
// Once reading folders proves slow, helper threads read folders near the
// top ahead of time (until then the calling thread reads alone); it
// takes each into the index in the order of the stack, so the index is the
// same whatever the number of helpers (none with jobs = 1). The folders read
// ahead are all on the stack already: each would be read by a walk with one
// thread too, so reading ahead only brings the reads forward.
class FileIndex::Walk {
    static constexpr std::size_t kSlowInARow = 3;

public:
    Walk(FileIndex& index, const IndexOptions& options)
        : index_(index), ownReader_(options.reader ? nullptr : makeRelativeFolderReader()),
          reader_(options.reader ? *options.reader : *ownReader_), options_(options),
          jobs_(static_cast<std::size_t>(std::max(1, options.jobs))), mostAhead_(16 * jobs_),
          readingAhead_(options.slowRead.count() <= 0)
    {
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;
    ~Walk() { stopHelpers(); }

    void run(const std::vector<std::string>& roots)
    {
        for (const char* system : {"/proc", "/sys", "/dev"}) {
            EntryKind kind = EntryKind::Other;
            FolderIdentity identity;
            if (reader_.follow(system, kind, identity) == 0 && kind == EntryKind::Folder)
                excluded_.push_back(identity);
        }
        for (const std::string& root : roots) {
            index_.roots_.push_back(absoluteFolder(root));
            const FolderId folder = folderForPath(index_.roots_.back());
            std::string real;
            if (reader_.realPath(index_.roots_.back(), real) == 0) {
                if (isKernelPath(real))
                    continue; // a root below /dev is read (/dev/shm holds files), /dev itself never

                realRoots_.push_back(std::move(real));
            }
            rootFolders_.insert(folder);
            Pending pending;
            pending.folder = folder;
            pending.name = index_.folderPath(folder);
            stack_.push_front(std::move(pending)); // the first root on top
        }
        startHelpers();
        walk();
    }

private:
    bool stopped() const { return options_.stop && options_.stop->load(std::memory_order_relaxed); }

    void startHelpers()
    {
        try {
            while (helpers_.size() + 1 < jobs_)
                helpers_.emplace_back([this] { help(); });
        } catch (const std::system_error&) {
            // Fewer threads than asked for: the walk reads with those it has.
        }
    }

    void stopHelpers()
    {
        {
            const std::lock_guard lock(mutex_);
            quitting_ = true;
        }
        work_.notify_all();
        for (std::thread& helper : helpers_)
            helper.join();
        helpers_.clear();
    }

    // The calling thread: takes the folder on top of the stack into the
    // index, reading it first unless a helper has.
    void walk()
    {
        std::unique_lock lock(mutex_);
        while (!stack_.empty() && !stopped()) {
            Pending& top = stack_.back();
            if (!top.read) {
                Task task = take(top);
                lock.unlock();
                const auto start = std::chrono::steady_clock::now();
                gather(reader_, task);
                const bool slow = std::chrono::steady_clock::now() - start > options_.slowRead;
                lock.lock();
                slowInARow_ = slow ? slowInARow_ + 1 : 0;
                if (slowInARow_ == kSlowInARow && !helpers_.empty()) {
                    readingAhead_ = true;
                    work_.notify_all();
                }
            } else {
                waitingFor_ = top.read;
                done_.wait(lock, [&] { return top.read->done; });
                waitingFor_ = nullptr;
            }
            Pending folder = std::move(stack_.back());
            stack_.pop_back();
            FolderRead& read = *folder.read;
            const bool entered = !read.failure && enters(folder, read.listing);
            lock.unlock();
            if (read.failure)
                std::rethrow_exception(read.failure);
            add(folder, read, entered);
            lock.lock();
            read.done = false;
            spare_.push_back(&read);
            --outstanding_;
            for (Pending& below : children_)
                stack_.push_back(std::move(below));
            for (Pending& linked : linked_)
                stack_.push_front(std::move(linked));
            if (readingAhead_)
                wakeHelpers(children_.size() + linked_.size() + 1);
            children_.clear();
            linked_.clear();
        }
    }

    void wakeHelpers(std::size_t count)
    {
        for (std::size_t k = std::min(count, idle_); k > 0; --k)
            work_.notify_one();
    }

    // A helper thread: reads the topmost folder no thread has taken, with a
    // reader of its own unless the options give one.
    void help()
    {
        std::unique_ptr<FolderReader> own;
        try {
            if (!options_.reader)
                own = makeRelativeFolderReader();
        } catch (...) {
            return; // the other threads read without this one
        }
        std::unique_lock lock(mutex_);
        for (;;) {
            Pending* next = nullptr;
            ++idle_;
            work_.wait(lock, [&] { return quitting_ || (next = pick()) != nullptr; });
            --idle_;
            if (quitting_)
                return;
            Task task = take(*next);
            lock.unlock();
            gather(own ? *own : reader_, task);
            if (own && (task.read->error == EMFILE || task.read->error == ENFILE)) {
                // Every thread's reader keeps the folders above its last one open:
                // this one lets go of its own and tries once more.
                own.reset();
                own = makeRelativeFolderReader();
                gather(*own, task);
            }
            lock.lock();
            task.read->done = true;
            if (waitingFor_ == task.read)
                done_.notify_one();
        }
    }

    // The topmost folder on the stack that no thread has taken. Folders read
    // ahead wait to be taken into the index; past mostAhead_ of them only the
    // top one is read, so that what waits stays bounded.
    Pending* pick()
    {
        if (!readingAhead_ || stopped())
            return nullptr;
        for (std::size_t k = stack_.size(); k-- > 0;) {
            if (!stack_[k].read)
                return outstanding_ < mostAhead_ || k + 1 == stack_.size() ? &stack_[k] : nullptr;
        }
        return nullptr;
    }

    Task take(Pending& pending)
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

    static void joinPath(std::string& out, std::string_view folder, std::string_view name)
    {
        out.assign(folder);
        if (out.empty() || out.back() != '/')
            out += '/';
        out.append(name);
    }

    // Reads a folder and, where the walk will enter it, follows its links.
    // Safe on any thread: it touches no part of the index.
    void gather(FolderReader& reader, const Task& task) const
    {
        FolderRead& read = *task.read;
        try {
            read.links.clear();
            read.error = reader.list(task.path, read.listing);
            const FolderListing& listing = read.listing;
            if (!listing.identity() || isExcluded(*listing.identity()) || !listing.enterable() ||
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
                read.links.push_back(follow(reader, linkPath, real));
            }
        } catch (...) {
            read.failure = std::current_exception();
        }
    }

    bool seen(const FolderIdentity& identity) const
    {
        const std::lock_guard lock(mutex_);
        return visited_.contains(identity);
    }

    LinkTarget follow(FolderReader& reader, const std::string& linkPath, std::string& real) const
    {
        LinkTarget target;
        if (reader.follow(linkPath, target.kind, target.identity) != 0)
            return {}; // leads nowhere: neither a file nor a folder to search
        if ((target.kind != EntryKind::File && target.kind != EntryKind::Folder) ||
            !staysInside(reader, linkPath, target.kind, real))
            return {};
        return target;
    }

    // Whether the folder just read is to be entered; marks it visited. With
    // mutex_ held.
    bool enters(const Pending& folder, const FolderListing& listing)
    {
        if (!listing.identity() || isExcluded(*listing.identity()))
            return false; // not opened, or the system's
        if (folder.sameDevice && folder.parentDevice != listing.identity()->device)
            return false; // on another file system; a root there is read all the same
        return visited_.insert(*listing.identity()).second; // else read before
    }

    // Takes a folder read into the index: its problems, and when it is
    // entered its files, and its folders into children_ and linked_.
    void add(const Pending& folder, FolderRead& read, bool entered)
    {
        path_.clear();
        index_.appendFolderPath(folder.folder, path_);
        if (read.error)
            index_.problems_.push_back({path_, read.error});
        if (!entered)
            return;
        ++index_.foldersRead_;
        const FolderListing& listing = read.listing;
        if (!listing.enterable()) {
            // Its names are there, but none of its files could be opened.
            index_.problems_.push_back({path_, EACCES});
        } else {
            const std::uint64_t device = listing.identity()->device;
            std::shared_ptr<const std::string> path; // made once a folder below needs it
            const auto below = [&](std::vector<Pending>& to, std::string_view name) {
                if (!path)
                    path = std::make_shared<const std::string>(path_);
                Pending pending;
                pending.folder = addFolder(folder.folder, name);
                pending.parentPath = path;
                pending.name.assign(name);
                pending.sameDevice = options_.oneFileSystem && !rootFolders_.contains(pending.folder);
                pending.parentDevice = device;
                to.push_back(std::move(pending));
            };
            std::size_t link = 0;
            for (std::size_t k = 0; k < listing.size(); ++k) {
                const std::string_view name = listing.name(k);
                switch (listing.kind(k)) {
                case EntryKind::File:
                    addFile(folder.folder, name);
                    break;
                case EntryKind::Folder:
                    below(children_, name);
                    break;
                case EntryKind::Link: {
                    const LinkTarget target = link < read.links.size() ? read.links[link] : LinkTarget{};
                    ++link;
                    if (target.kind == EntryKind::File)
                        addFile(folder.folder, name);
                    else if (target.kind == EntryKind::Folder && !visited_.contains(target.identity))
                        below(linked_, name);
                    break;
                }
                case EntryKind::Other:
                    break;
                }
            }
        }
        if (options_.progress)
            options_.progress({index_.foldersRead_, index_.files_.size(), path_});
    }

    bool isExcluded(const FolderIdentity& identity) const
    {
        return std::find(excluded_.begin(), excluded_.end(), identity) != excluded_.end();
    }

    // Whether the link `linkPath` leads below one of the roots, and not into
    // the system's folders: a link to "/" must not walk the whole machine.
    bool staysInside(FolderReader& reader, const std::string& linkPath, EntryKind kind, std::string& real) const
    {
        if (reader.realPath(linkPath, real) != 0)
            return false;
        if (kind == EntryKind::File)
            real.resize(std::max<std::size_t>(1, real.rfind('/')));
        return std::any_of(realRoots_.begin(), realRoots_.end(), [&real](const std::string& root) {
            return isBelow(real, root) && (!isSystemPath(real) || isSystemPath(root));
        });
    }

    void addFile(FolderId folder, std::string_view name)
    {
        File file{};
        file.folder = folder;
        file.nameOffset = checkedOffset(index_.names_.size());
        file.nameLength = static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), 0xFFFF));
        index_.names_.append(name.substr(0, file.nameLength));
        file.keyOffset = checkedOffset(index_.keys_.size());
        keys_.append(name, index_.keys_);
        const std::size_t keyLength = std::min<std::size_t>(index_.keys_.size() - file.keyOffset, 0xFFFF);
        index_.keys_.resize(file.keyOffset + keyLength);
        file.keyLength = static_cast<std::uint16_t>(keyLength);
        const std::string_view key(index_.keys_.data() + file.keyOffset, keyLength);
        const std::size_t dot = key.rfind('.');
        file.stemLength = static_cast<std::uint16_t>(dot == std::string_view::npos || dot == 0 ? keyLength : dot);
        const auto id = static_cast<FileId>(index_.files_.size());
        index_.files_.push_back(file);
        index_.byName_.push_back({std::hash<std::string_view>{}(key), id});
        index_.byStem_.push_back({std::hash<std::string_view>{}(key.substr(0, file.stemLength)), id});
    }

    FolderId addFolder(FolderId parent, std::string_view name)
    {
        Folder folder{};
        folder.parent = parent;
        folder.nameOffset = checkedOffset(index_.names_.size());
        index_.names_.append(name);
        folder.nameLength = checkedOffset(name.size());
        folder.keyOffset = checkedOffset(index_.keys_.size());
        if (parent != kNoFolder)
            keys_.append(name, index_.keys_);
        folder.keyLength = checkedOffset(index_.keys_.size() - folder.keyOffset);
        index_.folders_.push_back(folder);
        return static_cast<FolderId>(index_.folders_.size() - 1);
    }

    // The folder of an absolute path, with a folder for each component above
    // it (so that paths can be compared with stored ones up to the root).
    FolderId folderForPath(const std::string& path)
    {
        if (const auto known = byPath_.find(path); known != byPath_.end())
            return known->second;
        FolderId folder = kNoFolder;
        const std::size_t slash = path.rfind('/');
        if (path == "/" || slash == std::string::npos) {
            folder = addFolder(kNoFolder, path.empty() ? "/" : path);
        } else {
            const FolderId parent = folderForPath(slash == 0 ? std::string("/") : path.substr(0, slash));
            folder = addFolder(parent, std::string_view(path).substr(slash + 1));
        }
        byPath_.emplace(path, folder);
        return folder;
    }

    FileIndex& index_;
    std::unique_ptr<FolderReader> ownReader_;
    FolderReader& reader_; // the calling thread's
    const IndexOptions& options_;
    const std::size_t jobs_;
    const std::size_t mostAhead_;
    std::vector<FolderIdentity> excluded_; // /proc, /sys, /dev
    std::vector<std::string> realRoots_;   // the roots with every link followed
    std::unordered_set<FolderId> rootFolders_;
    std::unordered_map<std::string, FolderId> byPath_; // of the roots and the folders above them
    MatchKeyMaker keys_;
    std::string path_;
    std::vector<Pending> children_; // of the folder just added, in the order listed
    std::vector<Pending> linked_;   // reached through its links

    // Shared with the helpers, under mutex_. The calling thread alone changes
    // the stack and visited_; helpers only take folders on it.
    mutable std::mutex mutex_;
    std::condition_variable work_; // a folder to take, or quitting_
    std::condition_variable done_; // waitingFor_ is read
    std::deque<Pending> stack_;
    std::unordered_set<FolderIdentity, IdentityHash> visited_;
    std::vector<std::unique_ptr<FolderRead>> reads_;
    std::vector<FolderRead*> spare_;
    std::size_t outstanding_ = 0; // taken, not yet added
    std::size_t idle_ = 0;        // helpers waiting for work
    const FolderRead* waitingFor_ = nullptr;
    bool quitting_ = false;
    bool readingAhead_;           // once the folders the calling thread read were slow
    std::size_t slowInARow_ = 0; // of the folders the calling thread read itself
    std::vector<std::thread> helpers_;
};

FileIndex FileIndex::build(const std::vector<std::string>& roots, const IndexOptions& options)
{
    FileIndex index;
    index.reader_ = options.reader ? options.reader : &systemFolderReader();
    Walk(index, options).run(roots);
    const auto byHash = [](const Slot& a, const Slot& b) { return a.hash < b.hash || (a.hash == b.hash && a.file < b.file); };
    std::sort(index.byName_.begin(), index.byName_.end(), byHash);
    std::sort(index.byStem_.begin(), index.byStem_.end(), byHash);
    return index;
}

void FileIndex::find(const std::vector<Slot>& slots, std::string_view key, bool stem, std::vector<FileId>& out) const
{
    const std::uint64_t hash = std::hash<std::string_view>{}(key);
    auto it = std::lower_bound(slots.begin(), slots.end(), hash,
                               [](const Slot& slot, std::uint64_t h) { return slot.hash < h; });
    for (; it != slots.end() && it->hash == hash; ++it) {
        const std::string_view candidate = fileKey(it->file);
        if ((stem ? candidate.substr(0, stemLength(it->file)) : candidate) == key)
            out.push_back(it->file);
    }
}

void FileIndex::findByName(std::string_view key, std::vector<FileId>& out) const
{
    find(byName_, key, false, out);
}

void FileIndex::findByStem(std::string_view stemKey, std::vector<FileId>& out) const
{
    find(byStem_, stemKey, true, out);
}

std::string_view FileIndex::fileName(FileId file) const
{
    return std::string_view(names_).substr(files_[file].nameOffset, files_[file].nameLength);
}

std::string_view FileIndex::fileKey(FileId file) const
{
    return std::string_view(keys_).substr(files_[file].keyOffset, files_[file].keyLength);
}

std::string FileIndex::filePath(FileId file) const
{
    std::string path;
    appendFolderPath(files_[file].folder, path);
    if (path != "/")
        path += '/';
    path.append(fileName(file));
    return path;
}

bool FileIndex::readable(FileId file) const
{
    return reader_->readable(filePath(file)) == 0;
}

std::vector<bool> FileIndex::readable(const std::vector<FileId>& files) const
{
    // A byte each (not a bit), so that threads never write the same word.
    std::vector<std::uint8_t> answers(files.size());
    const auto ask = [&](std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            answers[k] = readable(files[k]) ? 1 : 0;
    };
    constexpr std::size_t kPerThread = 512;
    const std::size_t threads = std::clamp<std::size_t>(files.size() / kPerThread, 1, 4);
    const std::size_t share = (files.size() + threads - 1) / threads;
    {
        std::vector<std::jthread> helpers;
        for (std::size_t t = 1; t < threads; ++t)
            helpers.emplace_back(ask, t * share, std::min(files.size(), (t + 1) * share));
        ask(0, std::min(files.size(), share));
    }
    return {answers.begin(), answers.end()};
}

std::string FileIndex::folderPath(FolderId folder) const
{
    std::string path;
    appendFolderPath(folder, path);
    return path;
}

void FileIndex::appendFolderPath(FolderId folder, std::string& out) const
{
    const Folder& f = folders_[folder];
    const std::string_view name(names_.data() + f.nameOffset, f.nameLength);
    if (f.parent == kNoFolder) {
        out.append(name); // "/", or a root that could not be made absolute
        return;
    }
    appendFolderPath(f.parent, out);
    if (out.empty() || out.back() != '/')
        out += '/';
    out.append(name);
}

std::string_view FileIndex::folderKey(FolderId folder) const
{
    return std::string_view(keys_).substr(folders_[folder].keyOffset, folders_[folder].keyLength);
}

} // namespace korvane
