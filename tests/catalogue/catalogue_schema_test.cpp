// The SQLite store's tables: a catalogue of the first version brought up to
// date, files numbered within their folders, and the keys of their names
// kept in step with the files through units that commit and roll back.

#include "catalogue/name_key.h"
#include "catalogue/sqlite_catalogue.h"
#include "catalogue/sqlite_schema.h"
#include "catalogue_test_support.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

namespace korvane {
namespace {

using Kind = CatalogueError::Kind;
using testkit::readBytes;
using testkit::TempDir;

void fileKey(sqlite3_context* context, int, sqlite3_value** values)
{
    const auto* name = static_cast<const char*>(sqlite3_value_blob(values[1]));
    const std::string_view bytes(name ? name : "", static_cast<std::size_t>(sqlite3_value_bytes(values[1])));
    sqlite3_result_int64(context, static_cast<sqlite3_int64>(
                                      fileNameKey(static_cast<std::uint32_t>(sqlite3_value_int64(values[0])), bytes)));
}

// A connection of the test's own to a catalogue file, beside the store's.
class RawCatalogue {
public:
    explicit RawCatalogue(const std::string& path)
    {
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_create_function_v2(db_, "korvane_file_key", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, fileKey,
                                   nullptr, nullptr, nullptr);
    }
    ~RawCatalogue() { sqlite3_close(db_); }
    RawCatalogue(const RawCatalogue&) = delete;
    RawCatalogue& operator=(const RawCatalogue&) = delete;

    void run(const std::string& sql)
    {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
            ADD_FAILURE() << sql << ": " << (error ? error : "?");
        sqlite3_free(error);
    }
    std::int64_t number(const std::string& sql)
    {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
        const std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
        return value;
    }

private:
    sqlite3* db_ = nullptr;
};

std::string hex(const Digest& digest)
{
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : digest.bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// A catalogue of the first version, as korvane wrote them: two folders, the
// files of one numbered with gaps, one fingerprinted, and what a project
// remembered of one of them.
void makeVersion1(const std::string& path, const Digest& fingerprint)
{
    RawCatalogue db(path);
    db.run("PRAGMA auto_vacuum = INCREMENTAL;");
    db.run(sqlite::migrationFrom(0));
    db.run("PRAGMA application_id = " + std::to_string(SqliteCatalogue::kApplicationId) +
           "; PRAGMA user_version = 1; PRAGMA journal_mode = WAL;");
    const std::string fx6 = std::to_string(folderNameKey("Footage/FX6"));
    const std::string audio = std::to_string(folderNameKey("Audio"));
    // Every name a BLOB, as the store binds them.
    const auto b = [](const std::string& text) { return "CAST('" + text + "' AS BLOB)"; };
    db.run("INSERT INTO volume VALUES (3, " + b("uuid:1234-ABCD") + ", 0, " + b("1234-ABCD") + ", " + b("WD_2024_B") +
           ", " + b("/dev/sdb1") + ", " + b("exfat") + ", x'', 0, " + b("/media/wd") + ", 1000);"
           "INSERT INTO folder VALUES (7, 3, " + b("Footage/FX6") + ", 1000), (9, 3, " + b("Audio") + ", 1000);"
           "INSERT INTO file VALUES (5, 7, " + b("C0001.MP4") + ", 10, 20, 30, x'" + hex(fingerprint) + "', " + fx6 +
           "), (12, 7, " + b("C0002.MP4") + ", 11, 21, 31, NULL, " + fx6 + "), (40, 9, " + b("take.wav") +
           ", 12, 22, 32, NULL, " + audio + "), (41, 7, x'ff0a', 13, 23, 33, NULL, " + fx6 + ");"
           "INSERT INTO remembered VALUES (" + b("/p.dvc") + ", " + b("D:\\FX6\\C0001.MP4") + ", 10, 20, 30, x'" +
           hex(fingerprint) + "', 3, " + b("Footage/FX6/C0001.MP4") + ", 1500);");
}

TEST(CatalogueSchema, aCatalogueOfTheFirstVersionIsBroughtUpToDateByAWriterAndKeepsWhatItHeld)
{
    TempDir dir;
    const std::string path = dir / "catalogue.sqlite";
    Digest fingerprint;
    fingerprint.bytes.fill(0xAB);
    makeVersion1(path, fingerprint);

    // Reading changes nothing: an older catalogue is refused until a run
    // that writes brings it up to date.
    const std::string before = readBytes(path);
    CatalogueOptions reading;
    reading.readOnly = true;
    try {
        SqliteCatalogue::open(path, reading);
        ADD_FAILURE() << "read without being brought up to date";
    } catch (const CatalogueError& e) {
        EXPECT_EQ(e.kind(), Kind::CannotOpen) << e.what();
    }
    EXPECT_EQ(readBytes(path), before);

    auto catalogue = SqliteCatalogue::open(path);
    RawCatalogue raw(path);
    EXPECT_EQ(raw.number("PRAGMA user_version"), SqliteCatalogue::kSchemaVersion);
    EXPECT_EQ(raw.number("SELECT count(*) FROM sqlite_schema WHERE name IN ('file_in_folder', 'file_by_name')"), 0);
    std::vector<FileRecord> files;
    catalogue->files(7, files);
    std::set<std::string> names;
    for (const FileRecord& f : files)
        names.insert(f.name);
    EXPECT_EQ(names, (std::set<std::string>{"C0001.MP4", "C0002.MP4", "\xff\n"}));
    catalogue->files(9, files);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].facts, (FileFacts{12, 22, 32}));

