#pragma once

// What the SQLite store's two sources share: blobs in and out of
// statements, and SQLite's failures as the catalogue's.

#include "catalogue/catalogue_store.h"
#include "catalogue/sqlite_catalogue.h"
#include "catalogue/sqlite_schema.h"

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
    ForgetDigests,
    FileCount,
    Folder,
    AddFolder,
    FolderSeen,
    FoldersBelow,
    FoldersOfVolume,
    RemoveFolder,
    RemoveFolderNames,
    RemoveFolderFiles,
    Files,
    LastFile,
    FileTaken,
    FreeFile,
    AddFile,
    AddFiles,
    UpdateFile,
    FileNamed,
    RemoveFileName,
    RemoveFile,
    AddName,
    AddNames,
    FileAt,
    FolderPath,
    FilesNamed,
    FilesWithFingerprint,
    Recall,
    RecallProject,
    RecallEverywhere,
    Remember,
    ProjectDigest,
    SetProjectDigest,
    ForgetProjectDigest,
    Begin,
    BeginReading,
    Commit,
    Rollback,
    Vacuum,
    Count,
};
static_assert(static_cast<std::size_t>(SqliteCatalogue::Query::Count) <= SqliteCatalogue::kQueries);

namespace sqlite {

// A file's id: its folder's id times 2^24 plus its number in the folder.
inline constexpr int kFileNumberBits = 24;
inline constexpr CatalogueId kFilesOfAFolder = CatalogueId{1} << kFileNumberBits;
// The largest folder id whose files' ids fit in a rowid.
inline constexpr CatalogueId kLastFolder = (CatalogueId{1} << (62 - kFileNumberBits)) - 1;
inline constexpr CatalogueId firstFileOf(CatalogueId folder) { return folder << kFileNumberBits; }
inline constexpr CatalogueId lastFileOf(CatalogueId folder) { return firstFileOf(folder) + kFilesOfAFolder - 1; }

// Rows written by one statement of AddFiles and AddNames.
inline constexpr int kRowsAtOnce = 32;

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

// A file's size, mtime and inode as three parameters or columns from `first` on.
void bindFacts(SQLite::Statement& statement, int first, const FileFacts& facts);
FileFacts factsAt(SQLite::Statement& row, int first);
// Binds the digest's bytes, which must stay until the statement is reset.
void bindDigest(SQLite::Statement& statement, int index, const Digest& digest);

// SQLite's failure `error` (an SQLite::Exception, or anything else) on the
// catalogue at `path`, in the catalogue's words; `systemError` is the
// errno of the failed system call, 0 when none.
CatalogueError catalogueError(const std::exception& error, const std::string& path, int systemError);

} // namespace sqlite
} // namespace korvane
