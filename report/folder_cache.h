#pragma once

#include "report/folder_reader.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace korvane {

// A folder reader that asks the one behind it once for each folder listed
// and each path followed, and keeps the answer: the readers of several
// threads share it, and a thread that asks what another is asking waits for
// that answer instead of asking again. Safe to use from several threads at
// once when the reader behind it is (the system's is). What it keeps lasts
// as long as it does: one run.
class SharedFolderCache final : public FolderReader {
public:
    explicit SharedFolderCache(FolderReader& inner = systemFolderReader());
    ~SharedFolderCache() override;

    int list(const std::string& path, FolderListing& listing) override;
    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override;
    int realPath(const std::string& path, std::string& out) override { return inner_.realPath(path, out); }
    int readable(const std::string& path) override { return inner_.readable(path); }

    // How many questions reached the reader behind it; for tests.
    std::size_t asked() const;

private:
    struct Answer;
    // The answer kept for `key`, asked of the reader behind by `ask` the
    // first time, and waited for while another thread asks it.
    template <typename Ask> const Answer& answer(const std::string& key, Ask&& ask);

    FolderReader& inner_;
    mutable std::mutex mutex_;
    std::condition_variable answered_;
    // Listings under "l" and the path, follows under "f" and the path.
    std::unordered_map<std::string, std::unique_ptr<Answer>> answers_;
};

} // namespace korvane
