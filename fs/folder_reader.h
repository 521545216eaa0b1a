#pragma once

// Reading a folder: the one place that calls readdir.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// The folder a path leads to: two paths lead to the same folder when they
// have the same identity, however they got there.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

enum class EntryKind : std::uint8_t {
    File,   // a regular file
    Folder,
    Link,   // a symbolic link, not yet followed
    Other,  // devices, pipes, sockets: never media, never opened
};

// What reading one folder gave: whether it could be opened (then its
// identity), and its entries, the names held in one buffer so that reading
// many folders allocates nothing once the buffers have grown.
class FolderListing {
public:
    void reset();
    void setIdentity(FolderIdentity identity) { identity_ = identity; }
    // A folder that can be listed but not entered: its names are known, but
    // nothing in it can be opened.
    void setEnterable(bool enterable) { enterable_ = enterable; }
    void add(std::string_view name, EntryKind kind);

    const std::optional<FolderIdentity>& identity() const { return identity_; }
    bool enterable() const { return enterable_; }
    std::size_t size() const { return entries_.size(); }
    std::string_view name(std::size_t k) const { return {names_.data() + entries_[k].offset, entries_[k].length}; }
    EntryKind kind(std::size_t k) const { return entries_[k].kind; }

private:
    struct Entry {
        std::uint32_t offset;
        std::uint32_t length;
        EntryKind kind;
    };
    std::optional<FolderIdentity> identity_;
    bool enterable_ = true;
    std::string names_;
    std::vector<Entry> entries_;
};

// How folders are read: by the existence test, the resolver and the
// search's walk. The system's reader is the one to use; tests put their own
// trees and failures in the way through their own.
class FolderReader {
public:
    virtual ~FolderReader() = default;
    // Reads the folder `path`, following a symbolic link to it: its identity,
    // whether it can be entered, then its entries other than "." and "..", each a File, Folder, Link or
    // Other as the folder itself tells (links are not followed). Returns 0,
    // or the system's error number when the folder cannot be opened (no
    // identity, no entries) or reading it failed part way (the entries read
    // before are kept). Never blocks on a pipe or a device.
    virtual int list(const std::string& path, FolderListing& listing) = 0;
    // What the symbolic link `path` leads to: a File, a Folder (then also its
    // identity) or Other. Returns 0, or the system's error number for a link
    // that leads nowhere (dangling, a loop of links).
    virtual int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) = 0;
    // The existence test's question: whether `path` leads to something once
    // its links are followed, and to what (a File, a Folder or Other); 0 or
    // the system's error number, as follow answers. A reader may answer from
    // a listing of the folder read before; by default it asks follow.
    virtual int lookUp(const std::string& path, EntryKind& kind);
    // The path `path` leads to once every symbolic link in it is followed,
    // absolute; or the system's error number. The system's reader asks
    // realpath; a reader of its own that has no links need not answer.
    virtual int realPath(const std::string& path, std::string& out);
    // Whether the file `path` can be opened for reading: 0, or the system's
    // error number. A path too long to ask about counts as readable (its
    // folder could be entered). A reader of its own need not answer; one
    // that does must answer several threads at once.
    virtual int readable(const std::string& path);
};

// opendir and readdir (which read many entries a call), the entry types the
// folder gives, a stat only for links and entries of unknown type.
FolderReader& systemFolderReader();

// The system's reader for a walk: it keeps the folders above the last one
// read open and opens each folder relative to the one it is in, so trees
// deeper than PATH_MAX are read; best when folders are read in the order of
// a walk. One per walk: it is not to be shared between threads.
std::unique_ptr<FolderReader> makeRelativeFolderReader();

// The system's reader for the existence tests of one run: once a run has
// asked about a few files of one folder, it reads the folder and answers
// from its names (links it still follows), so that a folder of many files
// costs one listing instead of a lookup of each file's whole path. The
// names are those of the moment the folder was read: one per run. Safe to
// share between threads.
std::unique_ptr<FolderReader> makeRunFolderReader();

} // namespace korvane
