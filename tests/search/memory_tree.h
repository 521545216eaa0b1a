#pragma once

#include "search/file_index.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace korvane::testkit {

// A folder tree in memory, read the way the walk reads a disk: for tests of
// what is done with the files found, where the order of a listing and the
// speed of a disk must not matter.
class MemoryTree final : public FolderReader {
public:
    // Adds the file at the absolute `path` and the folders above it.
    MemoryTree& file(const std::string& path)
    {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
        addFolder(folder);
        folders_[folder].push_back({path.substr(slash + 1), EntryKind::File});
        return *this;
    }

    // Marks the file at `path` (added before or after) as one that cannot be opened.
    MemoryTree& unreadable(const std::string& path)
    {
        unreadable_.push_back(path);
        return *this;
    }

    FileIndex index(const std::vector<std::string>& roots)
    {
        return FileIndex::build(roots, {this, {}});
    }

    int list(const std::string& path, FolderListing& listing) override
    {
        listing.reset();
        const auto it = folders_.find(path);
        if (it == folders_.end())
            return ENOENT;
        listing.setIdentity({1, ids_.at(path)});
        for (const auto& [name, kind] : it->second)
            listing.add(name, kind);
        return 0;
    }

    int follow(const std::string&, EntryKind&, FolderIdentity&) override { return ENOENT; }

    int readable(const std::string& path) override
    {
        return std::find(unreadable_.begin(), unreadable_.end(), path) == unreadable_.end() ? 0 : EACCES;
    }

private:
    void addFolder(const std::string& folder)
    {
        if (ids_.contains(folder))
            return;
        ids_.emplace(folder, ids_.size() + 1);
        folders_[folder];
        if (folder == "/")
            return;
        const std::size_t slash = folder.rfind('/');
        const std::string parent = slash == 0 ? "/" : folder.substr(0, slash);
        addFolder(parent);
        folders_[parent].push_back({folder.substr(slash + 1), EntryKind::Folder});
    }

    std::map<std::string, std::vector<std::pair<std::string, EntryKind>>> folders_;
    std::map<std::string, std::uint64_t> ids_;
    std::vector<std::string> unreadable_;
};

} // namespace korvane::testkit
