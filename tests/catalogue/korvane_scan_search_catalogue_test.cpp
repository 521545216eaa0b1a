// korvane-scan --search with the user's catalogue of disks: a missing clip
// catalogued on a disk that is not connected now is named with its disk, in
// the text and in the JSON document; the report itself never changes; the
// catalogue is only read, and one that cannot be read is named and passed
// over.

#include "catalogue_test_support.h"
#include "korvane_scan_run.h"
#include "tests/builder/project_builder.h"
#include "tests/paths/scoped_env.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <ctime>

namespace korvane {
namespace {

using testkit::readBytes;
using testkit::TempDir;
using testkit::writeBytes;

// 2024-07-01 at noon UTC: the same day in every time zone within eleven hours.
constexpr std::int64_t kLastSeen = 1719835200;

using testkit::scan;

std::string localDay(std::int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    ::localtime_r(&time, &local);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

// A disk "WD_2024_B" that no mount table lists, holding the shoot's clip,
// and the project that refers to that clip where it is no longer.
class SearchWithCatalogue : public ::testing::Test {
protected:
    TempDir dir;
    testkit::ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
    std::string catalogue = dir / "data/korvane/catalogue.sqlite";
    std::string project = dir / "wedding.dvc";
    std::string searched = dir / "searched";

    void SetUp() override
    {
        auto store = SqliteCatalogue::open(catalogue);
        VolumeIdentity id;
        id.kind = VolumeKind::Uuid;
        id.uuid = "5E1F-0B0B";
        id.key = "uuid:" + id.uuid;
        id.label = "WD_2024_B";
        inOneUnit(*store, [&] {
            const CatalogueId volume = store->recordVolume(id, "/media/me/WD_2024_B", kLastSeen).id;
            const CatalogueId folder = store->addFolder(volume, "Footage/2024-06-15/FX6", kLastSeen);
            store->addFile(folder, "C0001.MP4", {1000, kLastSeen * 1000000000, 7}, std::nullopt);
        });
        store.reset();
        testkit::ProjectModel model;
        model.bin.push_back({"bin", dir / "gone/Footage/2024-06-15/FX6/C0001.MP4"});
        testkit::writeFile(project, testkit::buildProject(model));
        std::filesystem::create_directories(searched);
    }
};

TEST_F(SearchWithCatalogue, aClipOnADiskNotConnectedIsNamedWithItsDiskAndTheReportStaysAsItWas)
{
    const std::string line = "    on disk \"WD_2024_B\" (not connected), at Footage/2024-06-15/FX6/C0001.MP4, "
                             "last seen on " + localDay(kLastSeen) + "\r\n";
    const std::string before = readBytes(catalogue);
    const testkit::ProcessResult with = scan({"--search", searched, project});
    const testkit::ProcessResult without = scan({"--search", searched, "--no-catalogue", project});
    EXPECT_EQ(with.status, 1) << with.err;
    EXPECT_EQ(without.status, 1) << without.err;
    const std::string section =
        "On disks not connected\r\n" + (dir / "gone/Footage/2024-06-15/FX6/C0001.MP4") + "\r\n" + line;
    const std::size_t at = with.out.find(section);
    ASSERT_NE(at, std::string::npos) << with.out;
    // Without the catalogue the output is the same but for that section
    // and the blank line after it (the report's line ends).
    std::string rest = with.out;
    rest.erase(at, section.size() + 2);
    EXPECT_EQ(rest, without.out);
    EXPECT_EQ(without.out.find("not connected"), std::string::npos) << without.out;
    EXPECT_EQ(with.err, "");
    EXPECT_EQ(readBytes(catalogue), before) << "the catalogue was written";

    const nlohmann::json doc = nlohmann::json::parse(scan({"--search", searched, "--json", project}).out);
    EXPECT_EQ(doc["format"], 3);
    const nlohmann::json& elsewhere = doc["missing"][0]["elsewhere"];
    ASSERT_EQ(elsewhere.size(), 1u) << doc.dump();
    EXPECT_EQ(elsewhere[0]["volume"], "uuid:5E1F-0B0B");
    EXPECT_EQ(elsewhere[0]["label"], "WD_2024_B");
    EXPECT_EQ(elsewhere[0]["path"], "Footage/2024-06-15/FX6/C0001.MP4");
    EXPECT_EQ(elsewhere[0]["last_seen"], localDay(kLastSeen));
    EXPECT_EQ(elsewhere[0]["connected"], false);
    EXPECT_EQ(elsewhere[0]["evidence"], "same-folders");
    EXPECT_EQ(doc["missing"][0]["elsewhere_ambiguous"], false);
    const nlohmann::json plain =
        nlohmann::json::parse(scan({"--search", searched, "--json", "--no-catalogue", project}).out);
    EXPECT_FALSE(plain["missing"][0].contains("elsewhere")) << plain.dump();
}

TEST_F(SearchWithCatalogue, aCatalogueThatCannotBeReadIsNamedLeftAsItIsAndTheSearchGoesOn)
{
    const testkit::ProcessResult plain = scan({"--search", searched, "--no-catalogue", project});
    for (const std::string& bytes : {std::string(4096, '\x5a'), readBytes(catalogue).substr(0, 3000)}) {
        for (const char* suffix : {"-wal", "-shm"})
            std::filesystem::remove(catalogue + suffix);
        writeBytes(catalogue, bytes);
        const testkit::ProcessResult r = scan({"--search", searched, project});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("korvane-scan: the catalogue"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("is not consulted"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, plain.out);
        EXPECT_EQ(readBytes(catalogue), bytes);
    }
}

} // namespace
} // namespace korvane
