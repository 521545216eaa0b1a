#include "catalogue/present_files.h"

#include "catalogue_test_support.h"
#include "fake_mounts.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace korvane {
namespace {

using testkit::TempDir;
using testkit::writeBytes;

// Each present file observed as a stat of its path says, on the volume and
// at the place its folder's real path says; or with the reason it cannot
// be: for a few odd paths, and for a project large enough to be stat'ed by
// several threads, whose files come in no order of their folders.
TEST(PresentFiles, eachFileIsObservedAsAStatOfItsPathSaysAtItsRealPlace)
{
    TempDir dir;
    const std::string root = std::filesystem::canonical(dir.path()).string();
    testkit::FakeMounts mounts(dir.path());
    const std::string disk = root + "/disk";
    std::filesystem::create_directories(disk);
    mounts.plug(disk, "1234-ABCD", "WD", "ext4");
    std::filesystem::create_directory_symlink(disk + "/Footage", root + "/shortcut");
    std::filesystem::create_directories(disk + "/Footage/Day 1");
    std::filesystem::create_directory_symlink(disk + "/Footage/Day 1", disk + "/Footage/Latest");

    std::vector<std::string> paths;
    for (int k = 0; k < 3000; ++k) // over the files that call for threads, in folders taken in turn
        paths.push_back(disk + "/Footage/Day " + std::to_string(k % 7) + "/clip" + std::to_string(k) + ".mov");
    for (const std::string& path : paths)
        writeBytes(path, path.substr(path.size() - 9));
    writeBytes(root + "/off the disk.mov", "x");
    const struct {
        std::string path;
        int error;
        std::string relative; // from the root of its volume
        CatalogueId volume;
    } odd[] = {
        {root + "/shortcut/Day 1/clip1.mov", 0, "Footage/Day 1/clip1.mov", 5}, // through a link: its real place
        {disk + "/Footage/Day 1/../Day 2/clip2.mov", 0, "Footage/Day 2/clip2.mov", 5},
        {disk + "/Footage/Latest/clip8.mov", 0, "Footage/Day 1/clip8.mov", 5}, // its folder a link
        {disk + "/Footage//Day 3/./clip3.mov", 0, "Footage/Day 3/clip3.mov", 5},
        {"shortcut/Day 4/clip4.mov", 0, "Footage/Day 4/clip4.mov", 5}, // from the current folder
        {"disk/Footage/Latest/clip15.mov", 0, "Footage/Day 1/clip15.mov", 5},
        {"off the disk.mov", 0, root.substr(1) + "/off the disk.mov", 0},
        {root + "/off the disk.mov", 0, root.substr(1) + "/off the disk.mov", 0}, // a volume not catalogued
        {disk + "/Footage/Day 1/missing.mov", ENOENT, "", 0},
        {disk + "/Footage/Day 1", EINVAL, "", 0}, // a folder
        {disk + "/Footage/Day 1/", EISDIR, "", 0}, // no name
        {disk + "/Nowhere/clip.mov", ENOENT, "", 0},
    };
    for (const auto& o : odd)
        paths.push_back(o.path);
    std::vector<PresentFile> present;
    for (const std::string& path : paths)
        present.push_back({"stored", path});

    const MountTable table = mounts.table();
    struct InFolder { // the relative paths are from `root`
        std::filesystem::path before = std::filesystem::current_path();
        explicit InFolder(const std::string& folder) { std::filesystem::current_path(folder); }
        ~InFolder() { std::filesystem::current_path(before); }
    } inRoot(root);
    const PresentFiles seen = observeFiles(present, table, [](const Mount& m) { return m.identity.uuid == "1234-ABCD" ? 5 : 0; });
    ASSERT_EQ(seen.files.size(), present.size());
    for (std::size_t k = 0; k < present.size(); ++k) {
        const Observation& o = seen.files[k];
        const bool isOdd = k >= 3000;
        const int error = isOdd ? odd[k - 3000].error : 0;
        EXPECT_EQ(o.error, error) << paths[k];
        if (error != 0)
            continue;
        struct stat st {};
        ASSERT_EQ(::stat(paths[k].c_str(), &st), 0);
        EXPECT_EQ(o.facts, factsOf(st)) << paths[k];
        const std::string relative = isOdd ? odd[k - 3000].relative : paths[k].substr(disk.size() + 1);
        EXPECT_EQ(o.volume, isOdd ? odd[k - 3000].volume : 5) << paths[k];
        EXPECT_EQ(seen.relative(o), relative) << paths[k];
        EXPECT_TRUE(seen.isAt(o, relative)) << paths[k];
        EXPECT_FALSE(seen.isAt(o, relative + "x")) << paths[k];
    }
}

// A name stored twice, a file that changed, one the project no longer
// holds: each makes another digest.
TEST(PresentFiles, theDigestChangesWithEveryNameFactAndPlace)
{
    TempDir dir;
    const std::string root = std::filesystem::canonical(dir.path()).string();
    testkit::FakeMounts mounts(dir.path());
    mounts.plug(root, "1234-ABCD", "WD", "ext4");
    const std::string a = root + "/a.mov", b = root + "/b.mov";
    writeBytes(a, "aaaa");
    writeBytes(b, "bbbb");
    const MountTable table = mounts.table();
    const auto digest = [&](const std::vector<PresentFile>& present, CatalogueId volume = 1) {
        return presentDigest(present, observeFiles(present, table, [&](const Mount&) { return volume; }));
    };
    const std::vector<PresentFile> both = {{"D:\\a.mov", a}, {"D:\\b.mov", b}};
    const Digest before = digest(both);
    EXPECT_EQ(digest(both), before);
    EXPECT_NE(digest({{"D:\\a.mov", a}}), before);
    EXPECT_NE(digest({{"D:\\b.mov", b}, {"D:\\a.mov", a}}), before);
    EXPECT_NE(digest({{"D:\\a.mov", a}, {"D:\\B.mov", b}}), before);
    EXPECT_NE(digest({{"D:\\a.mov", a}, {"D:\\b.mov", a}}), before);
    EXPECT_NE(digest(both, 2), before);
    testkit::setMtime(b, 1800000000);
    EXPECT_NE(digest(both), before);
}

} // namespace
} // namespace korvane
