#include "fs/file_probe.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

using testkit::TempDir;

TEST(FindFirstPattern, StarAndQuestionMarkMatchLikeTheFindFirstSearch)
{
    EXPECT_TRUE(matchesFindFirst("*", "clip.avi"));
    EXPECT_TRUE(matchesFindFirst("*.avi", "clip.avi"));
    EXPECT_FALSE(matchesFindFirst("*.avi", "clip.avi.bak"));
    EXPECT_TRUE(matchesFindFirst("clip?.avi", "clip1.avi"));
    EXPECT_FALSE(matchesFindFirst("clip?.avi", "clip12.avi"));
    EXPECT_TRUE(matchesFindFirst("c*p*.a?i", "cooptop.avi"));
    EXPECT_FALSE(matchesFindFirst("*.AVI", "clip.avi")) << "names on this system differ by case";
    EXPECT_TRUE(matchesFindFirst("*.AVI", "clip.avi", true));
}

TEST(FindFirstPattern, DosRulesAtDotsAndEnds)
{
    // `?` also matches nothing at a dot or the end of the name.
    EXPECT_TRUE(matchesFindFirst("clip??.avi", "clip1.avi"));
    EXPECT_TRUE(matchesFindFirst("clip???", "clip"));
    EXPECT_FALSE(matchesFindFirst("?", "ab"));
    // `*.*` matches every name, with or without a dot; `*.` only names without one.
    EXPECT_TRUE(matchesFindFirst("*.*", "README"));
    EXPECT_TRUE(matchesFindFirst("*.*", "clip.avi"));
    EXPECT_TRUE(matchesFindFirst("*.", "README"));
    EXPECT_FALSE(matchesFindFirst("*.", "clip.avi"));
    // A dot before a star also matches the end: `clip.*` finds "clip".
    EXPECT_TRUE(matchesFindFirst("clip.*", "clip"));
    EXPECT_TRUE(matchesFindFirst("clip.*", "clip.avi"));
    // `*` before a dot stops at the last dot of the name.
    EXPECT_TRUE(matchesFindFirst("*.avi", "a.b.avi"));
    EXPECT_FALSE(matchesFindFirst("*.b", "a.b.avi"));
}

TEST(FindFirstPattern, ManyStarsStayFast)
{
    const std::string name(255, 'a');
    EXPECT_FALSE(matchesFindFirst("*a*a*a*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(matchesFindFirst("*a*a*a*a*a*a*a*a*a*a*a*a*a", name));
}

class FindFirstOnDisk : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FindFirstOnDisk, FilesAndDirectoriesArePresent)
{
    const std::string file = dir.touch("Wedding/clip.avi");
    EXPECT_TRUE(findFirst(file));
    EXPECT_TRUE(findFirst(dir / "Wedding"));
    EXPECT_FALSE(findFirst(dir / "Wedding/other.avi"));
    EXPECT_FALSE(findFirst(dir / "Wedding/clip.avi/inside"));
}

TEST_F(FindFirstOnDisk, EmptyNamesTrailingSeparatorsAndTheRootFindNothing)
{
    dir.touch("Wedding/clip.avi");
    EXPECT_FALSE(findFirst(""));
    EXPECT_FALSE(findFirst(dir / "Wedding/"));
    EXPECT_FALSE(findFirst("/"));
}

TEST_F(FindFirstOnDisk, WildcardsInTheLastComponentMatchEntries)
{
    dir.touch("Wedding/clip1.avi");
    EXPECT_TRUE(findFirst(dir / "Wedding/*.avi"));
    EXPECT_TRUE(findFirst(dir / "Wedding/clip?.avi"));
    EXPECT_FALSE(findFirst(dir / "Wedding/*.bmp"));
    EXPECT_FALSE(findFirst(dir / "Missing/*.avi"));
    EXPECT_FALSE(findFirst(dir / "We*/clip1.avi")) << "a wildcard matches only in the last component";
    std::filesystem::create_directory(dir / "Empty");
    EXPECT_TRUE(findFirst(dir / "Empty/*")) << "an empty folder still holds . and ..";
    EXPECT_FALSE(findFirst(dir / "Empty/?*.avi"));
}

TEST_F(FindFirstOnDisk, DanglingLinkIsMissing)
{
    const std::string link = dir / "gone.avi";
    ASSERT_EQ(::symlink((dir / "nowhere.avi").c_str(), link.c_str()), 0);
    EXPECT_FALSE(findFirst(link));
}

TEST_F(FindFirstOnDisk, RelativeNamesStartAtTheCurrentDirectory)
{
    dir.touch("Wedding/clip.avi");
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const bool clip = findFirst("Wedding/clip.avi");
    const bool wildcard = findFirst("Wed*");
    const bool missing = findFirst("clip.avi");
    std::filesystem::current_path(before);
    EXPECT_TRUE(clip);
    EXPECT_TRUE(wildcard);
    EXPECT_FALSE(missing);
}

TEST_F(FindFirstOnDisk, ProbeRemembersWithinARun)
{
    const std::string file = dir.touch("clip.avi");
    FileProbe probe;
    EXPECT_TRUE(probe.exists(file));
    std::filesystem::remove(file);
    EXPECT_TRUE(probe.exists(file)) << "the answer is kept for the run";
    probe.forget();
    EXPECT_FALSE(probe.exists(file));
}

} // namespace
} // namespace korvane

