#pragma once

// What the catalogue keeps, and the one interface every store of it offers:
// a SQLite file of the user's (SqliteCatalogue) today, a server database
// shared by the workstations of a studio tomorrow. Cataloguing, remembering
// and every look-up are written against this interface alone.

#include "catalogue/fingerprint.h"
#include "catalogue/mount_table.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

using CatalogueId = std::int64_t;

// A volume as the catalogue knows it.
struct VolumeRecord {
    CatalogueId id = 0;
    VolumeIdentity identity;
    std::string lastMountPoint; // where it was mounted when last seen
    std::int64_t lastSeen = 0;  // seconds since the epoch
};

// A folder of a volume that was read: its path from the root of the volume
// ("" for the root, "Footage/2024-06-15", no slash at either end).
struct FolderRecord {
    CatalogueId id = 0;
    CatalogueId volume = 0;
    std::string path;
    std::int64_t seen = 0; // when it was last read, seconds since the epoch
};

// A file of a folder. Its name is the bytes on disk.
struct FileRecord {
    CatalogueId id = 0; // in the store; 0 for one not stored yet
    std::string name;
    FileFacts facts;
    std::optional<Digest> fingerprint; // not yet read
};

// A file to be added to a folder: its name on disk and what stat told.
struct NewFile {
    std::string name;
    FileFacts facts;
};

// A file that a look-up found, and where it is.
struct CataloguedFile {
    CatalogueId volume = 0;
    std::string folder; // as FolderRecord::path
    FileRecord file;
    std::int64_t seen = 0; // when its folder was last read
    // The path from the root of the volume.
    std::string path() const { return folder.empty() ? file.name : folder + "/" + file.name; }
};

// What a scan remembered of a file a project refers to, when it found it.
struct Recollection {
    std::string project; // projectKey() of the project
    std::string stored;  // the name as stored in the project, bytes
    FileFacts facts;
    Digest fingerprint;
    // Where it was found: on the volume `volume` (none once that volume is
    // forgotten), at `path` from its root.
    std::optional<CatalogueId> volume;
    std::string path;
    std::int64_t seen = 0; // seconds since the epoch
};

// Why the catalogue could not do what was asked. Every call of a store may
// throw it; a failed call leaves nothing of a unit of writing begun.
class CatalogueError : public std::runtime_error {
public:
    enum class Kind : std::uint8_t {
        CannotOpen,  // the file or its folder cannot be made or opened
        NetworkFileSystem, // refused: on a share, locking is not to be trusted
        Damaged,     // not a database, or one that is damaged
        Foreign,     // a database, but not a catalogue of korvane's
        Newer,       // made by a newer korvane
        Busy,        // another run held it for longer than the wait
        ReadOnly,    // it cannot be written
        Full,        // its disk is full
        Io,          // any other failure of reading or writing
    };
    CatalogueError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

class CatalogueStore {
public:
    virtual ~CatalogueStore() = default;

    // A unit of writing: everything between begin and commit is kept, or
    // (after rollback, a failure or a crash) nothing of it. Other writers
    // wait while one is open; keep them short.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    // A unit of reading: everything read between the two sees the catalogue
    // as it was at the first read, whatever other runs write meanwhile.
    virtual void beginReading() = 0;
    virtual void endReading() = 0;

    virtual std::vector<VolumeRecord> volumes() = 0;
    // The volume of `identity.key`, added or brought up to date (name,
    // source, where it is mounted, when seen).
    virtual VolumeRecord recordVolume(const VolumeIdentity& identity, std::string_view mountPoint,
                                      std::int64_t seen) = 0;
    // Removes the volume, its folders and files; what was remembered of a
    // file on it keeps its size and fingerprint but no longer its place
    // (and every project's digest goes).
    virtual void forgetVolume(CatalogueId volume) = 0;
    virtual std::uint64_t fileCount(CatalogueId volume) = 0;

    virtual std::optional<FolderRecord> folder(CatalogueId volume, std::string_view path) = 0;
    virtual CatalogueId addFolder(CatalogueId volume, std::string_view path, std::int64_t seen) = 0;
    virtual void folderSeen(CatalogueId folder, std::int64_t seen) = 0;
    // The folder `path` of the volume and every folder below it.
    virtual void foldersBelow(CatalogueId volume, std::string_view path, std::vector<FolderRecord>& out) = 0;
    // Removes the folder and its files (not the folders below it).
    virtual void removeFolder(CatalogueId folder) = 0;

    // Replaces `out` with the files of the folder. A folder holds one file
    // of a name: those who add one make sure of it.
    virtual void files(CatalogueId folder, std::vector<FileRecord>& out) = 0;
    // Adds the file `name`, not yet in the folder; returns its id.
    virtual CatalogueId addFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                                const std::optional<Digest>& fingerprint) = 0;
    // Adds the files, none of them in the folder yet (nor twice in `files`),
    // without fingerprints: what cataloguing a new folder writes.
    virtual void addFiles(CatalogueId folder, const std::vector<NewFile>& files) = 0;
    // Writes the facts and fingerprint of `file` (one of `files`) over those
    // stored, unless another run removed it meanwhile.
    virtual void updateFile(CatalogueId folder, const FileRecord& file) = 0;
    // Adds the file `name`, or updates the one of that name.
    virtual void putFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                         const std::optional<Digest>& fingerprint) = 0;
    virtual void removeFile(CatalogueId folder, CatalogueId file) = 0;

    // Appends the files named `name` in a folder whose own name is
    // `folderName` ("" for the root of a volume), both compared as the path
    // resolver compares names; and perhaps a few others that share their key.
    virtual void filesNamed(std::string_view folderName, std::string_view name,
                            std::vector<CataloguedFile>& out) = 0;
    // The file at `path` from the root of the volume.
    virtual std::optional<CataloguedFile> fileAt(CatalogueId volume, std::string_view path) = 0;
    // Appends the files with this fingerprint.
    virtual void filesWithFingerprint(const Digest& fingerprint, std::vector<CataloguedFile>& out) = 0;

    virtual std::optional<Recollection> recall(std::string_view project, std::string_view stored) = 0;
    // Appends what was remembered of every stored name of the project.
    virtual void recallProject(std::string_view project, std::vector<Recollection>& out) = 0;
    // Appends what every project remembered of the stored name `stored`.
    virtual void recallEverywhere(std::string_view stored, std::vector<Recollection>& out) = 0;
    // Adds or replaces what is remembered of (project, stored), and forgets
    // the project's digest.
    virtual void remember(const Recollection& recollection) = 0;
    // The digest that stands for what the project remembered, as the run
    // that set it left it: nothing when none was set, or since anything it
    // stands for was written (remember) or lost its place (forgetVolume).
    virtual std::optional<Digest> projectDigest(std::string_view project) = 0;
    virtual void setProjectDigest(std::string_view project, const Digest& digest) = 0;
};

// Runs `work` in a unit of reading of `store`.
template <class Work>
auto inOneReading(CatalogueStore& store, Work&& work)
{
    store.beginReading();
    try {
        auto result = work();
        store.endReading();
        return result;
    } catch (...) {
        try {
            store.endReading();
        } catch (...) {
        }
        throw;
    }
}

// Runs `work` in a unit of writing of `store`, committed when it returns
// and rolled back when it throws (the exception goes on).
template <class Work>
void inOneUnit(CatalogueStore& store, Work&& work)
{
    store.begin();
    try {
        work();
    } catch (...) {
        try {
            store.rollback();
        } catch (...) {
        }
        throw;
    }
    store.commit();
}

} // namespace korvane
