// The SQL of the SQLite store: its tables, version by version (each
// migration brings a catalogue of one version to the next, and a new
// catalogue is made by running them all), and its queries.

#include "catalogue/sqlite_support.h"

#include <array>
#include <string>

namespace korvane {

namespace {

// The first version. Names, paths and labels are BLOBs: bytes on disk,
// never text to be converted. A file is found by its name and its folder's
// name through the hash of both (korvane_file_key, registered on every
// connection, over the row's name and `place`, the key of its folder's
// name), and by fingerprint through its first 6 bytes. Ids of volumes and
// folders are never given twice, so that one kept by a run never names
// another; a file's row is changed only where its folder and name agree.
constexpr const char* kSchema1 = R"(
CREATE TABLE volume (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    key BLOB NOT NULL UNIQUE,
    kind INTEGER NOT NULL,
    uuid BLOB NOT NULL,
    label BLOB NOT NULL,
    source BLOB NOT NULL,
    fs_type BLOB NOT NULL,
    mount_point BLOB NOT NULL,
    stable_inodes INTEGER NOT NULL,
    last_mount_point BLOB NOT NULL,
    last_seen INTEGER NOT NULL
);
CREATE TABLE folder (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    volume INTEGER NOT NULL REFERENCES volume (id) ON DELETE CASCADE,
    path BLOB NOT NULL,
    seen INTEGER NOT NULL,
    UNIQUE (volume, path)
);
CREATE TABLE file (
    id INTEGER PRIMARY KEY,
    folder INTEGER NOT NULL REFERENCES folder (id) ON DELETE CASCADE,
    name BLOB NOT NULL,
    size INTEGER NOT NULL,
    mtime INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    fingerprint BLOB,
    place INTEGER NOT NULL
);
CREATE INDEX file_in_folder ON file (folder);
CREATE INDEX file_by_name ON file (korvane_file_key(place, name));
CREATE INDEX file_by_fingerprint ON file (substr(fingerprint, 1, 6)) WHERE fingerprint IS NOT NULL;
CREATE TABLE remembered (
    project BLOB NOT NULL,
    stored BLOB NOT NULL,
    size INTEGER NOT NULL,
    mtime INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    fingerprint BLOB NOT NULL,
    volume INTEGER REFERENCES volume (id) ON DELETE SET NULL,
    path BLOB NOT NULL,
    seen INTEGER NOT NULL,
    PRIMARY KEY (project, stored)
) WITHOUT ROWID;
CREATE INDEX remembered_by_stored ON remembered (stored);
)";

// The second version. A file's id is its folder's id times 2^24 plus its
// number in the folder: the files of a folder are one range of the table,
// found without an index, and a new folder's rows are appended. The keys of
// the names are a table of their own, which the store fills in key order
// once a unit rather than at random file by file (a key index of a million
// files took as long to fill as the files themselves). A project's digest
// stands for what it remembered, so that remembering a project that did not
// change reads one row. A v1 folder's files beyond 2^24 cannot be numbered:
// they go, and cataloguing the folder again says so.
constexpr const char* kMigration2 = R"(
CREATE TEMP TABLE renumbered (old INTEGER PRIMARY KEY, new INTEGER NOT NULL);
INSERT INTO renumbered (old, new)
    SELECT old, (folder << 24) + number FROM (
        SELECT id AS old, folder, row_number() OVER (PARTITION BY folder ORDER BY id) - 1 AS number FROM file)
    WHERE number < 16777216 AND folder BETWEEN 1 AND 274877906943;
CREATE TABLE file_v2 (
    id INTEGER PRIMARY KEY,
    name BLOB NOT NULL,
    size INTEGER NOT NULL,
    mtime INTEGER NOT NULL,
    inode INTEGER NOT NULL,
    fingerprint BLOB
);
INSERT INTO file_v2 (id, name, size, mtime, inode, fingerprint)
    SELECT r.new, f.name, f.size, f.mtime, f.inode, f.fingerprint
    FROM file f JOIN renumbered r ON r.old = f.id ORDER BY r.new;
CREATE TABLE file_name (
    key INTEGER NOT NULL,
    file INTEGER NOT NULL,
    PRIMARY KEY (key, file)
) WITHOUT ROWID;
INSERT INTO file_name (key, file)
    SELECT korvane_file_key(f.place, f.name), r.new FROM file f JOIN renumbered r ON r.old = f.id ORDER BY 1, 2;
DROP TABLE renumbered;
DROP TABLE file;
ALTER TABLE file_v2 RENAME TO file;
CREATE INDEX file_by_fingerprint ON file (substr(fingerprint, 1, 6)) WHERE fingerprint IS NOT NULL;
CREATE TABLE project_digest (
    project BLOB PRIMARY KEY,
    digest BLOB NOT NULL
) WITHOUT ROWID;
)";