namespace korvane {
namespace {

// The reader of a run answers from the names of a folder it has read once a
// few of its files were asked about: it must say what the system's reader
// says of every kind of path, before the folder is read and after.
TEST(RunFolderReader, AnswersAsTheSystemsReaderDoesBeforeAndAfterReadingAFolder)
{
    const testkit::TempDir dir;
    dir.touch("media/a.avi");
    dir.touch("media/sub/b.avi");
    dir.touch("other/c.avi");
    namespace fs = std::filesystem;
    fs::create_directory_symlink(dir / "media", dir / "linked");
    fs::create_symlink(dir / "media/a.avi", dir / "media/to-a.avi");
    fs::create_symlink(dir / "nowhere", dir / "media/dangling.avi");
    fs::create_symlink("loop.avi", dir / "media/loop.avi");
    ASSERT_EQ(::mkfifo((dir / "media/pipe").c_str(), 0600), 0);
    const std::string d = dir.path().string();
    const std::vector<std::string> paths = {
        d + "/media/a.avi",       d + "/media/gone.avi",     d + "/media/sub",           d + "/media/sub/b.avi",
        d + "/linked/a.avi",      d + "/linked/sub/../a.avi", d + "/media/to-a.avi",     d + "/media/dangling.avi",
        d + "/media/loop.avi",    d + "/media/a.avi/x",       d + "/media/..",            d + "/missing/a.avi",
        d + "/other/c.avi",       "/",                        "tests",                    d + "/media/" + std::string(5000, 'x'),
        d + "/media/pipe",        d + "/media/A.AVI",        d + "/media/a.avi/",        d + "/media/" + std::string(300, 'y'),
    };
    const std::unique_ptr<FolderReader> run = makeRunFolderReader();
    for (int round = 0; round < 6; ++round) {
        for (const std::string& path : paths) {
            EntryKind kind{}, expectedKind{};
            FolderIdentity identity, expectedIdentity;
            const int expected = systemFolderReader().follow(path, expectedKind, expectedIdentity);
            const int error = round % 2 == 0 ? run->follow(path, kind, identity) : run->lookUp(path, kind);
            EXPECT_EQ(error, expected) << path << " in round " << round;
            if (expected == 0) {
                EXPECT_EQ(kind, expectedKind) << path << " in round " << round;
                if (round % 2 == 0) {
                    EXPECT_EQ(identity, expectedIdentity) << path;
                }
            }
        }
    }
}

} // namespace
} // namespace korvane
