// Opening the SQLite store: refusing what is not a catalogue, making a new
// one, and bringing an old one's schema up to date.

#include "catalogue/sqlite_catalogue.h"

#include "catalogue/catalogue_location.h"
#include "catalogue/name_key.h"
#include "catalogue/sqlite_support.h"
#include "text/message.h"
#include "text/system_error.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace korvane {

namespace {

using Kind = CatalogueError::Kind;

void fileKeyFunction(sqlite3_context* context, int, sqlite3_value** values)
{
    try {
        const auto place = static_cast<std::uint32_t>(sqlite3_value_int64(values[0]));
        const void* data = sqlite3_value_blob(values[1]);
        const int size = sqlite3_value_bytes(values[1]);
        const std::string_view name(data ? static_cast<const char*>(data) : "",
                                    data && size > 0 ? static_cast<std::size_t>(size) : 0);
        sqlite3_result_int64(context, static_cast<sqlite3_int64>(fileNameKey(place, name)));
    } catch (...) {
        sqlite3_result_error_nomem(context);
    }
}

// What a connection needs before it reads anything: the name key for the
// index that uses it, and no trust in what a hostile file's schema asks.
void prepareConnection(SQLite::Database& db, int busyMilliseconds)
{
    sqlite3* handle = db.getHandle();
    sqlite3_create_function_v2(handle, "korvane_file_key", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                               nullptr, fileKeyFunction, nullptr, nullptr, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    db.setBusyTimeout(busyMilliseconds);
}

std::int64_t pragma(SQLite::Database& db, const char* name)
{
    SQLite::Statement query(db, std::string("PRAGMA ") + name);
    return query.executeStep() ? query.getColumn(0).getInt64() : 0;
}

// What is in the file, read before anything is written to it.
struct Shape {
    std::int64_t applicationId = 0;
    std::int64_t version = 0;
    std::vector<std::string> objects; // tables and indexes
    bool empty() const { return applicationId == 0 && version == 0 && objects.empty(); }
};

Shape shapeOf(SQLite::Database& db)
{
    Shape shape;
    shape.applicationId = pragma(db, "application_id");
    shape.version = pragma(db, "user_version");
    SQLite::Statement query(db, "SELECT name FROM sqlite_schema");
    while (query.executeStep())
        shape.objects.push_back(sqlite::blobOf(query.getColumn(0)));
    return shape;
}

[[noreturn]] void damaged(const std::string& path, const std::string& why)
{
    throw CatalogueError(Kind::Damaged,
                         fillMessage("the catalogue %1 is damaged: %2; it was left as it is", {path, why}));
}

[[noreturn]] void cannotOpen(const std::string& path, int error)
{
    throw CatalogueError(Kind::CannotOpen,
                         fillMessage("cannot open the catalogue %1: %2", {path, systemErrorText(error)}));
}

std::uint32_t bigEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int k = 0; k < count; ++k)
        value = value << 8 | bytes[k];
    return value;
}

