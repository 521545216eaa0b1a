#include "catalogue/sqlite_catalogue.h"

#include "catalogue/cataloguer.h"
#include "catalogue_test_support.h"
#include "fake_mounts.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/resource.h>

#include <csignal>

namespace korvane {
namespace {

using Kind = CatalogueError::Kind;
using testkit::readBytes;
using testkit::TempDir;
using testkit::writeBytes;

std::int64_t pragmaOf(const std::string& path, const char* pragma)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, (std::string("PRAGMA ") + pragma).c_str(), -1, &statement, nullptr);
    const std::int64_t value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

void runSql(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

VolumeIdentity diskNamed(const std::string& uuid, const std::string& label)
{
    VolumeIdentity id;
    id.kind = VolumeKind::Uuid;
    id.key = "uuid:" + uuid;
    id.uuid = uuid;
    id.label = label;
    id.source = "/dev/sdb1";
    id.fsType = "exfat";
    return id;
}

// A catalogue holding one volume, one folder and one file.
void fillSmallCatalogue(const std::string& path)
{
    auto catalogue = SqliteCatalogue::open(path);
    inOneUnit(*catalogue, [&] {
        const VolumeRecord volume = catalogue->recordVolume(diskNamed("1234-ABCD", "WD_2024_B"), "/media/wd", 1000);
        const CatalogueId folder = catalogue->addFolder(volume.id, "Footage", 1000);
        catalogue->addFile(folder, "C0001.MP4", {10, 20, 30}, std::nullopt);
    });
}

TEST(SqliteCatalogue, aNewCatalogueIsPrivateAndInWalMode)
{
    TempDir dir;
    const std::string path = dir / "data/korvane/catalogue.sqlite";
    fillSmallCatalogue(path);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir / "data/korvane").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(pragmaOf(path, "user_version"), SqliteCatalogue::kSchemaVersion);
    EXPECT_EQ(pragmaOf(path, "application_id"), SqliteCatalogue::kApplicationId);
    EXPECT_EQ(pragmaOf(path, "auto_vacuum"), 2) << "incremental";
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    char** rows = nullptr;
    int count = 0, columns = 0;
    sqlite3_get_table(db, "PRAGMA journal_mode", &rows, &count, &columns, nullptr);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(rows[1], "wal");
    sqlite3_free_table(rows);
    sqlite3_close(db);
}

TEST(SqliteCatalogue, filesThatAreNotCataloguesAreRefusedAndLeftAsTheyAre)
{
    TempDir dir;
    fillSmallCatalogue(dir / "good.sqlite");
    const std::string good = readBytes(dir / "good.sqlite");
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        Kind kind;
    } cases[] = {
        {"text", [](const std::string& p) { writeBytes(p, "korvane catalogue\n" + std::string(5000, 'x')); },
         Kind::Damaged},
        {"header cut short", [&](const std::string& p) { writeBytes(p, good.substr(0, 60)); }, Kind::Damaged},
        {"cut short", [&](const std::string& p) { writeBytes(p, good.substr(0, good.size() / 2)); }, Kind::Damaged},
        {"another program's", [](const std::string& p) { runSql(p, "CREATE TABLE notes (text);"); }, Kind::Foreign},
        {"another program's with an id",
         [](const std::string& p) { runSql(p, "PRAGMA application_id = 7; CREATE TABLE t (x);"); }, Kind::Foreign},
        {"a newer korvane's",
         [&](const std::string& p) {
             writeBytes(p, good);
             runSql(p, "PRAGMA user_version = 99;");
         },
         Kind::Newer},
        {"without its files", [&](const std::string& p) {
             writeBytes(p, good);
             runSql(p, "PRAGMA foreign_keys = OFF; DROP TABLE remembered;");
         },
         Kind::Damaged},
    };
    for (const auto& c : cases) {
        const std::string path = dir / (std::string(c.name) + ".sqlite");
        c.make(path);
        const std::string before = readBytes(path);
        for (const bool readOnly : {false, true}) {
            try {
                CatalogueOptions options;
                options.readOnly = readOnly;
                SqliteCatalogue::open(path, options)->volumes();
                ADD_FAILURE() << c.name << " was opened";
            } catch (const CatalogueError& e) {
                EXPECT_EQ(e.kind(), c.kind) << c.name << ": " << e.what();
                EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
            }
        }
        EXPECT_EQ(readBytes(path), before) << c.name;
        EXPECT_TRUE(!std::filesystem::exists(path + "-wal") || std::filesystem::file_size(path + "-wal") == 0)
            << c.name;
    }
}

