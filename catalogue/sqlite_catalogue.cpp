#include "catalogue/sqlite_catalogue.h"

#include "catalogue/name_key.h"
#include "catalogue/sqlite_support.h"
#include "text/message.h"

#include <SQLiteCpp/Database.h>

#include <sqlite3.h>

namespace korvane {

using sqlite::bindBlob;
using sqlite::blobOf;
using sqlite::firstFileOf;
using sqlite::lastFileOf;
using sqlite::Using;

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

void SqliteCatalogue::forgetUnit()
{
    folderKeys_.clear();
    nextFile_.clear();
    digestForgotten_.clear();
    unnamed_.clear();
}

void SqliteCatalogue::begin()
{
    forgetUnit(); // another run may have written since
    try {
        Using(statement(Query::Begin))->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::commit()
{
    try {
        writeNames();
        Using(statement(Query::Commit))->exec();
        forgetUnit();
    } catch (const std::exception& e) {
        // A commit that fails (a full disk) leaves the unit open: undone here.
        const int error = sqlite3_system_errno(db_->getHandle());
        if (!sqlite3_get_autocommit(db_->getHandle()))
            sqlite3_exec(db_->getHandle(), "ROLLBACK", nullptr, nullptr, nullptr);
        forgetUnit();
        if (const auto* failure = dynamic_cast<const CatalogueError*>(&e))
            throw *failure;
        throw sqlite::catalogueError(e, path_, error);
    }
}

void SqliteCatalogue::rollback()
{
    forgetUnit();
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
    std::vector<FolderRecord> folders;
    foldersBelow(volume, {}, folders);
    for (const FolderRecord& folder : folders) {
        folderKeys_[folder.id] = folderNameKey(folder.path);
        removeFolder(folder.id);
    }
    try {
        Using remove(statement(Query::ForgetVolume));
        remove->bind(1, volume);
        remove->exec();
        // What was remembered on it lost its place: no digest stands for it.
        Using(statement(Query::ForgetDigests))->exec();
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
        if (id < 1 || id > sqlite::kLastFolder)
            throw CatalogueError(CatalogueError::Kind::Damaged,
                                 fillMessage("the catalogue %1 is damaged: %2", {path_, "a folder's id is out of range"}));
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
    const CatalogueId first = firstFileOf(folder);
    const CatalogueId last = lastFileOf(folder);
    try {
        writeNames();
        {
            Using names(statement(Query::RemoveFolderNames));
            names->bind(1, first);
            names->bind(2, last);
            names->bind(3, static_cast<std::int64_t>(folderKey(folder)));
            names->exec();
        }
        {
            Using files(statement(Query::RemoveFolderFiles));
            files->bind(1, first);
            files->bind(2, last);
            files->exec();
        }
        Using remove(statement(Query::RemoveFolder));
        remove->bind(1, folder);
        remove->exec();
        folderKeys_.erase(folder);
        nextFile_.erase(folder);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

} // namespace korvane
