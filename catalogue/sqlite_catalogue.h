#pragma once

// The catalogue in a SQLite file of the user's: WAL, so that scans read
// while a disk is catalogued; every name, path and label a BLOB, so that
// hostile names come back byte for byte; the schema's version in
// user_version, brought up to date by the migrations in order.

#include "catalogue/catalogue_store.h"
#include "catalogue/mount_table.h"

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace SQLite {
class Database;
class Statement;
} // namespace SQLite

namespace korvane {

struct CatalogueOptions {
    // Queries only: nothing is made, migrated or written (and a catalogue
    // in a folder that cannot be written is still read).
    bool readOnly = false;
    // How long a unit of writing waits for another run's to end.
    int busyMilliseconds = 10000;
    // The page size of a catalogue made now (512 to 65536, a power of two).
    int pageSize = 4096;
    // The mount table that tells whether the catalogue is on a network file system.
    MountSources mounts;
};

class SqliteCatalogue final : public CatalogueStore {
public:
    static constexpr int kSchemaVersion = 2;
    // "KRVC" in the header: a database of another program is never taken
    // for a catalogue, nor written.
    static constexpr int kApplicationId = 0x4B525643;

    // Opens the catalogue at `path`. Unless read-only, makes it when it is
    // missing (mode 0600, its folders 0700) and brings its schema up to date.
    // Throws CatalogueError: a file on a network file system, one that is
    // not a database or is damaged, a database of another program, or one
    // of a newer schema, is refused and left as it is.
    static std::unique_ptr<SqliteCatalogue> open(const std::string& path, const CatalogueOptions& options = {});

    ~SqliteCatalogue() override;
    SqliteCatalogue(const SqliteCatalogue&) = delete;
    SqliteCatalogue& operator=(const SqliteCatalogue&) = delete;

    const std::string& path() const { return path_; }

    void begin() override;
    void commit() override;
    void rollback() override;
    void beginReading() override;
    void endReading() override;

    std::vector<VolumeRecord> volumes() override;
    VolumeRecord recordVolume(const VolumeIdentity& identity, std::string_view mountPoint,
                              std::int64_t seen) override;
    void forgetVolume(CatalogueId volume) override;
    std::uint64_t fileCount(CatalogueId volume) override;

    std::optional<FolderRecord> folder(CatalogueId volume, std::string_view path) override;
    CatalogueId addFolder(CatalogueId volume, std::string_view path, std::int64_t seen) override;
    void folderSeen(CatalogueId folder, std::int64_t seen) override;
    void foldersBelow(CatalogueId volume, std::string_view path, std::vector<FolderRecord>& out) override;
    void removeFolder(CatalogueId folder) override;

    void files(CatalogueId folder, std::vector<FileRecord>& out) override;
    CatalogueId addFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                        const std::optional<Digest>& fingerprint) override;
    void addFiles(CatalogueId folder, const std::vector<NewFile>& files) override;
    void updateFile(CatalogueId folder, const FileRecord& file) override;
    void putFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                 const std::optional<Digest>& fingerprint) override;
    void removeFile(CatalogueId folder, CatalogueId file) override;
    void filesNamed(std::string_view folderName, std::string_view name, std::vector<CataloguedFile>& out) override;
    std::optional<CataloguedFile> fileAt(CatalogueId volume, std::string_view path) override;
    void filesWithFingerprint(const Digest& fingerprint, std::vector<CataloguedFile>& out) override;

    std::optional<Recollection> recall(std::string_view project, std::string_view stored) override;
    void recallProject(std::string_view project, std::vector<Recollection>& out) override;
    void recallEverywhere(std::string_view stored, std::vector<Recollection>& out) override;
    void remember(const Recollection& recollection) override;
    std::optional<Digest> projectDigest(std::string_view project) override;
    void setProjectDigest(std::string_view project, const Digest& digest) override;

    // The prepared statements, one of each query, made when first used.
    enum class Query : std::uint8_t;
    static constexpr std::size_t kQueries = 48;

private:
    SqliteCatalogue(std::unique_ptr<SQLite::Database> db, std::string path);
    SQLite::Statement& statement(Query query);
    void recollections(SQLite::Statement& query, std::vector<Recollection>& out);
    void cataloguedFiles(SQLite::Statement& query, std::vector<CataloguedFile>& out);
    [[noreturn]] void fail(const std::exception& error) const;
    std::uint32_t folderKey(CatalogueId folder);
    std::optional<CatalogueId> newFileIds(CatalogueId folder, CatalogueId count);
    CatalogueId freeFileId(CatalogueId folder);
    void nameLater(CatalogueId folder, std::string_view name, CatalogueId file);
    void writeNames();
    void forgetUnit();

    std::unique_ptr<SQLite::Database> db_;
    std::string path_;
    std::array<std::unique_ptr<SQLite::Statement>, kQueries> statements_;
    // What the unit of writing under way knows, forgotten when it ends:
    // the key of each folder's name (folderNameKey), the id the next file
    // of a folder takes, and the projects whose digest it forgot.
    std::unordered_map<CatalogueId, std::uint32_t> folderKeys_;
    std::unordered_map<CatalogueId, CatalogueId> nextFile_;
    std::unordered_set<std::string> digestForgotten_;
    // The keys of the names of files added and not yet written (key, file):
    // written in key order before anything reads or removes names, and at
    // the commit.
    std::vector<std::pair<std::int64_t, CatalogueId>> unnamed_;
};

} // namespace korvane
