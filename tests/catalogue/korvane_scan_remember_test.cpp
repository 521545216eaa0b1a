// korvane-scan --remember and --changed: a scan remembers in the catalogue
// every file it found (size, fingerprint, where); a later scan lists the
// files that are no longer what was remembered, after the report and in
// the JSON document, the report itself unchanged; a catalogue that cannot
// be read is named and left as it is.

#include "catalogue/fingerprint.h"
#include "catalogue/media_memory.h"
#include "catalogue_test_support.h"
#include "korvane_scan_run.h"
#include "tests/builder/project_builder.h"
#include "tests/paths/scoped_env.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace korvane {
namespace {

using testkit::readBytes;
using testkit::TempDir;
using testkit::writeBytes;

using testkit::scan;

// A project of two clips that are there and one that is not.
class Remember : public ::testing::Test {
protected:
    TempDir dir;
    testkit::ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
    std::string catalogue = dir / "data/korvane/catalogue.sqlite";
    std::string project = dir / "wedding.dvc";
    std::string a = dir / "media/a.mov";
    std::string b = dir / "media/b.mov";
    std::string gone = dir / "media/gone.mov";

    void SetUp() override
    {
        writeBytes(a, std::string(200000, 'a'));
        writeBytes(b, std::string(3000, 'b'));
        testkit::ProjectModel model;
        for (const std::string& clip : {a, b, gone})
            model.bin.push_back({"bin", clip});
        testkit::writeFile(project, testkit::buildProject(model));
    }

    std::optional<Recollection> recall(const std::string& stored)
    {
        CatalogueOptions options;
        options.readOnly = true;
        const auto store = SqliteCatalogue::open(catalogue, options);
        const MountTable mounts = MountTable::read();
        return MediaMemory(*store, mounts).recall(projectKey(project), stored);
    }
};

TEST_F(Remember, aScanRemembersEveryFileItFoundAndTheReportStaysAsItWas)
{
    const testkit::ProcessResult plain = scan({project});
    const testkit::ProcessResult r = scan({"--remember", project});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, plain.out);
    EXPECT_EQ(r.err, "");
    for (const std::string& clip : {a, b}) {
        const std::optional<Recollection> remembered = recall(clip);
        ASSERT_TRUE(remembered) << clip;
        const std::optional<Fingerprinted> now = fingerprintFile(clip);
        ASSERT_TRUE(now);
        EXPECT_EQ(remembered->facts.size, now->facts.size) << clip;
        EXPECT_EQ(remembered->fingerprint, now->fingerprint) << clip;
    }
    EXPECT_FALSE(recall(gone)) << "a missing file was remembered";
}

TEST_F(Remember, filesThatChangedAreListedAfterTheReportAndInTheDocument)
{
    ASSERT_EQ(scan({"--remember", project}).status, 1);
    const testkit::ProcessResult plain = scan({project});
    struct Change {
        std::string content; // of a.mov now
        std::string reason;
        std::string json;
    };
    const Change changes[] = {
        {std::string(100000, 'a'), "size 100000, was 200000", "size"},
        {std::string(199999, 'a') + "x", "same size, other content", "content"},
    };
    for (const Change& change : changes) {
        writeBytes(a, change.content);
        const testkit::ProcessResult r = scan({"--changed", project});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.out, plain.out + "\r\nChanged since last seen\r\n" + a + "\r\n    " + change.reason + "\r\n");
        const nlohmann::json doc = nlohmann::json::parse(scan({"--changed", "--json", project}).out);
        ASSERT_EQ(doc["changed"].size(), 1u) << doc.dump();
        EXPECT_EQ(doc["changed"][0]["path"], a);
        EXPECT_EQ(doc["changed"][0]["reason"], change.json);
        EXPECT_EQ(doc["changed"][0]["was_size"], 200000);
    }
    EXPECT_FALSE(nlohmann::json::parse(scan({"--json", project}).out).contains("changed"));
}

TEST_F(Remember, aCatalogueThatCannotBeReadIsNamedAndLeftAsItIs)
{
    const testkit::ProcessResult plain = scan({project});
    ASSERT_EQ(scan({"--remember", project}).status, 1);
    for (const std::string& bytes : {std::string(4096, '\x5a'), readBytes(catalogue).substr(0, 3000)}) {
        for (const char* suffix : {"-wal", "-shm"})
            std::filesystem::remove(catalogue + suffix);
        writeBytes(catalogue, bytes);
        for (const char* option : {"--remember", "--changed"}) {
            const testkit::ProcessResult r = scan({option, project});
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find("korvane-scan: warning: the catalogue"), std::string::npos) << option << r.err;
            EXPECT_TRUE(r.out.starts_with(plain.out)) << option << r.out;
            EXPECT_EQ(readBytes(catalogue), bytes) << option;
        }
    }
}

} // namespace
} // namespace korvane