constexpr std::array kMigrations = {kSchema1, kMigration2};
static_assert(kMigrations.size() == SqliteCatalogue::kSchemaVersion);

constexpr std::array<const char*, 8> kObjects1 = {"volume",         "folder",       "file",
                                                  "remembered",     "file_in_folder", "file_by_name",
                                                  "file_by_fingerprint", "remembered_by_stored"};
constexpr std::array<const char*, 8> kObjects2 = {"volume",     "folder",         "file",
                                                  "file_name",  "file_by_fingerprint", "remembered",
                                                  "remembered_by_stored", "project_digest"};


// The columns of a file found by a look-up, with its folder.
#define KORVANE_FOUND_FILE "SELECT d.volume, d.path, d.seen, f.id, f.name, f.size, f.mtime, f.inode, f.fingerprint "
#define KORVANE_FOUND_BY_NAME                                                                                     \
    KORVANE_FOUND_FILE "FROM file_name n JOIN file f ON f.id = n.file JOIN folder d ON d.id = f.id >> 24 "
#define KORVANE_RECOLLECTION                                                                                      \
    "SELECT project, stored, size, mtime, inode, fingerprint, volume, path, seen FROM remembered "

// "INSERT ... VALUES (row), (row), ...": kRowsAtOnce rows of `columns`
// parameters each, numbered on from row to row; `last` closes each row.
std::string manyRows(const char* insert, int columns, const char* last)
{
    std::string sql = insert;
    for (int row = 0; row < sqlite::kRowsAtOnce; ++row) {
        sql += row == 0 ? " (" : ", (";
        for (int column = 1; column <= columns; ++column)
            sql += (column > 1 ? ", ?" : "?") + std::to_string(row * columns + column);
        sql += last;
        sql += ')';
    }
    return sql;
}

const char* volumeQuery(SqliteCatalogue::Query query)
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
    case Q::ForgetDigests:
        return "DELETE FROM project_digest";
    case Q::FileCount:
        return "SELECT count(*) FROM folder d JOIN file f ON f.id BETWEEN d.id << 24 AND (d.id << 24) + 16777215 "
               "WHERE d.volume = ?1";
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
    case Q::FolderPath:
        return "SELECT path FROM folder WHERE id = ?1";
    default:
        return nullptr;
    }
}

