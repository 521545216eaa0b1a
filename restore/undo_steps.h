#pragma once

#include "fs/content_digest.h"
#include "restore/folder_tree.h"
#include "restore/restore_undo.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const Identity&) const = default;
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
    UndoSteps(bool act, UndoResult& result) : act_(act), result_(result) {}

    void setRoots(std::vector<std::string> roots) { roots_ = std::move(roots); }

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

private:
    Folder reach(const std::string& folder, std::string& why);
    bool emptyButRemoved(int dir, const std::string& path) const;
    void keep(const std::string& path, bool folder, std::string why);
    void gone(const std::string& path, bool folder);
    void removed(const std::string& path, bool folder);
    bool unlinkChecked(const Folder& dir, const std::string& path, const Identity& identity, bool folder);
    std::string onlyCopyProblem(const std::string& source, const Identity& copy, const Digest* digest,
                                int copyFd, std::uint64_t size) const;

    bool act_;
    UndoResult& result_;
    std::vector<std::string> roots_;
    std::map<std::string, Folder> folders_;
    std::set<std::string> removed_; // in a preview: what would be removed by then
    // The change time of a linked file after undo removed one of its links.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::int64_t> linkChanged_;
};

} // namespace korvane
