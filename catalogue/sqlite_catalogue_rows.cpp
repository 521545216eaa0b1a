// The SQLite store's files: their rows, numbered within their folder, and
// the keys of their names, written in key order.

#include "catalogue/sqlite_catalogue.h"

#include "catalogue/name_key.h"
#include "catalogue/sqlite_support.h"
#include "text/message.h"

#include <SQLiteCpp/Database.h>

#include <sqlite3.h>

#include <algorithm>

namespace korvane {

using sqlite::bindBlob;
using sqlite::blobOf;
using sqlite::digestOf;
using sqlite::firstFileOf;
using sqlite::kRowsAtOnce;
using sqlite::lastFileOf;
using sqlite::Using;

namespace sqlite {

void bindFacts(SQLite::Statement& statement, int first, const FileFacts& facts)
{
    statement.bind(first, static_cast<std::int64_t>(facts.size));
    statement.bind(first + 1, facts.mtime);
    statement.bind(first + 2, static_cast<std::int64_t>(facts.inode));
}

FileFacts factsAt(SQLite::Statement& row, int first)
{
    return {static_cast<std::uint64_t>(row.getColumn(first).getInt64()), row.getColumn(first + 1).getInt64(),
            static_cast<std::uint64_t>(row.getColumn(first + 2).getInt64())};
}

void bindDigest(SQLite::Statement& statement, int index, const Digest& digest)
{
    statement.bindNoCopy(index, digest.bytes.data(), static_cast<int>(digest.bytes.size()));
}

} // namespace sqlite

using sqlite::bindDigest;
using sqlite::bindFacts;
using sqlite::factsAt;

void SqliteCatalogue::files(CatalogueId folder, std::vector<FileRecord>& out)
{
    out.clear();
    try {
        Using query(statement(Query::Files));
        query->bind(1, firstFileOf(folder));
        query->bind(2, lastFileOf(folder));
        while (query->executeStep())
            out.push_back({query->getColumn(0).getInt64(), blobOf(query->getColumn(1)), factsAt(*query, 2),
                           digestOf(query->getColumn(5))});
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

std::uint32_t SqliteCatalogue::folderKey(CatalogueId folder)
{
    if (const auto known = folderKeys_.find(folder); known != folderKeys_.end())
        return known->second;
    Using query(statement(Query::FolderPath));
    query->bind(1, folder);
    const std::uint32_t key = folderNameKey(query->executeStep() ? blobOf(query->getColumn(0)) : std::string());
    folderKeys_[folder] = key;
    return key;
}

// The first of `count` ids after the folder's last file, when as many are
// left.
std::optional<CatalogueId> SqliteCatalogue::newFileIds(CatalogueId folder, CatalogueId count)
{
    if (folder < 1 || folder > sqlite::kLastFolder)
        throw CatalogueError(CatalogueError::Kind::Damaged,
                             fillMessage("the catalogue %1 is damaged: %2", {path_, "a folder's id is out of range"}));
    auto next = nextFile_.find(folder);
    if (next == nextFile_.end()) {
        Using query(statement(Query::LastFile));
        query->bind(1, firstFileOf(folder));
        query->bind(2, lastFileOf(folder));
        const bool any = query->executeStep() && !query->getColumn(0).isNull();
        next = nextFile_.emplace(folder, any ? query->getColumn(0).getInt64() + 1 : firstFileOf(folder)).first;
    }
    if (lastFileOf(folder) - next->second < count - 1)
        return std::nullopt;
    const CatalogueId first = next->second;
    next->second += count;
    return first;
}

// Once the folder's last number is taken, the first one free.
CatalogueId SqliteCatalogue::freeFileId(CatalogueId folder)
{
    {
        Using taken(statement(Query::FileTaken));
        taken->bind(1, firstFileOf(folder));
        if (!taken->executeStep())
            return firstFileOf(folder);
    }
    Using query(statement(Query::FreeFile));
    query->bind(1, firstFileOf(folder));
    query->bind(2, lastFileOf(folder));
    if (query->executeStep())
        return query->getColumn(0).getInt64();
    throw CatalogueError(CatalogueError::Kind::Io,
                         fillMessage("the catalogue %1 holds %2 files of one folder, as many as it can",
                                     {path_, std::to_string(sqlite::kFilesOfAFolder)}));
}

void SqliteCatalogue::nameLater(CatalogueId folder, std::string_view name, CatalogueId file)
{
    unnamed_.emplace_back(static_cast<std::int64_t>(fileNameKey(folderKey(folder), name)), file);
}

// In key order the keys of a unit land next to each other: each page of the
// table is written once a unit, not once a key.
void SqliteCatalogue::writeNames()
{
    if (unnamed_.empty())
        return;
    std::sort(unnamed_.begin(), unnamed_.end());
    std::size_t k = 0;
    if (unnamed_.size() >= static_cast<std::size_t>(kRowsAtOnce)) {
        Using many(statement(Query::AddNames));
        for (; unnamed_.size() - k >= static_cast<std::size_t>(kRowsAtOnce); k += kRowsAtOnce) {
            for (int row = 0; row < kRowsAtOnce; ++row) {
                many->bind(2 * row + 1, unnamed_[k + static_cast<std::size_t>(row)].first);
                many->bind(2 * row + 2, unnamed_[k + static_cast<std::size_t>(row)].second);
            }
            many->exec();
            many->reset();
        }
    }
    Using one(statement(Query::AddName));
    for (; k < unnamed_.size(); ++k) {
        one->bind(1, unnamed_[k].first);
        one->bind(2, unnamed_[k].second);
        one->exec();
        one->reset();
    }
    unnamed_.clear();
}

CatalogueId SqliteCatalogue::addFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                                     const std::optional<Digest>& fingerprint)
{
    try {
        const std::optional<CatalogueId> next = newFileIds(folder, 1);
        const CatalogueId id = next ? *next : freeFileId(folder);
        Using insert(statement(Query::AddFile));
        insert->bind(1, id);
        bindBlob(*insert, 2, name);
        bindFacts(*insert, 3, facts);
        if (fingerprint)
            bindDigest(*insert, 6, *fingerprint);
        else
            insert->bind(6);
        insert->exec();
        nameLater(folder, name, id);
        // Outside a unit every statement is one: nothing waits for a commit.
        if (sqlite3_get_autocommit(db_->getHandle())) {
            writeNames();
            forgetUnit();
        }
        return id;
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::addFiles(CatalogueId folder, const std::vector<NewFile>& files)
{
    std::size_t k = 0;
    try {
        // Rows a statement at a time, where the folder's numbers run on.
        while (files.size() - k >= static_cast<std::size_t>(kRowsAtOnce) &&
               sqlite3_get_autocommit(db_->getHandle()) == 0) {
            const std::optional<CatalogueId> first = newFileIds(folder, kRowsAtOnce);
            if (!first)
                break;
            Using many(statement(Query::AddFiles));
            for (int row = 0; row < kRowsAtOnce; ++row, ++k) {
                const NewFile& file = files[k];
                bindBlob(*many, 5 * row + 2, file.name);
                many->bind(5 * row + 1, *first + row);
                bindFacts(*many, 5 * row + 3, file.facts);
                nameLater(folder, file.name, *first + row);
            }
            many->exec();
        }
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    for (; k < files.size(); ++k)
        addFile(folder, files[k].name, files[k].facts, std::nullopt);
}

void SqliteCatalogue::updateFile(CatalogueId folder, const FileRecord& file)
{
    try {
        Using update(statement(Query::UpdateFile));
        update->bind(1, file.id);
        update->bind(2, folder);
        bindBlob(*update, 3, file.name);
        bindFacts(*update, 4, file.facts);
        if (file.fingerprint)
            bindDigest(*update, 7, *file.fingerprint);
        else
            update->bind(7);
        update->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::putFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                              const std::optional<Digest>& fingerprint)
{
    CatalogueId id = 0;
    try {
        writeNames();
        Using query(statement(Query::FileNamed));
        query->bind(1, static_cast<std::int64_t>(fileNameKey(folderKey(folder), name)));
        query->bind(2, firstFileOf(folder));
        query->bind(3, lastFileOf(folder));
        bindBlob(*query, 4, name);
        if (query->executeStep())
            id = query->getColumn(0).getInt64();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    if (id == 0)
        addFile(folder, name, facts, fingerprint);
    else
        updateFile(folder, {id, std::string(name), facts, fingerprint});
}

void SqliteCatalogue::removeFile(CatalogueId folder, CatalogueId file)
{
    try {
        writeNames();
        {
            Using name(statement(Query::RemoveFileName));
            name->bind(1, file);
            name->bind(2, static_cast<std::int64_t>(folderKey(folder)));
            name->exec();
        }
        Using remove(statement(Query::RemoveFile));
        remove->bind(1, file);
        remove->bind(2, folder);
        remove->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

} // namespace korvane