TEST(SqliteCatalogue, aCatalogueThatCannotBeWrittenIsStillRead)
{
    TempDir dir;
    const std::string path = dir / "catalogue.sqlite";
    fillSmallCatalogue(path);
    const int status = testkit::withoutWriting(dir.path().string(), [&] {
        CatalogueOptions reading;
        reading.readOnly = true;
        const std::vector<VolumeRecord> volumes = SqliteCatalogue::open(path, reading)->volumes();
        if (volumes.size() != 1 || volumes.front().identity.label != "WD_2024_B")
            return 1;
        try {
            auto writer = SqliteCatalogue::open(path);
            inOneUnit(*writer, [&] { writer->recordVolume(diskNamed("5555-0000", "X"), "/media/x", 1); });
            return 2;
        } catch (const CatalogueError& e) {
            return e.kind() == Kind::ReadOnly || e.kind() == Kind::CannotOpen ? 0 : 3;
        }
    });
    EXPECT_EQ(status, 0);
}

TEST(SqliteCatalogue, aWriterWaitsForAnotherOnlyAsLongAsItIsTold)
{
    TempDir dir;
    const std::string path = dir / "catalogue.sqlite";
    fillSmallCatalogue(path);
    auto holder = SqliteCatalogue::open(path);
    holder->begin();
    CatalogueOptions impatient;
    impatient.busyMilliseconds = 50;
    auto other = SqliteCatalogue::open(path, impatient);
    try {
        other->begin();
        ADD_FAILURE() << "a second unit of writing began";
    } catch (const CatalogueError& e) {
        EXPECT_EQ(e.kind(), Kind::Busy) << e.what();
    }
    EXPECT_EQ(other->volumes().size(), 1u) << "readers are not kept waiting";
    holder->commit();
    EXPECT_NO_THROW(inOneUnit(*other, [&] { other->recordVolume(diskNamed("5555-0000", "X"), "/x", 1); }));
}

TEST(SqliteCatalogue, aFullDiskUndoesTheUnitUnderWayAndKeepsWhatWasCommitted)
{
    TempDir dir;
    const std::string path = dir / "catalogue.sqlite";
    fillSmallCatalogue(path);
    const int status = testkit::inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        auto catalogue = SqliteCatalogue::open(path);
        const rlimit small{256 * 1024, 256 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &small);
        try {
            inOneUnit(*catalogue, [&] {
                const CatalogueId folder = catalogue->addFolder(1, "Big", 2000);
                for (int k = 0; k < 20000; ++k)
                    catalogue->addFile(folder, "clip" + std::to_string(k) + std::string(100, 'x'), {1, 2, 3}, {});
            });
            return 1;
        } catch (const CatalogueError& e) {
            // A full disk says ENOSPC (Full); a file size limit, as here,
            // leaves SQLite only an I/O error.
            return e.kind() == Kind::Full || e.kind() == Kind::Io ? 0 : 2;
        }
    });
    EXPECT_EQ(status, 0);
    auto catalogue = SqliteCatalogue::open(path);
    EXPECT_FALSE(catalogue->folder(1, "Big"));
    const std::optional<FolderRecord> footage = catalogue->folder(1, "Footage");
    ASSERT_TRUE(footage);
    std::vector<FileRecord> files;
    catalogue->files(footage->id, files);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files.front().name, "C0001.MP4");
}

TEST(SqliteCatalogue, aCatalogueOnANetworkFileSystemIsRefusedWithTheReason)
{
    TempDir dir;
    testkit::FakeMounts mounts(dir.path());
    const std::string share = std::filesystem::canonical(dir.path()).string() + "/share";
    std::filesystem::create_directories(share);
    mounts.share(share, "nas:/export/home", "nfs4");
    CatalogueOptions options;
    options.mounts = mounts.sources();
    for (const bool readOnly : {false, true}) {
        options.readOnly = readOnly;
        try {
            SqliteCatalogue::open(share + "/korvane/catalogue.sqlite", options);
            ADD_FAILURE() << "opened on a share";
        } catch (const CatalogueError& e) {
            EXPECT_EQ(e.kind(), Kind::NetworkFileSystem);
            EXPECT_NE(std::string(e.what()).find("locking"), std::string::npos) << e.what();
        }
    }
    EXPECT_FALSE(std::filesystem::exists(share + "/korvane")) << "nothing was made there";
}

