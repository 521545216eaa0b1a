#include "search/file_index.h"

#include "text/unicode_text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
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
    return path + ": " + std::strerror(error);
}

// One build: the folders still to read, those reached through links, the
// identities of the folders read.
class FileIndex::Walk {
public:
    Walk(FileIndex& index, const IndexOptions& options)
        : index_(index), ownReader_(options.reader ? nullptr : makeRelativeFolderReader()),
          reader_(options.reader ? *options.reader : *ownReader_), options_(options)
    {
    }

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
            pending_.push_back(folder);
            rootFolders_.insert(folder);
        }
        std::reverse(pending_.begin(), pending_.end()); // the first root first
        drain();
        for (std::size_t k = 0; k < linked_.size(); ++k) {
            pending_.push_back(linked_[k]);
            drain();
        }
    }

private:
    bool stopped() const { return options_.stop && options_.stop->load(std::memory_order_relaxed); }

    void drain()
    {
        while (!pending_.empty() && !stopped()) {
            const FolderId folder = pending_.back();
            pending_.pop_back();
            read(folder);
        }
    }

    void read(FolderId folder)
    {
        path_.clear();
        index_.appendFolderPath(folder, path_);
        if (const int error = reader_.list(path_, listing_))
            index_.problems_.push_back({path_, error});
        if (!listing_.identity() || isExcluded(*listing_.identity()))
            return; // not opened, or the system's
        if (options_.oneFileSystem && !rootFolders_.contains(folder)) {
            const FolderId parent = index_.folders_[folder].parent;
            if (parent < devices_.size() && devices_[parent] != listing_.identity()->device)
                return; // on another file system; a root there is read all the same
        }
        if (!visited_.insert(*listing_.identity()).second)
            return; // read before
        if (devices_.size() <= folder)
            devices_.resize(folder + 1);
        devices_[folder] = listing_.identity()->device;
        ++index_.foldersRead_;
        if (!listing_.enterable()) {
            // Its names are there, but none of its files could be opened.
            index_.problems_.push_back({path_, EACCES});
            listing_.reset();
        }
        for (std::size_t k = 0; k < listing_.size(); ++k) {
            const std::string_view name = listing_.name(k);
            switch (listing_.kind(k)) {
            case EntryKind::File:
                addFile(folder, name);
                break;
            case EntryKind::Folder:
                pending_.push_back(addFolder(folder, name));
                break;
            case EntryKind::Link:
                followLink(folder, name);
                break;
            case EntryKind::Other:
                break;
            }
        }
        if (options_.progress)
            options_.progress({index_.foldersRead_, index_.files_.size(), path_});
    }

    void followLink(FolderId folder, std::string_view name)
    {
        linkPath_.assign(path_);
        if (linkPath_.size() > 1)
            linkPath_ += '/';
        linkPath_.append(name);
        EntryKind kind = EntryKind::Other;
        FolderIdentity identity;
        if (reader_.follow(linkPath_, kind, identity) != 0)
            return; // leads nowhere: neither a file nor a folder to search
        if ((kind != EntryKind::File && kind != EntryKind::Folder) || !staysInside(kind))
            return;
        if (kind == EntryKind::File)
            addFile(folder, name);
        else if (kind == EntryKind::Folder && !visited_.contains(identity))
            linked_.push_back(addFolder(folder, name));
    }

    bool isExcluded(const FolderIdentity& identity) const
    {
        return std::find(excluded_.begin(), excluded_.end(), identity) != excluded_.end();
    }

    // Whether the link just followed (linkPath_) leads below one of the roots,
    // and not into the system's folders: a link to "/" must not walk the
    // whole machine.
    bool staysInside(EntryKind kind)
    {
        if (reader_.realPath(linkPath_, realPath_) != 0)
            return false;
        if (kind == EntryKind::File)
            realPath_.resize(std::max<std::size_t>(1, realPath_.rfind('/')));
        return std::any_of(realRoots_.begin(), realRoots_.end(), [this](const std::string& root) {
            return isBelow(realPath_, root) && (!isSystemPath(realPath_) || isSystemPath(root));
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
    FolderReader& reader_;
    const IndexOptions& options_;
    std::vector<FolderId> pending_;
    std::vector<FolderId> linked_;
    std::unordered_set<FolderIdentity, IdentityHash> visited_;
    std::vector<FolderIdentity> excluded_; // /proc, /sys, /dev
    std::vector<std::string> realRoots_;   // the roots with every link followed
    std::unordered_set<FolderId> rootFolders_;
    std::vector<std::uint64_t> devices_; // of each folder read, by FolderId
    std::string realPath_;
    std::unordered_map<std::string, FolderId> byPath_; // of the roots and the folders above them
    FolderListing listing_;
    MatchKeyMaker keys_;
    std::string path_;
    std::string linkPath_;
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
