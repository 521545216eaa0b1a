#pragma once

#include "fs/content_digest.h"
#include "restore/folder_tree.h"
#include "restore/restore_undo.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stop_token>
#include <sys/stat.h>
#include <string>
#include <vector>

namespace korvane {

// An inode as recorded: device and number, and where known its birth time,
// which tells it from a later inode given the same number.
struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t birth = 0; // 0: not recorded
    // The same device and number (the birth is checked by UndoSteps).
    bool operator==(const Identity& other) const { return device == other.device && inode == other.inode; }
};

// What proves a copy at its place is the one the run wrote, unchanged.
struct CopyProof {
    Identity identity;
    std::uint64_t size = 0;
    Digest digest;
    std::optional<std::int64_t> ctime; // after it was named, when recorded
};

// What proves a link at its place is the run's: the source's very file,
// as it was (where recorded). Its change time is the one recorded after the
// link, or, once undo removed a later link of the same file, the one after
// that removal.
struct LinkProof {
    Identity identity;
    std::optional<std::uint64_t> size;
    std::optional<std::int64_t> mtime;
    std::optional<std::int64_t> ctime;
};

// The acts of an undo, each removing one entry only on proof, or (in a
// preview) telling that it would. Places are reached from the roots of the
// journal through real folders only; a journal of the first version has no
// roots, and its places are reached by their paths.
class UndoSteps {
public:
    UndoSteps(bool act, std::stop_token stop, UndoResult& result) : act_(act), stop_(std::move(stop)), result_(result)
    {
    }

    void setRoots(std::vector<std::string> roots) { roots_ = std::move(roots); }
    // A journal of the first version records no identities: what it names
    // goes only when it came into being while its journal was written.
    void setLifetime(std::int64_t begun, std::int64_t ended) { begun_ = begun, ended_ = ended; }

    // A temporary file of the run's name: removed when it is a regular file
    // (of `identity`, when one was recorded).
    void removeTemporary(const std::string& path, const std::optional<Identity>& identity);
    void removeTemporaryFolder(const std::string& path, const std::optional<Identity>& identity);
    // `named`: the run recorded the copy named; else it may or may not have been.
    void removeCopy(const std::string& path, const std::string& source, const CopyProof& proof, bool named);
    // `recorded`: the run recorded the link made; else it may or may not have been.
    void removeLink(const std::string& path, const std::string& source, const LinkProof& proof, bool recorded);
    void removeFolder(const std::string& path, const Identity& identity);
    // The first version's: a folder of the run, once empty; a copy byte for byte its source.
    void removeOldFolder(const std::string& path);
    void removeOldCopy(const std::string& path, const std::string& source, std::uint64_t size);
    // Whether the undo was asked to stop: then each entry left is kept untried.
    bool stopped(const std::string& path, bool folder);
    bool stopRequested() const { return stop_.stop_requested(); }

private:
    // Why a folder cannot be reached: a link or a file in the way (and which).
    struct Blocked {
        KeptBecause because = KeptBecause::SystemError;
        std::string subject;
        bool blocked = false;
    };
    FolderRef reach(const std::string& folder, Blocked& why);
    bool emptyButRemoved(int dir, const std::string& path) const;
    void keep(const std::string& path, bool folder, KeptBecause because, std::string subject = {});
    void gone(const std::string& path, bool folder);
    void removed(const std::string& path, bool folder);
    bool unlinkChecked(const FolderRef& dir, const std::string& path, const Identity& identity, bool folder);
    static bool isRecorded(const Identity& recorded, const struct stat& st, int dir, const std::string& name);
    static bool isSameEntry(int dir, const std::string& name, const std::string& source);
    bool madeMeanwhile(int dir, const std::string& name, const struct stat& st, bool link) const;
    std::optional<KeptBecause> onlyCopyProblem(const std::string& source, const Identity& copy, const Digest* digest,
                                               int copyFd, std::uint64_t size) const;

    bool act_;
    std::stop_token stop_;
    UndoResult& result_;
    std::vector<std::string> roots_;
    std::int64_t begun_ = -1; // -1: a journal of the second version
    std::int64_t ended_ = 0;
    std::map<std::string, FolderRef> folders_;
    std::set<std::string> removed_; // in a preview: what would be removed by then
    // The change time of a linked file after undo removed one of its links.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::int64_t> linkChanged_;
};

} // namespace korvane
