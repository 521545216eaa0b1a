#pragma once

#include "search/file_index.h"

#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// The index of each set of folders searched in a run, built once however
// many projects search them: the first to ask walks, the others wait for its
// index and share it.
class SearchIndexCache {
public:
    using Index = std::shared_ptr<const FileIndex>;

    // The index of `folders` walked with `options` (its progress told only
    // to the asker that walks). A walk that failed fails for every asker.
    Index indexOf(const std::vector<std::string>& folders, const IndexOptions& options);

private:
    using Key = std::pair<std::vector<std::string>, bool>; // the folders, and whether on one file system
    std::mutex mutex_;
    std::map<Key, std::shared_future<Index>> built_;
};

} // namespace korvane
