// The SQLite store's look-ups of files, and what projects remembered.

#include "catalogue/sqlite_catalogue.h"

#include "catalogue/name_key.h"
#include "catalogue/sqlite_support.h"

#include <SQLiteCpp/Database.h>

#include <sqlite3.h>

namespace korvane {

using sqlite::bindBlob;
using sqlite::bindDigest;
using sqlite::bindFacts;
using sqlite::blobOf;
using sqlite::digestOf;
using sqlite::factsAt;
using sqlite::firstFileOf;
using sqlite::lastFileOf;
using sqlite::Using;

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
        writeNames();
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
        writeNames();
        Using query(statement(Query::FileAt));
        query->bind(1, static_cast<std::int64_t>(fileNameKey(folderNameKey(folderPath), name)));
        query->bind(2, firstFileOf(in->id));
        query->bind(3, lastFileOf(in->id));
        bindBlob(*query, 4, name);
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
        // A unit forgets the digest once; outside a unit, every time.
        const bool inUnit = sqlite3_get_autocommit(db_->getHandle()) == 0;
        if (!inUnit || digestForgotten_.insert(r.project).second) {
            Using forget(statement(Query::ForgetProjectDigest));
            bindBlob(*forget, 1, r.project);
            forget->exec();
        }
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

std::optional<Digest> SqliteCatalogue::projectDigest(std::string_view project)
{
    try {
        Using query(statement(Query::ProjectDigest));
        bindBlob(*query, 1, project);
        if (query->executeStep())
            return digestOf(query->getColumn(0));
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
    return std::nullopt;
}

void SqliteCatalogue::setProjectDigest(std::string_view project, const Digest& digest)
{
    try {
        Using insert(statement(Query::SetProjectDigest));
        bindBlob(*insert, 1, project);
        bindDigest(*insert, 2, digest);
        insert->exec();
        digestForgotten_.erase(std::string(project));
    } catch (const SQLite::Exception& e) {
        fail(e);
    }
}

} // namespace korvane
