#pragma once

#include "fs/folder_reader.h"
#include "fs/slow_disk.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace korvane {

// A folder reader that asks the one behind it once for each folder listed
// and, once it has proved slow, each path followed, and keeps the answer:
// the readers of several threads share it, and a thread that asks what
// another is asking waits for that answer instead of asking again. Safe to use from several threads at
// once when the reader behind it is (the system's is). What it keeps lasts
// as long as it does: one run.
//
// It also times the reader behind by the one rule of SlowDisk, to tell a
// local disk, which answers in microseconds, from a share, where each answer
// is a round trip.
class SharedFolderCache final : public FolderReader {
public:
    explicit SharedFolderCache(FolderReader& inner = systemFolderReader(), ReadAhead start = ReadAhead::WhenSlow);
    ~SharedFolderCache() override;

    int list(const std::string& path, FolderListing& listing) override;
    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override;
    int lookUp(const std::string& path, EntryKind& kind) override;
    int realPath(const std::string& path, std::string& out) override { return inner_.realPath(path, out); }
    int readable(const std::string& path) override { return inner_.readable(path); }

    // Whether the reader behind has proved slow. Once it has, it stays so.
    bool slow() const { return disk_.slow(); }

private:
    struct Followed {
        bool ready = false;
        int error = 0;
        EntryKind kind{};
        FolderIdentity identity;
    };
    struct Listed {
        bool ready = false;
        int error = 0;
        FolderListing listing;
    };
    // The answer kept in `answers` for `key`, asked of the reader behind by
    // `ask` the first time, and waited for while another thread asks it.
    template <typename Answer, typename Ask>
    const Answer& answer(std::unordered_map<std::string, Answer>& answers, const std::string& key, Ask&& ask);

    FolderReader& inner_;
    std::mutex mutex_;
    std::condition_variable answered_;
    // Elements of an unordered map stay where they are while it grows.
    std::unordered_map<std::string, Followed> followed_;
    std::unordered_map<std::string, Followed> lookedUp_;
    std::unordered_map<std::string, Listed> listed_;
    SlowDisk disk_;
};

} // namespace korvane