// A file that is not a catalogue of this korvane's is refused from its
// header alone, before SQLite opens it (a reader of a database in WAL mode
// makes files beside it). A catalogue's header always holds its
// application id: it is written with its first tables.
void refuseStrangers(const std::string& path, std::uint64_t size)
{
    if (size == 0)
        return;
    unsigned char header[100] = {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    const ssize_t got = fd < 0 ? -1 : ::pread(fd, header, sizeof header, 0);
    if (fd >= 0)
        ::close(fd);
    if (got < 0)
        cannotOpen(path, errno);
    if (got < static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0)
        damaged(path, message("it is not a database"));
    if (static_cast<std::int32_t>(bigEndian(header + 68, 4)) != SqliteCatalogue::kApplicationId)
        throw CatalogueError(Kind::Foreign,
                             fillMessage("%1 is a database of another program, not a catalogue; it was left as it is",
                                         {path}));
    const auto version = static_cast<std::int32_t>(bigEndian(header + 60, 4));
    if (version > SqliteCatalogue::kSchemaVersion)
        throw CatalogueError(Kind::Newer, fillMessage("the catalogue %1 was made by a newer korvane (version %2 of "
                                                      "its tables); it was left as it is",
                                                      {path, std::to_string(version)}));
    // Pages that are not in the WAL must be in the file: a copy cut short
    // is found here rather than by the first write that needs a lost page.
    const std::uint32_t pageSize = bigEndian(header + 16, 2) == 1 ? 65536 : bigEndian(header + 16, 2);
    const std::uint64_t pages = bigEndian(header + 28, 4);
    struct stat wal {};
    const bool walHolds = ::stat((path + "-wal").c_str(), &wal) == 0 && wal.st_size > 0;
    if (!walHolds && bigEndian(header + 92, 4) == bigEndian(header + 24, 4) && pages * pageSize > size)
        damaged(path, fillMessage("it is cut short (%1 of %2 bytes)", {std::to_string(size),
                                                                        std::to_string(pages * pageSize)}));
}

// What SQLite finds in a catalogue: every table and index of its version.
void refuseDamaged(const Shape& shape, const std::string& path)
{
    for (const char* object : sqlite::objectsOf(shape.version)) {
        if (std::find(shape.objects.begin(), shape.objects.end(), object) == shape.objects.end())
            damaged(path, fillMessage("it lacks its %1", {object}));
    }
}

// Brings the schema up to the current version in one unit of writing (a
// new catalogue's in SQLite's rollback journal), then puts it in WAL mode.
void migrate(SQLite::Database& db, int pageSize)
{
    if (pragma(db, "user_version") != SqliteCatalogue::kSchemaVersion) {
        // Both only take effect before the first table is made.
        db.exec("PRAGMA page_size = " + std::to_string(pageSize));
        db.exec("PRAGMA auto_vacuum = INCREMENTAL");
        SQLite::Transaction unit(db, SQLite::TransactionBehavior::IMMEDIATE);
        const std::int64_t version = pragma(db, "user_version");
        for (std::int64_t k = version; k < SqliteCatalogue::kSchemaVersion; ++k)
            db.exec(sqlite::migrationFrom(k));
        if (version < SqliteCatalogue::kSchemaVersion) {
            db.exec("PRAGMA application_id = " + std::to_string(SqliteCatalogue::kApplicationId));
            db.exec("PRAGMA user_version = " + std::to_string(SqliteCatalogue::kSchemaVersion));
        }
        unit.commit();
        // The pages of the tables a migration replaced go back to the disk.
        if (version > 0 && version < SqliteCatalogue::kSchemaVersion)
            db.exec("PRAGMA incremental_vacuum");
    }
    db.exec("PRAGMA journal_mode = WAL");
}

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A new catalogue, made whole under a name of its own beside `path` and
// only then linked to it: no other run ever sees one half made. Of runs
// that make one at once, the first to link it wins; the others' go.
void makeCatalogue(const std::string& path, int pageSize, int busyMilliseconds)
{
    if (!makePrivateFolders(folderOf(path)))
        cannotOpen(path, errno);
    std::string temporary = path + ".new-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        cannotOpen(path, errno);
    ::close(fd); // mkstemp makes it 0600: the catalogue's mode
    try {
        SQLite::Database db(temporary, SQLite::OPEN_READWRITE, busyMilliseconds);
        prepareConnection(db, busyMilliseconds);
        migrate(db, pageSize);
    } catch (const SQLite::Exception& e) {
        ::unlink(temporary.c_str());
        throw sqlite::catalogueError(e, path, 0);
    }
    struct stat st {};
    if (::link(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        // An empty file in its place (made by hand) is replaced.
        if (error != EEXIST || ::stat(path.c_str(), &st) != 0 || st.st_size != 0 ||
            ::rename(temporary.c_str(), path.c_str()) != 0) {
            ::unlink(temporary.c_str());
            if (error != EEXIST)
                cannotOpen(path, error);
        }
    }
    ::unlink(temporary.c_str());
}

// The catalogue's file, made when it is missing (or empty) and may be made;
// it must be a regular file, and a database is made of whole pages of 512
// bytes or more. Returns its size.
std::uint64_t ensureFile(const std::string& path, const CatalogueOptions& options)
{
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        cannotOpen(path, errno);
    if (!options.readOnly && (!exists || (S_ISREG(st.st_mode) && st.st_size == 0))) {
        makeCatalogue(path, options.pageSize, options.busyMilliseconds);
        if (::stat(path.c_str(), &st) != 0)
            cannotOpen(path, errno);
    } else if (!exists) {
        cannotOpen(path, ENOENT);
    }
    if (!S_ISREG(st.st_mode))
        cannotOpen(path, EINVAL);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > 0 && (size < 512 || size % 512 != 0))
        damaged(path, fillMessage("its %1 bytes are no whole number of pages", {std::to_string(size)}));
    return size;
}

// The file as a URI that SQLite reads without locking or writing anything:
// for a catalogue in a folder where even its lock file cannot be made.
std::string immutableUri(const std::string& path)
{
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
            uri += escape;
        } else {
            uri += c;
        }
    }
    return uri + "?immutable=1";
}

