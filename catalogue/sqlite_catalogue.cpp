#include "catalogue/sqlite_catalogue.h"

#include "catalogue/name_key.h"
#include "catalogue/sqlite_support.h"

#include <SQLiteCpp/Database.h>

#include <sqlite3.h>

namespace korvane {

using sqlite::bindBlob;
using sqlite::blobOf;
using sqlite::Using;



namespace {

// The columns of a file found by a look-up, with its folder.
#define KORVANE_FOUND_FILE                                                                                        \
    "SELECT d.volume, d.path, d.seen, f.id, f.name, f.size, f.mtime, f.inode, f.fingerprint "                     \
    "FROM file f JOIN folder d ON d.id = f.folder "

#define KORVANE_RECOLLECTION                                                                                      \
    "SELECT project, stored, size, mtime, inode, fingerprint, volume, path, seen FROM remembered "

} // namespace

const char* sqlite::sqlOf(SqliteCatalogue::Query query)
{
    using Q = SqliteCatalogue::Query;
    switch (query) {
    case Q::Volumes:
        return "SELECT id, key, kind, uuid, label, source, fs_type, mount_point, stable_inodes, "
               "last_mount_point, last_seen FROM volume ORDER BY id";
    case Q::RecordVolume:
        return "INSERT INTO volume (key, kind, uuid, label, source, fs_type, mount_point, stable_inodes, "
               "last_mount_point, last_seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10) "
               "ON CONFLICT (key) DO UPDATE SET kind = ?2, uuid = ?3, label = ?4, source = ?5, fs_type = ?6, "
               "mount_point = ?7, stable_inodes = ?8, last_mount_point = ?9, last_seen = max(last_seen, ?10)";
    case Q::VolumeByKey:
        return "SELECT id, key, kind, uuid, label, source, fs_type, mount_point, stable_inodes, "
               "last_mount_point, last_seen FROM volume WHERE key = ?1";
    case Q::ForgetVolume:
        return "DELETE FROM volume WHERE id = ?1";
    case Q::FileCount:
        return "SELECT count(*) FROM file WHERE folder IN (SELECT id FROM folder WHERE volume = ?1)";
    case Q::Folder:
        return "SELECT id, seen FROM folder WHERE volume = ?1 AND path = ?2";
    case Q::AddFolder:
        return "INSERT INTO folder (volume, path, seen) VALUES (?1, ?2, ?3)";
    case Q::FolderSeen:
        return "UPDATE folder SET seen = max(seen, ?2) WHERE id = ?1";
    case Q::FoldersBelow:
        return "SELECT id, path, seen FROM folder WHERE volume = ?1 AND (path = ?2 OR (path >= ?3 AND path < ?4)) "
               "ORDER BY path";
    case Q::FoldersOfVolume:
        return "SELECT id, path, seen FROM folder WHERE volume = ?1 ORDER BY path";
    case Q::RemoveFolder:
        return "DELETE FROM folder WHERE id = ?1";
    case Q::Files:
        return "SELECT id, name, size, mtime, inode, fingerprint FROM file WHERE folder = ?1";
    case Q::AddFile:
        return "INSERT INTO file (folder, name, size, mtime, inode, fingerprint, place) "
               "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)";
    case Q::UpdateFile:
        return "UPDATE file SET size = ?4, mtime = ?5, inode = ?6, fingerprint = ?7 "
               "WHERE id = ?1 AND folder = ?2 AND name = ?3";
    case Q::FileNamed:
        return "SELECT id FROM file WHERE folder = ?1 AND name = ?2";
    case Q::RemoveFile:
        return "DELETE FROM file WHERE id = ?1 AND folder = ?2";
    case Q::FileAt:
        return KORVANE_FOUND_FILE "WHERE f.folder = ?1 AND f.name = ?2";
    case Q::FolderPath:
        return "SELECT path FROM folder WHERE id = ?1";
    case Q::FilesNamed:
        return KORVANE_FOUND_FILE "WHERE korvane_file_key(f.place, f.name) = ?1";
    case Q::FilesWithFingerprint:
        return KORVANE_FOUND_FILE "WHERE substr(f.fingerprint, 1, 6) = ?1 AND f.fingerprint IS NOT NULL "
                                  "AND f.fingerprint = ?2";
    case Q::Recall:
        return KORVANE_RECOLLECTION "WHERE project = ?1 AND stored = ?2";
    case Q::RecallProject:
        return KORVANE_RECOLLECTION "WHERE project = ?1";
    case Q::RecallEverywhere:
        return KORVANE_RECOLLECTION "WHERE stored = ?1";
    case Q::Remember:
        return "INSERT OR REPLACE INTO remembered (project, stored, size, mtime, inode, fingerprint, volume, path, "
               "seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";
    case Q::Begin:
        return "BEGIN IMMEDIATE";
    case Q::BeginReading:
        return "BEGIN DEFERRED";
    case Q::Commit:
        return "COMMIT";
    case Q::Rollback:
        return "ROLLBACK";
    case Q::Vacuum:
        return "PRAGMA incremental_vacuum";
    case Q::Count:
        break;
    }
    return "";
}

#undef KORVANE_FOUND_FILE
#undef KORVANE_RECOLLECTION

namespace {

VolumeRecord volumeOf(SQLite::Statement& row)
{
    VolumeRecord volume;
    volume.id = row.getColumn(0).getInt64();
    VolumeIdentity& id = volume.identity;
    id.key = blobOf(row.getColumn(1));
    const std::int64_t kind = row.getColumn(2).getInt64();
    id.kind = kind == 0 ? VolumeKind::Uuid : kind == 1 ? VolumeKind::Share : VolumeKind::Mount;
    id.uuid = blobOf(row.getColumn(3));
    id.label = blobOf(row.getColumn(4));
    id.source = blobOf(row.getColumn(5));
    id.fsType = blobOf(row.getColumn(6));
    id.mountPoint = blobOf(row.getColumn(7));
    id.stableInodes = row.getColumn(8).getInt64() != 0;
    volume.lastMountPoint = blobOf(row.getColumn(9));
    volume.lastSeen = row.getColumn(10).getInt64();
    return volume;
}

} // namespace

SqliteCatalogue::SqliteCatalogue(std::unique_ptr<SQLite::Database> db, std::string path)
    : db_(std::move(db)), path_(std::move(path))
{
}

SqliteCatalogue::~SqliteCatalogue()
{
    for (std::unique_ptr<SQLite::Statement>& statement : statements_)
        statement.reset();
}

SQLite::Statement& SqliteCatalogue::statement(Query query)
{
    std::unique_ptr<SQLite::Statement>& slot = statements_[static_cast<std::size_t>(query)];
    if (!slot)
        slot = std::make_unique<SQLite::Statement>(*db_, sqlite::sqlOf(query));
    return *slot;
}

void SqliteCatalogue::fail(const std::exception& error) const
{
    throw sqlite::catalogueError(error, path_, sqlite3_system_errno(db_->getHandle()));
}

void SqliteCatalogue::begin()
{
    folderKeys_.clear(); // another run may have changed the folders since
    try {
        Using(statement(Query::Begin))->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::commit()
{
    try {
        Using(statement(Query::Commit))->exec();
    } catch (const SQLite::Exception& e) {
        // A commit that fails (a full disk) leaves the unit open: undone here.
        const int error = sqlite3_system_errno(db_->getHandle());
        if (!sqlite3_get_autocommit(db_->getHandle()))
            sqlite3_exec(db_->getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw sqlite::catalogueError(e, path_, error);
    }
}

void SqliteCatalogue::rollback()
{
    // SQLite may have rolled back already, after a full disk or an I/O error.
    if (sqlite3_get_autocommit(db_->getHandle()))
        return;
    try {
        Using(statement(Query::Rollback))->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::beginReading()
{
    try {
        Using(statement(Query::BeginReading))->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::endReading()
{
    if (sqlite3_get_autocommit(db_->getHandle()))
        return;
    try {
        Using(statement(Query::Commit))->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

std::vector<VolumeRecord> SqliteCatalogue::volumes()
{
    std::vector<VolumeRecord> out;
    try {
        Using query(statement(Query::Volumes));
        while (query->executeStep())
            out.push_back(volumeOf(*query));
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    return out;
}

VolumeRecord SqliteCatalogue::recordVolume(const VolumeIdentity& identity, std::string_view mountPoint,
                                           std::int64_t seen)
{
    try {
        {
            Using insert(statement(Query::RecordVolume));
            bindBlob(*insert, 1, identity.key);
            insert->bind(2, static_cast<std::int64_t>(identity.kind));
            bindBlob(*insert, 3, identity.uuid);
            bindBlob(*insert, 4, identity.label);
            bindBlob(*insert, 5, identity.source);
            bindBlob(*insert, 6, identity.fsType);
            bindBlob(*insert, 7, identity.mountPoint);
            insert->bind(8, static_cast<std::int64_t>(identity.stableInodes ? 1 : 0));
            bindBlob(*insert, 9, mountPoint);
            insert->bind(10, seen);
            insert->exec();
        }
        Using query(statement(Query::VolumeByKey));
        bindBlob(*query, 1, identity.key);
        if (query->executeStep())
            return volumeOf(*query);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    throw CatalogueError(CatalogueError::Kind::Damaged, path_ + ": a volume written is not there");
}

void SqliteCatalogue::forgetVolume(CatalogueId volume)
{
    try {
        Using remove(statement(Query::ForgetVolume));
        remove->bind(1, volume);
        remove->exec();
        Using vacuum(statement(Query::Vacuum));
        while (vacuum->executeStep()) {
        }
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

std::uint64_t SqliteCatalogue::fileCount(CatalogueId volume)
{
    try {
        Using query(statement(Query::FileCount));
        query->bind(1, volume);
        if (query->executeStep())
            return static_cast<std::uint64_t>(query->getColumn(0).getInt64());
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    return 0;
}

std::optional<FolderRecord> SqliteCatalogue::folder(CatalogueId volume, std::string_view path)
{
    try {
        Using query(statement(Query::Folder));
        query->bind(1, volume);
        bindBlob(*query, 2, path);
        if (query->executeStep()) {
            const CatalogueId id = query->getColumn(0).getInt64();
            folderKeys_[id] = folderNameKey(path);
            return FolderRecord{id, volume, std::string(path), query->getColumn(1).getInt64()};
        }
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    return std::nullopt;
}

CatalogueId SqliteCatalogue::addFolder(CatalogueId volume, std::string_view path, std::int64_t seen)
{
    try {
        Using insert(statement(Query::AddFolder));
        insert->bind(1, volume);
        bindBlob(*insert, 2, path);
        insert->bind(3, seen);
        insert->exec();
        const CatalogueId id = db_->getLastInsertRowid();
        folderKeys_[id] = folderNameKey(path);
        return id;
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::folderSeen(CatalogueId folder, std::int64_t seen)
{
    try {
        Using update(statement(Query::FolderSeen));
        update->bind(1, folder);
        update->bind(2, seen);
        update->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::foldersBelow(CatalogueId volume, std::string_view path, std::vector<FolderRecord>& out)
{
    // Below "a/b": from "a/b/" up to "a/b0", '0' coming right after '/'.
    const std::string from = std::string(path) + "/";
    const std::string to = std::string(path) + "0";
    try {
        Using query(statement(path.empty() ? Query::FoldersOfVolume : Query::FoldersBelow));
        query->bind(1, volume);
        if (!path.empty()) {
            bindBlob(*query, 2, path);
            bindBlob(*query, 3, from);
            bindBlob(*query, 4, to);
        }
        while (query->executeStep())
            out.push_back({query->getColumn(0).getInt64(), volume, blobOf(query->getColumn(1)),
                           query->getColumn(2).getInt64()});
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::removeFolder(CatalogueId folder)
{
    try {
        Using remove(statement(Query::RemoveFolder));
        remove->bind(1, folder);
        remove->exec();
        folderKeys_.erase(folder);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

} // namespace korvane
