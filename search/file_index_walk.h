#pragma once

// How FileIndex is built: one walk of its roots. For search/ alone.

#include "fs/worker_pool.h"
#include "search/file_index.h"
#include "search/walk_bounds.h"
#include "search/walk_stack.h"
#include "text/unicode_text.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace korvane {

// Takes the folders a WalkStack gives, in its order, into the index: their
// problems, their files, and their folders back onto the stack.
class FileIndex::Walk {
public:
    Walk(FileIndex& index, const IndexOptions& options);
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void run(const std::vector<std::string>& roots);

private:
    void add(const WalkStack& stack, const PendingFolder& folder, const FolderRead& read, bool entered);
    void addFile(FolderId folder, std::string_view name);
    FolderId addFolder(FolderId parent, std::string_view name);
    // The folder of an absolute path, with a folder for each component above
    // it (so that paths can be compared with stored ones up to the root).
    FolderId folderForPath(const std::string& path);

    FileIndex& index_;
    std::unique_ptr<FolderReader> ownReader_;
    FolderReader& reader_; // the walking thread's
    const IndexOptions& options_;
    std::unique_ptr<WorkerPool> ownWorkers_; // when the options give none and jobs is above 1
    WalkBounds bounds_;
    std::unordered_set<FolderId> rootFolders_;
    std::unordered_map<std::string, FolderId> byPath_; // of the roots and the folders above them
    MatchKeyMaker keys_;
    std::string path_;
    std::vector<PendingFolder> children_; // of the folder just added, in the order listed
    std::vector<PendingFolder> linked_;   // reached through its links
};

} // namespace korvane
