// The SQLite store's files, look-ups and recollections.

#include "catalogue/sqlite_catalogue.h"

#include "catalogue/name_key.h"
#include "catalogue/sqlite_support.h"

#include <SQLiteCpp/Database.h>

namespace korvane {

using sqlite::bindBlob;
using sqlite::blobOf;
using sqlite::digestOf;
using sqlite::Using;

namespace {

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

} // namespace

void SqliteCatalogue::files(CatalogueId folder, std::vector<FileRecord>& out)
{
    out.clear();
    try {
        Using query(statement(Query::Files));
        query->bind(1, folder);
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

CatalogueId SqliteCatalogue::addFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                                     const std::optional<Digest>& fingerprint)
{
    try {
        const std::uint32_t place = folderKey(folder);
        Using insert(statement(Query::AddFile));
        insert->bind(1, folder);
        bindBlob(*insert, 2, name);
        bindFacts(*insert, 3, facts);
        if (fingerprint)
            bindDigest(*insert, 6, *fingerprint);
        else
            insert->bind(6);
        insert->bind(7, static_cast<std::int64_t>(place));
        insert->exec();
        return db_->getLastInsertRowid();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
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
        Using query(statement(Query::FileNamed));
        query->bind(1, folder);
        bindBlob(*query, 2, name);
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
        Using remove(statement(Query::RemoveFile));
        remove->bind(1, file);
        remove->bind(2, folder);
        remove->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::cataloguedFiles(SQLite::Statement& query, std::vector<CataloguedFile>& out)
{
    while (query.executeStep()) {
        CataloguedFile found;
        found.volume = query.getColumn(0).getInt64();
        found.folder = blobOf(query.getColumn(1));
        found.seen = query.getColumn(2).getInt64();
        found.file = {query.getColumn(3).getInt64(), blobOf(query.getColumn(4)), factsAt(query, 5),
                      digestOf(query.getColumn(8))};
        out.push_back(std::move(found));
    }
}

void SqliteCatalogue::filesNamed(std::string_view folderName, std::string_view name, std::vector<CataloguedFile>& out)
{
    try {
        Using query(statement(Query::FilesNamed));
        query->bind(1, static_cast<std::int64_t>(fileNameKey(folderNameKey(folderName), name)));
        cataloguedFiles(*query, out);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

std::optional<CataloguedFile> SqliteCatalogue::fileAt(CatalogueId volume, std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view folderPath = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::optional<FolderRecord> in = folder(volume, folderPath);
    if (!in)
        return std::nullopt;
    std::vector<CataloguedFile> found;
    try {
        Using query(statement(Query::FileAt));
        query->bind(1, in->id);
        bindBlob(*query, 2, name);
        cataloguedFiles(*query, found);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

void SqliteCatalogue::filesWithFingerprint(const Digest& fingerprint, std::vector<CataloguedFile>& out)
{
    try {
        Using query(statement(Query::FilesWithFingerprint));
        query->bindNoCopy(1, fingerprint.bytes.data(), 6); // as file_by_fingerprint keys them
        bindDigest(*query, 2, fingerprint);
        cataloguedFiles(*query, out);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::recollections(SQLite::Statement& query, std::vector<Recollection>& out)
{
    while (query.executeStep()) {
        const std::optional<Digest> fingerprint = digestOf(query.getColumn(5));
        if (!fingerprint)
            continue; // not one this catalogue wrote
        Recollection r;
        r.project = blobOf(query.getColumn(0));
        r.stored = blobOf(query.getColumn(1));
        r.facts = factsAt(query, 2);
        r.fingerprint = *fingerprint;
        if (!query.getColumn(6).isNull())
            r.volume = query.getColumn(6).getInt64();
        r.path = blobOf(query.getColumn(7));
        r.seen = query.getColumn(8).getInt64();
        out.push_back(std::move(r));
    }
}

std::optional<Recollection> SqliteCatalogue::recall(std::string_view project, std::string_view stored)
{
    std::vector<Recollection> found;
    try {
        Using query(statement(Query::Recall));
        bindBlob(*query, 1, project);
        bindBlob(*query, 2, stored);
        recollections(*query, found);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

void SqliteCatalogue::recallProject(std::string_view project, std::vector<Recollection>& out)
{
    try {
        Using query(statement(Query::RecallProject));
        bindBlob(*query, 1, project);
        recollections(*query, out);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::recallEverywhere(std::string_view stored, std::vector<Recollection>& out)
{
    try {
        Using query(statement(Query::RecallEverywhere));
        bindBlob(*query, 1, stored);
        recollections(*query, out);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::remember(const Recollection& r)
{
    try {
        Using insert(statement(Query::Remember));
        bindBlob(*insert, 1, r.project);
        bindBlob(*insert, 2, r.stored);
        bindFacts(*insert, 3, r.facts);
        bindDigest(*insert, 6, r.fingerprint);
        if (r.volume)
            insert->bind(7, *r.volume);
        else
            insert->bind(7);
        bindBlob(*insert, 8, r.path);
        insert->bind(9, r.seen);
        insert->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

} // namespace korvane