    // Found again by name, by fingerprint and at its place; remembered as before.
    std::vector<CataloguedFile> found;
    catalogue->filesNamed("FX6", "c0002.mp4", found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].path(), "Footage/FX6/C0002.MP4");
    EXPECT_EQ(found[0].volume, 3);
    found.clear();
    catalogue->filesWithFingerprint(fingerprint, found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].file.name, "C0001.MP4");
    EXPECT_EQ(found[0].file.facts, (FileFacts{10, 20, 30}));
    EXPECT_TRUE(catalogue->fileAt(3, "Audio/take.wav"));
    const std::optional<Recollection> r = catalogue->recall("/p.dvc", "D:\\FX6\\C0001.MP4");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->path, "Footage/FX6/C0001.MP4");
    EXPECT_EQ(catalogue->fileCount(3), 4u);

    // A file added now takes a number of its own.
    inOneUnit(*catalogue, [&] { catalogue->addFile(7, "C0003.MP4", {1, 2, 3}, std::nullopt); });
    catalogue->files(7, files);
    EXPECT_EQ(files.size(), 4u);
    EXPECT_EQ(raw.number("SELECT count(DISTINCT id) FROM file"), 5);
}

// The files of the catalogue and the keys of their names, as the store
// keeps them: each file's key once, and no key without its file.
void expectNamesInStep(RawCatalogue& raw)
{
    EXPECT_EQ(raw.number("SELECT count(*) FROM file_name"), raw.number("SELECT count(*) FROM file"));
    EXPECT_EQ(raw.number("SELECT count(*) FROM file_name n LEFT JOIN file f ON f.id = n.file WHERE f.id IS NULL"), 0);
}

TEST(CatalogueSchema, theKeysOfNamesAreWrittenWithTheirUnitAndGoWithTheirFiles)
{
    TempDir dir;
    const std::string path = dir / "catalogue.sqlite";
    auto catalogue = SqliteCatalogue::open(path);
    RawCatalogue raw(path);
    VolumeIdentity disk;
    disk.key = "uuid:1";
    std::vector<NewFile> many;
    for (int k = 0; k < 70; ++k) // two statements of many rows and a few of one
        many.push_back({"clip" + std::to_string(k) + ".mov", {static_cast<std::uint64_t>(k), 1, 2}});
    CatalogueId folder = 0;
    CatalogueId removed = 0;
    inOneUnit(*catalogue, [&] {
        const CatalogueId volume = catalogue->recordVolume(disk, "/d", 1).id;
        folder = catalogue->addFolder(volume, "Day 1", 1);
        catalogue->addFiles(folder, many);
        removed = catalogue->addFile(folder, "gone.mov", {9, 9, 9}, std::nullopt);
        catalogue->removeFile(folder, removed); // added and removed in one unit
        catalogue->putFile(folder, "clip3.mov", {33, 1, 2}, std::nullopt);
    });
    expectNamesInStep(raw);
    std::vector<CataloguedFile> found;
    for (int k = 0; k < 70; ++k) {
        found.clear();
        catalogue->filesNamed("day 1", "CLIP" + std::to_string(k) + ".MOV", found);
        ASSERT_EQ(found.size(), 1u) << k;
        EXPECT_EQ(found[0].file.facts.size, k == 3 ? 33u : static_cast<std::uint64_t>(k));
    }
    found.clear();
    catalogue->filesNamed("Day 1", "gone.mov", found);
    EXPECT_TRUE(found.empty());

    // What a unit rolled back leaves no key; a folder removed takes its keys.
    catalogue->begin();
    catalogue->addFiles(folder, {{"late.mov", {1, 1, 1}}});
    catalogue->rollback();
    expectNamesInStep(raw);
    EXPECT_EQ(raw.number("SELECT count(*) FROM file"), 70);
    inOneUnit(*catalogue, [&] { catalogue->removeFolder(folder); });
    expectNamesInStep(raw);
    EXPECT_EQ(raw.number("SELECT count(*) FROM file"), 0);
}

TEST(CatalogueSchema, aFolderWhoseLastNumberIsTakenNumbersItsNextFilesFromTheFirstFree)
{
    TempDir dir;
    const std::string path = dir / "catalogue.sqlite";
    auto catalogue = SqliteCatalogue::open(path);
    VolumeIdentity disk;
    disk.key = "uuid:1";
    CatalogueId folder = 0;
    inOneUnit(*catalogue, [&] {
        folder = catalogue->addFolder(catalogue->recordVolume(disk, "/d", 1).id, "DCIM", 1);
        catalogue->addFile(folder, "first.jpg", {1, 1, 1}, std::nullopt);
    });
    // The folder's last number taken, as after millions of files came and went.
    const CatalogueId last = (folder << 24) + (1 << 24) - 1;
    RawCatalogue(path).run("INSERT INTO file VALUES (" + std::to_string(last) + ", x'00', 1, 1, 1, NULL)");
    std::vector<CatalogueId> ids;
    inOneUnit(*catalogue, [&] {
        for (int k = 0; k < 3; ++k)
            ids.push_back(catalogue->addFile(folder, "next" + std::to_string(k) + ".jpg", {1, 1, 1}, std::nullopt));
    });
    EXPECT_EQ(ids, (std::vector<CatalogueId>{(folder << 24) + 1, (folder << 24) + 2, (folder << 24) + 3}));
    std::vector<FileRecord> files;
    catalogue->files(folder, files);
    EXPECT_EQ(files.size(), 5u);
}

} // namespace
} // namespace korvane