TEST(SqliteCatalogue, hostileNamesComeBackByteForByte)
{
    TempDir dir;
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b == '/' ? 'x' : b);
    const std::string names[] = {everyByte, "line\nbreak\r\n", "\xff\xfe not UTF-8 \x80", "it's 100% \"quoted\"",
                                 std::string("nul\0inside", 10), "", "\xe2\x80\xae" "4pm.mov"};
    auto catalogue = SqliteCatalogue::open(dir / "catalogue.sqlite");
    for (const std::string& name : names) {
        VolumeIdentity id = diskNamed(name, name);
        id.key = "uuid:" + name;
        id.source = name;
        Recollection r;
        r.project = name;
        r.stored = name;
        r.path = name;
        r.fingerprint.bytes.fill(7);
        CatalogueId folder = 0;
        inOneUnit(*catalogue, [&] {
            const VolumeRecord volume = catalogue->recordVolume(id, name, 5);
            folder = catalogue->addFolder(volume.id, name, 5);
            catalogue->putFile(folder, name, {1, 2, 3}, std::nullopt);
            r.volume = volume.id;
            catalogue->remember(r);
        });
        std::vector<FileRecord> files;
        catalogue->files(folder, files);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files.front().name, name);
        const std::optional<Recollection> back = catalogue->recall(name, name);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->stored, name);
        EXPECT_EQ(back->path, name);
        const auto volumes = catalogue->volumes();
        const auto volume = std::find_if(volumes.begin(), volumes.end(),
                                         [&](const VolumeRecord& v) { return v.identity.key == "uuid:" + name; });
        ASSERT_NE(volume, volumes.end());
        EXPECT_EQ(volume->identity.label, name);
        EXPECT_EQ(volume->lastMountPoint, name);
    }
}

TEST(SqliteCatalogue, runsThatWriteAtOnceAllSucceed)
{
    TempDir dir;
    const std::string root = std::filesystem::canonical(dir.path()).string();
    testkit::FakeMounts mounts(dir.path());
    constexpr int kRuns = 3;
    constexpr int kFiles = 400;
    for (int run = 0; run < kRuns; ++run) {
        const std::string disk = root + "/disk" + std::to_string(run);
        for (int k = 0; k < kFiles; ++k)
            writeBytes(disk + "/f" + std::to_string(k % 20) + "/clip" + std::to_string(k), std::to_string(k));
        mounts.plug(disk, "UUID-" + std::to_string(run), "");
    }
    // Every run starts before the catalogue exists: it is made once.
    std::vector<pid_t> children;
    for (int run = 0; run < kRuns; ++run) {
        const pid_t child = ::fork();
        if (child == 0) {
            CatalogueRunOptions options;
            options.unit = std::chrono::milliseconds(0);
            std::unique_ptr<SqliteCatalogue> catalogue;
            try {
                catalogue = SqliteCatalogue::open(root + "/catalogue.sqlite");
            } catch (const CatalogueError& e) {
                std::fprintf(stderr, "%s\n", e.what());
                std::_Exit(2);
            }
            const CatalogueOutcome outcome =
                catalogueFolder(*catalogue, mounts.table(), root + "/disk" + std::to_string(run), options);
            if (outcome.error)
                std::fprintf(stderr, "%s\n", outcome.error->what());
            std::_Exit(outcome.ok() && outcome.fingerprinted == kFiles ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = -1;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto catalogue = SqliteCatalogue::open(root + "/catalogue.sqlite");
    const std::vector<VolumeRecord> volumes = catalogue->volumes();
    ASSERT_EQ(volumes.size(), static_cast<std::size_t>(kRuns));
    for (const VolumeRecord& volume : volumes)
        EXPECT_EQ(catalogue->fileCount(volume.id), static_cast<std::uint64_t>(kFiles));
}

} // namespace
} // namespace korvane