std::unique_ptr<SQLite::Database> connect(const std::string& path, const CatalogueOptions& options)
{
    // One thread at a time uses a connection: SQLite need not lock its own structures.
    const int flags = (options.readOnly ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE) | SQLite::OPEN_NOMUTEX;
    auto db = std::make_unique<SQLite::Database>(path, flags, options.busyMilliseconds);
    prepareConnection(*db, options.busyMilliseconds);
    if (!options.readOnly)
        return db;
    try {
        pragma(*db, "application_id");
        return db;
    } catch (const SQLite::Exception& e) {
        if ((e.getErrorCode() & 0xFF) != SQLITE_CANTOPEN && (e.getErrorCode() & 0xFF) != SQLITE_READONLY)
            throw;
    }
    db = std::make_unique<SQLite::Database>(immutableUri(path), SQLite::OPEN_READONLY | SQLite::OPEN_URI);
    prepareConnection(*db, options.busyMilliseconds);
    return db;
}

} // namespace

std::optional<Digest> sqlite::digestOf(const SQLite::Column& column)
{
    if (column.isNull())
        return std::nullopt;
    const std::string bytes = blobOf(column);
    Digest digest;
    if (bytes.size() != digest.bytes.size())
        return std::nullopt;
    std::memcpy(digest.bytes.data(), bytes.data(), bytes.size());
    return digest;
}

CatalogueError sqlite::catalogueError(const std::exception& error, const std::string& path, int systemError)
{
    const auto* failure = dynamic_cast<const SQLite::Exception*>(&error);
    const int code = failure ? failure->getErrorCode() & 0xFF : SQLITE_ERROR;
    const std::string reason = systemError != 0 ? systemErrorText(systemError) : std::string(error.what());
    if (code == SQLITE_FULL || systemError == ENOSPC || systemError == EDQUOT || systemError == EFBIG)
        return {Kind::Full, fillMessage("the disk of the catalogue %1 is full (%2): the step under way was undone",
                                        {path, reason})};
    switch (code) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {Kind::Busy, fillMessage("the catalogue %1 is in use: another run kept it busy for longer than "
                                        "korvane waits",
                                        {path})};
    case SQLITE_READONLY:
    case SQLITE_PERM:
        return {Kind::ReadOnly, fillMessage("the catalogue %1 cannot be written: %2", {path, reason})};
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return {Kind::Damaged, fillMessage("the catalogue %1 is damaged or is not a database (%2); it was left as "
                                           "it is",
                                           {path, reason})};
    case SQLITE_CANTOPEN:
        return {Kind::CannotOpen, fillMessage("cannot open the catalogue %1: %2", {path, reason})};
    default:
        return {Kind::Io, fillMessage("the catalogue %1 could not be read or written: %2", {path, reason})};
    }
}

std::unique_ptr<SqliteCatalogue> SqliteCatalogue::open(const std::string& path, const CatalogueOptions& options)
{
    // SQLite's count of its memory takes a lock at every allocation; the
    // catalogue does not ask for it. Only possible before SQLite starts.
    static const int quiet = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)quiet;
    const std::string why = networkFileSystemReason(folderOf(path), MountTable::read(options.mounts));
    if (!why.empty())
        throw CatalogueError(Kind::NetworkFileSystem,
                             fillMessage("the catalogue %1 is not used: %2", {path, why}));
    refuseStrangers(path, ensureFile(path, options));
    std::unique_ptr<SQLite::Database> db;
    try {
        db = connect(path, options);
        const Shape shape = shapeOf(*db);
        refuseDamaged(shape, path);
        if (options.readOnly && shape.version == 0)
            throw CatalogueError(Kind::CannotOpen, fillMessage("the catalogue %1 holds nothing yet", {path}));
        // Reading changes nothing, not even the tables of an older korvane.
        if (options.readOnly && shape.version < kSchemaVersion)
            throw CatalogueError(Kind::CannotOpen, fillMessage("the catalogue %1 was made by an older korvane: the "
                                                               "next run that writes to it brings it up to date",
                                                               {path}));
        if (!options.readOnly) {
            if (sqlite3_db_readonly(db->getHandle(), "main") == 1)
                throw CatalogueError(Kind::ReadOnly, fillMessage("the catalogue %1 cannot be written: %2",
                                                                 {path, systemErrorText(EACCES)}));
            migrate(*db, options.pageSize);
            db->exec("PRAGMA synchronous = NORMAL");
            db->exec("PRAGMA foreign_keys = ON");
            db->exec("PRAGMA cache_size = -65536");
            // Fewer, larger checkpoints: a page the index writes again
            // and again is copied into the file once.
            db->exec("PRAGMA wal_autocheckpoint = 10000");
        } else {
            db->exec("PRAGMA query_only = ON");
        }
        // Pages are read where they lie rather than copied, up to what
        // SQLite was built to map.
        db->exec("PRAGMA mmap_size = 4294967296");
    } catch (const CatalogueError&) {
        throw;
    } catch (const std::exception& e) {
        throw sqlite::catalogueError(e, path, db ? sqlite3_system_errno(db->getHandle()) : 0);
    }
    return std::unique_ptr<SqliteCatalogue>(new SqliteCatalogue(std::move(db), path));
}

} // namespace korvane
