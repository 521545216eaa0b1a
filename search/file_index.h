#pragma once

#include "fs/folder_reader.h"
#include "fs/slow_disk.h"
#include "fs/worker_pool.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// Where the walk is: after each folder read.
struct WalkProgress {
    std::size_t folders = 0; // read so far
    std::size_t files = 0;   // indexed so far
    std::string_view folder; // the one just read
};

// A folder the walk could not read, or could read only in part.
struct WalkProblem {
    std::string path;
    int error = 0;
    // "PATH: REASON", the reason in the system's words.
    std::string message() const;
};

// How many folders the walk reads at once by default: on a network share
// each folder read waits a round trip, and that many round trips overlap.
inline constexpr int kDefaultWalkJobs = 32;

struct IndexOptions {
    // null: the system's reader (one per thread). A reader given is also
    // asked whether a file found can be read (FileIndex::readable), so it
    // must outlive the index; with `jobs` above 1 it is called from that many
    // threads at once.
    FolderReader* reader = nullptr;
    // Told on the thread that called build.
    std::function<void(const WalkProgress&)> progress;
    // Stay on the file systems of the roots: a folder on another one (a disk
    // mounted below a root) is not entered.
    bool oneFileSystem = false;
    // Once a stop is requested no further folder is read: the index holds
    // what was read so far.
    std::stop_token stop{};
    // How many folders may be read at once. The index, the problems and the
    // progress told are the same whatever the number: folders are read ahead
    // but taken into the index in the order of the walk with one. 1 reads
    // them one after another on the calling thread.
    int jobs = kDefaultWalkJobs;
    // The threads that read ahead, shared with other work of the run (not
    // owned); null: a pool of `jobs` threads of the walk's own.
    WorkerPool* workers = nullptr;
    // Reading ahead costs some work of its own, so by default it starts only
    // once reading folders has proved slow (SlowDisk), as on a network share.
    ReadAhead readAhead = ReadAhead::WhenSlow;
};

using FileId = std::uint32_t;
using FolderId = std::uint32_t;
inline constexpr FolderId kNoFolder = 0xFFFFFFFFu;

// The files below one or more folders, looked up by name. Built by one walk
// of each folder tree: every folder is read once, however many roots, links
// or bind mounts lead to it (so loops of symbolic links end), and a folder
// that cannot be read, or can be listed but not entered, is noted and passed
// over. Symbolic links are followed, to files and to folders, as long as
// where they lead lies below one of the roots; folders reached through a link
// are read after every folder reached without one, so a folder that can be
// reached both ways is listed under its own path. /proc, /sys and /dev are
// never read, even below "/". Names are compared by matchKey.
class FileIndex {
public:
    // Relative roots are taken from the current directory; each is made
    // absolute (without resolving links) and becomes the start of every path
    // below it.
    static FileIndex build(const std::vector<std::string>& roots, const IndexOptions& options = {});

    // The roots as made absolute, in the order given.
    const std::vector<std::string>& roots() const { return roots_; }
    const std::vector<WalkProblem>& problems() const { return problems_; }
    std::size_t fileCount() const { return files_.size(); }
    // Folders of the index: FolderIds run from 0 to folderCount() - 1.
    std::size_t folderCount() const { return folders_.size(); }
    std::size_t foldersRead() const { return foldersRead_; }

    // Appends the files whose name has the key `key`.
    void findByName(std::string_view key, std::vector<FileId>& out) const;
    // Appends the files whose name without its extension has the key
    // `stemKey` (see stemLength).
    void findByStem(std::string_view stemKey, std::vector<FileId>& out) const;

    // The name as on disk, and its key.
    std::string_view fileName(FileId file) const;
    std::string_view fileKey(FileId file) const;
    // The length of the key without its extension: up to its last dot,
    // unless that is its first character; all of it when there is none.
    std::size_t stemLength(FileId file) const { return files_[file].stemLength; }
    FolderId folderOf(FileId file) const { return files_[file].folder; }
    std::string filePath(FileId file) const;
    // Whether the file can be opened for reading now: asked of the reader
    // that read it, once per call (the walk does not ask: most files found
    // are never a candidate).
    bool readable(FileId file) const;
    // Whether each of `files` can be read, asked on a few threads at once.
    std::vector<bool> readable(const std::vector<FileId>& files) const;

    // A folder's absolute path ("/" for the root of the file system), made
    // from the names of the folders above it (each folder keeps only its own
    // name, so the index does not grow with the depth of the tree); the key
    // of its own name; the folder it is in (kNoFolder above "/").
    std::string folderPath(FolderId folder) const;
    void appendFolderPath(FolderId folder, std::string& out) const;
    std::string_view folderKey(FolderId folder) const;
    FolderId parentOf(FolderId folder) const { return folders_[folder].parent; }

private:
    struct Folder {
        FolderId parent;
        std::uint32_t nameOffset;
        std::uint32_t nameLength;
        std::uint32_t keyOffset;
        std::uint32_t keyLength;
    };
    struct File {
        FolderId folder;
        std::uint32_t nameOffset;
        std::uint32_t keyOffset;
        std::uint16_t nameLength;
        std::uint16_t keyLength;
        std::uint16_t stemLength;
    };
    struct Slot {
        std::uint64_t hash;
        FileId file;
    };
    class Walk;

    void find(const std::vector<Slot>& slots, std::string_view key, bool stem, std::vector<FileId>& out) const;

    FolderReader* reader_ = nullptr;
    std::vector<std::string> roots_;
    std::vector<WalkProblem> problems_;
    std::size_t foldersRead_ = 0;
    std::vector<Folder> folders_;
    std::vector<File> files_;
    std::string names_; // of files and folders
    std::string keys_;  // of files and folders
    std::vector<Slot> byName_;
    std::vector<Slot> byStem_;
};

} // namespace korvane