const char* fileQuery(SqliteCatalogue::Query query)
{
    using Q = SqliteCatalogue::Query;
    static const std::string addFiles =
        manyRows("INSERT INTO file (id, name, size, mtime, inode, fingerprint) VALUES", 5, ", NULL");
    static const std::string addNames = manyRows("INSERT INTO file_name (key, file) VALUES", 2, "");
    switch (query) {
    case Q::RemoveFolderNames:
        return "DELETE FROM file_name WHERE (key, file) IN "
               "(SELECT korvane_file_key(?3, name), id FROM file WHERE id BETWEEN ?1 AND ?2)";
    case Q::RemoveFolderFiles:
        return "DELETE FROM file WHERE id BETWEEN ?1 AND ?2";
    case Q::Files:
        return "SELECT id, name, size, mtime, inode, fingerprint FROM file WHERE id BETWEEN ?1 AND ?2";
    case Q::LastFile:
        return "SELECT max(id) FROM file WHERE id BETWEEN ?1 AND ?2";
    case Q::FileTaken:
        return "SELECT 1 FROM file WHERE id = ?1";
    case Q::FreeFile:
        return "SELECT f.id + 1 FROM file f WHERE f.id BETWEEN ?1 AND ?2 - 1 "
               "AND NOT EXISTS (SELECT 1 FROM file g WHERE g.id = f.id + 1) ORDER BY f.id LIMIT 1";
    case Q::AddFile:
        return "INSERT INTO file (id, name, size, mtime, inode, fingerprint) VALUES (?1, ?2, ?3, ?4, ?5, ?6)";
    case Q::AddFiles:
        return addFiles.c_str();
    case Q::UpdateFile:
        return "UPDATE file SET size = ?4, mtime = ?5, inode = ?6, fingerprint = ?7 "
               "WHERE id = ?1 AND id >> 24 = ?2 AND name = ?3";
    case Q::FileNamed:
        return "SELECT f.id FROM file_name n JOIN file f ON f.id = n.file "
               "WHERE n.key = ?1 AND n.file BETWEEN ?2 AND ?3 AND f.name = ?4";
    case Q::RemoveFileName:
        return "DELETE FROM file_name WHERE key = (SELECT korvane_file_key(?2, name) FROM file WHERE id = ?1) "
               "AND file = ?1";
    case Q::RemoveFile:
        return "DELETE FROM file WHERE id = ?1 AND id >> 24 = ?2";
    case Q::AddName:
        return "INSERT INTO file_name (key, file) VALUES (?1, ?2)";
    case Q::AddNames:
        return addNames.c_str();
    case Q::FileAt:
        return KORVANE_FOUND_BY_NAME "WHERE n.key = ?1 AND n.file BETWEEN ?2 AND ?3 AND f.name = ?4";
    case Q::FilesNamed:
        return KORVANE_FOUND_BY_NAME "WHERE n.key = ?1";
    case Q::FilesWithFingerprint:
        return KORVANE_FOUND_FILE "FROM file f JOIN folder d ON d.id = f.id >> 24 "
                                  "WHERE substr(f.fingerprint, 1, 6) = ?1 AND f.fingerprint IS NOT NULL "
                                  "AND f.fingerprint = ?2";
    default:
        return nullptr;
    }
}

const char* memoryQuery(SqliteCatalogue::Query query)
{
    using Q = SqliteCatalogue::Query;
    switch (query) {
    case Q::Recall:
        return KORVANE_RECOLLECTION "WHERE project = ?1 AND stored = ?2";
    case Q::RecallProject:
        return KORVANE_RECOLLECTION "WHERE project = ?1";
    case Q::RecallEverywhere:
        return KORVANE_RECOLLECTION "WHERE stored = ?1";
    case Q::Remember:
        return "INSERT OR REPLACE INTO remembered (project, stored, size, mtime, inode, fingerprint, volume, path, "
               "seen) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";
    case Q::ProjectDigest:
        return "SELECT digest FROM project_digest WHERE project = ?1";
    case Q::SetProjectDigest:
        return "INSERT OR REPLACE INTO project_digest (project, digest) VALUES (?1, ?2)";
    case Q::ForgetProjectDigest:
        return "DELETE FROM project_digest WHERE project = ?1";
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
    default:
        return nullptr;
    }
}

#undef KORVANE_FOUND_FILE
#undef KORVANE_FOUND_BY_NAME
#undef KORVANE_RECOLLECTION

} // namespace

const char* sqlite::sqlOf(SqliteCatalogue::Query query)
{
    for (const auto kind : {volumeQuery, fileQuery, memoryQuery}) {
        if (const char* sql = kind(query))
            return sql;
    }
    return "";
}

const char* sqlite::migrationFrom(std::int64_t version)
{
    return version >= 0 && version < static_cast<std::int64_t>(kMigrations.size())
               ? kMigrations[static_cast<std::size_t>(version)]
               : nullptr;
}

std::span<const char* const> sqlite::objectsOf(std::int64_t version)
{
    if (version == 1)
        return kObjects1;
    if (version == SqliteCatalogue::kSchemaVersion)
        return kObjects2;
    return {};
}

} // namespace korvane
