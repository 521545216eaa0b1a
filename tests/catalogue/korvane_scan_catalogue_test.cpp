// korvane-scan --catalogue and --forget as a user runs them, on a catalogue
// in a temporary $XDG_DATA_HOME.

#include "catalogue_test_support.h"
#include "korvane_scan_run.h"
#include "tests/paths/scoped_env.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testkit::readBytes;
using testkit::TempDir;
using testkit::writeBytes;

using testkit::scan;

TEST(KorvaneScanCatalogue, aFolderIsCataloguedThenRefreshedThenForgotten)
{
    TempDir dir;
    const testkit::ScopedEnv data("XDG_DATA_HOME", (dir / "data").c_str());
    const std::string disk = dir / "disk";
    writeBytes(disk + "/Footage/C0001.MP4", "one");
    writeBytes(disk + "/Footage/C0002.MP4", "two");

    testkit::ProcessResult r = scan({"--catalogue", disk});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 files in 2 folders: 2 new, 0 changed, 0 gone; 2 fingerprinted"), std::string::npos)
        << r.out;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir / "data/korvane/catalogue.sqlite"));

    std::filesystem::remove(disk + "/Footage/C0002.MP4");
    r = scan({"--catalogue", disk});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 files in 2 folders: 0 new, 0 changed, 1 gone; 0 fingerprinted"), std::string::npos)
        << r.out;

    r = scan({"--forget", disk});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("forgot disk"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("its 1 files"), std::string::npos) << r.out;
    r = scan({"--forget", disk});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no such disk"), std::string::npos) << r.err;
}

TEST(KorvaneScanCatalogue, aCatalogueThatIsNotOneIsRefusedAndLeftAsItIs)
{
    TempDir dir;
    const testkit::ScopedEnv data("XDG_DATA_HOME", (dir / "data").c_str());
    const std::string catalogue = dir / "data/korvane/catalogue.sqlite";
    writeBytes(catalogue, std::string(4096, '\x5a'));
    writeBytes(dir / "disk/a.mov", "a");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--catalogue", dir / "disk"}, std::vector<std::string>{"--forget", "WD"}}) {
        const testkit::ProcessResult r = scan(args);
        EXPECT_EQ(r.status, 3) << args[0];
        EXPECT_NE(r.err.find("left as it is"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readBytes(catalogue), std::string(4096, '\x5a'));
}

TEST(KorvaneScanCatalogue, itsOptionsAreGivenAlone)
{
    TempDir dir;
    const testkit::ScopedEnv data("XDG_DATA_HOME", (dir / "data").c_str());
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--catalogue"}, "--catalogue needs the folders to catalogue"},
        {{"--catalogue", "--json", dir.path().string()}, "--catalogue DIR... is given alone"},
        {{"--catalogue", "--forget", "WD", dir.path().string()}, "--catalogue DIR... is given alone"},
        {{"--forget", "WD", "project.dvc"}, "--forget DISK is given alone"},
        {{"--forget", "WD", "--search", dir.path().string()}, "--forget DISK is given alone"},
        {{"--forget"}, "--forget needs a value"},
    };
    for (const auto& c : cases) {
        const testkit::ProcessResult r = scan(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "data")) << "nothing was made";
}

} // namespace
} // namespace korvane
