#include "search/file_index_walk.h"

#include <cerrno>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace korvane {

namespace {

std::uint32_t checkedOffset(std::size_t size)
{
    if (size > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("file index: more than 4 GB of names");
    return static_cast<std::uint32_t>(size);
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

// The threads that read ahead: the options' pool, else one of the walk's
// own when it may read more than one folder at once.
std::unique_ptr<WorkerPool> workersFor(const IndexOptions& options)
{
    if (options.workers || options.jobs <= 1)
        return nullptr;
    return std::make_unique<WorkerPool>(options.jobs);
}

} // namespace

FileIndex::Walk::Walk(FileIndex& index, const IndexOptions& options)
    : index_(index), ownReader_(options.reader ? nullptr : makeRelativeFolderReader()),
      reader_(options.reader ? *options.reader : *ownReader_), options_(options), ownWorkers_(workersFor(options)),
      bounds_(reader_)
{
}

void FileIndex::Walk::run(const std::vector<std::string>& roots)
{
    std::vector<PendingFolder> rootFolders;
    for (const std::string& root : roots) {
        index_.roots_.push_back(absoluteFolder(root));
        const FolderId folder = folderForPath(index_.roots_.back());
        if (!bounds_.addRoot(reader_, index_.roots_.back()))
            continue;
        rootFolders_.insert(folder);
        PendingFolder pending;
        pending.folder = folder;
        pending.name = index_.folderPath(folder);
        rootFolders.push_back(std::move(pending));
    }
    // The bounds are complete before any folder is read.
    WalkStack stack(bounds_, reader_, options_.workers ? options_.workers : ownWorkers_.get(), options_);
    for (PendingFolder& root : rootFolders)
        stack.pushRoot(std::move(root));
    while (const std::optional<WalkStack::Taken> taken = stack.take()) {
        add(stack, taken->folder, *taken->read, taken->entered);
        stack.finish(taken->read, children_, linked_);
    }
}

// Takes a folder read into the index: its problems, and when it is
// entered its files, and its folders into children_ and linked_.
void FileIndex::Walk::add(const WalkStack& stack, const PendingFolder& folder, const FolderRead& read, bool entered)
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
        const auto below = [&](std::vector<PendingFolder>& to, std::string_view name) {
            if (!path)
                path = std::make_shared<const std::string>(path_);
            PendingFolder pending;
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
                else if (target.kind == EntryKind::Folder && !stack.visited(target.identity))
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

void FileIndex::Walk::addFile(FolderId folder, std::string_view name)
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

FolderId FileIndex::Walk::addFolder(FolderId parent, std::string_view name)
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
FolderId FileIndex::Walk::folderForPath(const std::string& path)
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

} // namespace korvane
