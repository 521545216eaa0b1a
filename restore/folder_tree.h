#pragma once

#include "restore/fault_hook.h"
#include "restore/journal_writer.h"

#include <cstdint>
#include <sys/types.h>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// A folder held open: everything made in it is made through this
// descriptor, so a folder swapped for a link meanwhile redirects nothing.
class FolderHandle {
public:
    FolderHandle(int fd, std::string path);
    ~FolderHandle();
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    dev_t device() const { return device_; }

private:
    int fd_;
    std::string path_;
    dev_t device_ = 0;
};
using FolderRef = std::shared_ptr<const FolderHandle>;

// A name unlike any other: ".korvane-put-back-" and 12 random letters and
// digits.
std::string newTemporaryName();

// The folders below the roots of a put back, reached from each root's
// descriptor one name at a time without following a link, and made where
// missing: each under a temporary name announced in the journal, then
// named with no replacing, so that undo can always tell the folders the
// run made from those it found.
class FolderTree {
public:
    FolderTree(JournalWriter& journal, const FaultHook& fault);

    // Opens `root` (a link there is the user's own and is followed) and
    // names it in the journal. Never makes it. Empty, or what failed.
    std::string addRoot(const std::string& root);

    // What became of one folder asked for.
    struct Result {
        FolderRef folder;     // null when it cannot be had
        std::string error; // then why
    };
    // Each folder of `wanted` (root, folder at or below it), made where it is
    // missing. Folders are made a level at a time, the journal synced before
    // each level is made and again before it is named.
    std::vector<Result> prepare(const std::vector<std::pair<std::string, std::string>>& wanted);

    // Every folder a folder was made in, for syncing at the end.
    const std::vector<FolderRef>& touched() const { return touched_; }

    // Removes again each folder this run made that is still empty (nothing
    // was put back in it: its steps failed or were stopped), deepest first.
    void removeEmptyMade();

private:
    struct Pending;
    struct Target;
    FolderRef cached(const std::string& path);
    void keep(const FolderRef& folder);
    Result walk(const std::string& root, const std::string& path, Pending& pending);
    void makeRound(std::vector<Target>& targets);
    void makeFolder(Target& target);
    void dropTemporary(Target& target);
    void makeInPlace(Target& target);

    JournalWriter& journal_;
    const FaultHook& fault_;
    std::map<std::string, FolderRef> roots_;
    std::map<std::string, FolderRef> cache_;
    std::vector<FolderRef> touched_;
    struct Made {
        FolderRef above;
        std::string name;
        std::uint64_t id;
        dev_t device;
        ino_t inode;
    };
    std::vector<Made> made_;
};

} // namespace korvane
