// The SQLite store's files, look-ups and recollections.

#include "catalogue/sqlite_catalogue.h"

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
            out.push_back({blobOf(query->getColumn(0)), factsAt(*query, 1), digestOf(query->getColumn(4))});
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::putFile(CatalogueId folder, std::string_view name, const FileFacts& facts,
                              const std::optional<Digest>& fingerprint)
{
    try {
        Using insert(statement(Query::PutFile));
        insert->bind(1, folder);
        bindBlob(*insert, 2, name);
        bindFacts(*insert, 3, facts);
        if (fingerprint)
            bindDigest(*insert, 6, *fingerprint);
        else
            insert->bind(6);
        insert->exec();
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::removeFile(CatalogueId folder, std::string_view name)
{
    try {
        Using remove(statement(Query::RemoveFile));
        remove->bind(1, folder);
        bindBlob(*remove, 2, name);
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
        found.file = {blobOf(query.getColumn(3)), factsAt(query, 4), digestOf(query.getColumn(7))};
        out.push_back(std::move(found));
    }
}

void SqliteCatalogue::filesNamed(std::uint64_t nameKey, std::vector<CataloguedFile>& out)
{
    try {
        Using query(statement(Query::FilesNamed));
        query->bind(1, static_cast<std::int64_t>(nameKey));
        cataloguedFiles(*query, out);
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

void SqliteCatalogue::filesWithFingerprint(const Digest& fingerprint, std::vector<CataloguedFile>& out)
{
    try {
        Using query(statement(Query::FilesWithFingerprint));
        query->bindNoCopy(1, fingerprint.bytes.data(), 8);
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
