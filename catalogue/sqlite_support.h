#pragma once

// What the SQLite store's two sources share: blobs in and out of
// statements, and SQLite's failures as the catalogue's.

#include "catalogue/catalogue_store.h"
#include "catalogue/sqlite_catalogue.h"

#include <SQLiteCpp/Column.h>
#include <SQLiteCpp/Exception.h>
#include <SQLiteCpp/Statement.h>

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

enum class SqliteCatalogue::Query : std::uint8_t {
    Volumes,
    RecordVolume,
    VolumeByKey,
    ForgetVolume,
    FileCount,
    Folder,
    AddFolder,
    FolderSeen,
    FoldersBelow,
    FoldersOfVolume,
    RemoveFolder,
    Files,
    AddFile,
    UpdateFile,
    FileNamed,
    RemoveFile,
    FileAt,
    FolderPath,
    FilesNamed,
    FilesWithFingerprint,
    Recall,
    RecallProject,
    RecallEverywhere,
    Remember,
    Begin,
    BeginReading,
    Commit,
    Rollback,
    Vacuum,
    Count,
};
static_assert(static_cast<std::size_t>(SqliteCatalogue::Query::Count) <= SqliteCatalogue::kQueries);

namespace sqlite {

// The text of each query.
const char* sqlOf(SqliteCatalogue::Query query);

// Resets a statement when the work with it is done, however it ends.
class Using {
public:
    explicit Using(SQLite::Statement& statement) : statement_(statement) {}
    ~Using()
    {
        try {
            statement_.reset();
        } catch (...) {
        }
    }
    Using(const Using&) = delete;
    Using& operator=(const Using&) = delete;
    SQLite::Statement* operator->() { return &statement_; }
    SQLite::Statement& operator*() { return statement_; }

private:
    SQLite::Statement& statement_;
};

// Binds `bytes` as a BLOB (an empty one, not NULL, when empty). The bytes
// must stay until the statement is reset.
inline void bindBlob(SQLite::Statement& statement, int index, std::string_view bytes)
{
    static const char kEmpty = 0;
    statement.bindNoCopy(index, bytes.empty() ? static_cast<const void*>(&kEmpty) : bytes.data(),
                         static_cast<int>(bytes.size()));
}

// A column's bytes, whatever the type it holds.
inline std::string blobOf(const SQLite::Column& column)
{
    const void* data = column.getBlob();
    const int size = column.getBytes();
    return data && size > 0 ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
                            : std::string();
}

// A fingerprint column: nothing for NULL or anything that is not 32 bytes.
std::optional<Digest> digestOf(const SQLite::Column& column);

// SQLite's failure `error` (an SQLite::Exception, or anything else) on the
// catalogue at `path`, in the catalogue's words; `systemError` is the
// errno of the failed system call, 0 when none.
CatalogueError catalogueError(const std::exception& error, const std::string& path, int systemError);

} // namespace sqlite
} // namespace korvane
