// korvane-scan --search with what --remember recorded: a file of the size
// and fingerprint remembered of a missing stored name is that file, under
// any name and in any folder. It settles clips of two shoots that share a
// name, and a renamed clip is put back under its stored name; without the
// catalogue neither is known.

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

// A card's two clips, remembered where the project found them; then the card
// is gone: C0001.MP4 is in the searched tree twice, in the folders of two
// shoots, one of them the clip remembered; C0002.MP4 is there renamed.
class SameFile : public ::testing::Test {
protected:
    TempDir dir;
    testkit::ScopedEnv data{"XDG_DATA_HOME", (dir / "data").c_str()};
    testkit::ScopedEnv state{"XDG_STATE_HOME", (dir / "state").c_str()};
    std::string project = dir / "wedding.dvc";
    std::string card = dir / "card/CLIP";
    std::string searched = dir / "searched";
    const std::string first = std::string(150000, 'a') + "first";
    const std::string second = std::string(150000, 'b') + "second";
    const std::string other = std::string(150000, 'a') + "other";

    void SetUp() override
    {
        writeBytes(card + "/C0001.MP4", first);
        writeBytes(card + "/C0002.MP4", second);
        testkit::ProjectModel model;
        model.bin.push_back({"bin", card + "/C0001.MP4"});
        model.bin.push_back({"bin", card + "/C0002.MP4"});
        testkit::writeFile(project, testkit::buildProject(model));
        const testkit::ProcessResult remembered = scan({"--remember", project});
        ASSERT_EQ(remembered.status, 0) << remembered.err;
        std::filesystem::remove_all(dir / "card");
        writeBytes(searched + "/Mueller/CLIP/C0001.MP4", other);
        writeBytes(searched + "/Schmidt/CLIP/C0001.MP4", first);
        writeBytes(searched + "/Schnitt/Einzug_Braut.mp4", second);
    }

    nlohmann::json plan(const std::vector<std::string>& extra)
    {
        std::vector<std::string> args = {"--search", searched, "--restore", "--restore-root", dir.path().string(), "--json"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(project);
        const testkit::ProcessResult r = scan(args);
        EXPECT_EQ(r.status, 1) << r.err;
        return nlohmann::json::parse(r.out);
    }
};

TEST_F(SameFile, theFileRememberedIsChosenUnderAnyNameAndOnlyWithTheCatalogue)
{
    struct Row {
        std::vector<std::string> options;
        const char* stored;
        const char* action;
        std::string source; // put back from; else the reason it is left
    };
    const Row rows[] = {
        {{}, "C0001.MP4", "put-back", searched + "/Schmidt/CLIP/C0001.MP4"},
        {{}, "C0002.MP4", "put-back", searched + "/Schnitt/Einzug_Braut.mp4"},
        {{"--no-catalogue"}, "C0001.MP4", "left", "different-files"},
        {{"--no-catalogue"}, "C0002.MP4", "left", "not-found"},
    };
    for (const Row& row : rows) {
        const nlohmann::json doc = plan(row.options);
        const std::string stored = card + "/" + row.stored;
        const nlohmann::json* step = nullptr;
        for (const nlohmann::json& s : doc["restore"]["steps"])
            if (s["decoded"] == stored)
                step = &s;
        ASSERT_NE(step, nullptr) << doc.dump();
        EXPECT_EQ((*step)["action"], row.action) << row.stored << doc.dump();
        if (std::string(row.action) == "put-back")
            EXPECT_EQ((*step)["source"], row.source) << row.stored;
        else
            EXPECT_EQ((*step)["reason"], row.source) << row.stored;
    }
}

TEST_F(SameFile, putBackRestoresTheRememberedContentUnderTheStoredNames)
{
    const testkit::ProcessResult r =
        scan({"--search", searched, "--restore", "--apply", "--restore-root", dir.path().string(), project});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find(searched + "/Schnitt/Einzug_Braut.mp4 (the same file, renamed)"), std::string::npos)
        << r.out;
    EXPECT_EQ(readBytes(card + "/C0001.MP4"), first);
    EXPECT_EQ(readBytes(card + "/C0002.MP4"), second);
}

} // namespace
} // namespace korvane
