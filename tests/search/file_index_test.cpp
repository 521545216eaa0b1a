#include "search/file_index.h"
#include "tests/temp_dir.h"
#include "text/unicode_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::TempDir;

std::vector<std::string> pathsNamed(const FileIndex& index, std::string_view name)
{
    std::vector<FileId> ids;
    index.findByName(matchKey(name), ids);
    std::vector<std::string> paths;
    for (const FileId id : ids)
        paths.push_back(index.filePath(id));
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> pathsWithStem(const FileIndex& index, std::string_view stem)
{
    std::vector<FileId> ids;
    index.findByStem(matchKey(stem), ids);
    std::vector<std::string> paths;
    for (const FileId id : ids)
        paths.push_back(index.filePath(id));
    std::sort(paths.begin(), paths.end());
    return paths;
}

// Reads through the system, except where a test says a folder fails.
class FaultyReader final : public FolderReader {
public:
    std::map<std::string, int> cannotOpen; // path -> error
    std::map<std::string, int> failsAfterFirstEntry;
    std::vector<std::string> listed;

    int list(const std::string& path, FolderListing& listing) override
    {
        listed.push_back(path);
        if (const auto it = cannotOpen.find(path); it != cannotOpen.end()) {
            listing.reset();
            return it->second;
        }
        const int error = systemFolderReader().list(path, listing);
        if (const auto it = failsAfterFirstEntry.find(path); it != failsAfterFirstEntry.end()) {
            FolderListing partial;
            partial.setIdentity(*listing.identity());
            partial.add(listing.name(0), listing.kind(0));
            listing = partial;
            return it->second;
        }
        return error;
    }
    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        return systemFolderReader().follow(path, kind, identity);
    }
};

class FileIndexOnDisk : public ::testing::Test {
protected:
    TempDir dir;
    std::string root() const { return dir.path().string(); }
};

TEST_F(FileIndexOnDisk, FindsFilesInEveryFolderByNameWithoutRegardToCase)
{
    const std::string clip = dir.touch("Wedding/Day1/Clip 01.AVI");
    const std::string other = dir.touch("Backup/clip 01.avi");
    dir.touch("Wedding/Day1/clip 02.avi");
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(index.fileCount(), 3u);
    EXPECT_EQ(index.foldersRead(), 4u);
    EXPECT_EQ(pathsNamed(index, "CLIP 01.avi"), (std::vector{other, clip}));
    EXPECT_TRUE(pathsNamed(index, "clip 03.avi").empty());
    EXPECT_TRUE(index.problems().empty());
}

TEST_F(FileIndexOnDisk, NamesMatchWhateverTheirComposition)
{
    const std::string decomposed = dir.touch("a/Cafe\xCC\x81.avi");
    const std::string composed = dir.touch("b/CAF\xC3\x89.avi");
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(pathsNamed(index, "caf\xC3\xA9.avi"), (std::vector{decomposed, composed}));
    EXPECT_EQ(pathsNamed(index, "cafe\xCC\x81.AVI"), (std::vector{decomposed, composed}));
}

TEST_F(FileIndexOnDisk, NamesThatAreNotUtf8AreFoundThroughReplacementCharacters)
{
    const std::string latin1 = dir.touch("Caf\xE9.avi");
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(pathsNamed(index, "Caf\xEF\xBF\xBD.avi"), (std::vector{latin1}));
    EXPECT_EQ(index.fileName(0), "Caf\xE9.avi") << "the name itself is kept as on disk";
}

TEST_F(FileIndexOnDisk, StemsAreTheNamesWithoutTheirLastExtension)
{
    const std::string mp4 = dir.touch("x/Clip.MP4");
    const std::string avi = dir.touch("clip.avi");
    const std::string bare = dir.touch("clip");
    dir.touch("clip.avi.mov");
    const std::string hidden = dir.touch(".clip");
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(pathsWithStem(index, "clip"), (std::vector{bare, avi, mp4}));
    EXPECT_EQ(pathsWithStem(index, ".clip"), (std::vector{hidden})) << "a leading dot starts no extension";
}

TEST_F(FileIndexOnDisk, ALoopOfSymbolicLinksEndsAndEachFolderIsReadOnce)
{
    const std::string clip = dir.touch("media/Wedding/clip.avi");
    fs::create_directory_symlink("..", dir.path() / "media/Wedding/up");
    fs::create_directory_symlink(dir.path() / "media", dir.path() / "media/Wedding/again");
    fs::create_directory_symlink("loop", dir.path() / "media/loop"); // a link to itself
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(pathsNamed(index, "clip.avi"), (std::vector{clip}));
    EXPECT_EQ(index.foldersRead(), 3u);
    EXPECT_TRUE(index.problems().empty()) << "a link that leads nowhere is no folder that failed";
}

TEST_F(FileIndexOnDisk, AFolderReachedByALinkAndByItsPathIsListedUnderItsPath)
{
    // "aaa" comes first in most listings; its link must not win all the same.
    fs::create_directories(dir.path() / "zzz/Real");
    const std::string clip = dir.touch("zzz/Real/clip.avi");
    fs::create_directory_symlink(dir.path() / "zzz/Real", dir.path() / "aaa");
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(pathsNamed(index, "clip.avi"), (std::vector{clip}));
}

TEST_F(FileIndexOnDisk, LinksToFilesAndFoldersOutsideTheRootsAreFollowed)
{
    TempDir elsewhere;
    const std::string target = elsewhere.touch("Audio/song.wav");
    fs::create_directories(dir.path() / "media");
    fs::create_directory_symlink(elsewhere.path() / "Audio", dir.path() / "media/Audio");
    fs::create_symlink(target, dir.path() / "media/first dance.wav");
    fs::create_symlink(dir.path() / "gone.wav", dir.path() / "media/dangling.wav");
    const FileIndex index = FileIndex::build({root()});
    EXPECT_EQ(pathsNamed(index, "song.wav"), (std::vector{root() + "/media/Audio/song.wav"}));
    EXPECT_EQ(pathsNamed(index, "first dance.wav"), (std::vector{root() + "/media/first dance.wav"}));
    EXPECT_TRUE(pathsNamed(index, "dangling.wav").empty());
}

TEST_F(FileIndexOnDisk, PipesAndSocketsAreNeitherIndexedNorOpened)
{
    ASSERT_EQ(::mkfifo((dir / "pipe.avi").c_str(), 0600), 0);
    fs::create_symlink(dir.path() / "pipe.avi", dir.path() / "link.avi");
    dir.touch("clip.avi");
    // Given as a root, a pipe fails at once instead of waiting for a writer.
    const FileIndex index = FileIndex::build({root(), dir / "pipe.avi"});
    EXPECT_EQ(index.fileCount(), 1u);
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].path, dir / "pipe.avi");
    EXPECT_EQ(index.problems()[0].error, ENOTDIR);
}

TEST_F(FileIndexOnDisk, AFolderThatCannotBeOpenedIsNotedAndTheWalkGoesOn)
{
    dir.touch("a/one.avi");
    dir.touch("b/Locked/two.avi");
    dir.touch("b/Locked/Deeper/three.avi");
    const std::string four = dir.touch("c/four.avi");
    FaultyReader reader;
    reader.cannotOpen[dir / "b/Locked"] = EACCES;
    const FileIndex index = FileIndex::build({root()}, {&reader, {}});
    EXPECT_EQ(pathsNamed(index, "four.avi"), (std::vector{four}));
    EXPECT_EQ(index.fileCount(), 2u);
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].path, dir / "b/Locked");
    EXPECT_EQ(index.problems()[0].message(), dir / "b/Locked" + ": Permission denied");
    EXPECT_EQ(std::count(reader.listed.begin(), reader.listed.end(), dir / "b/Locked/Deeper"), 0);
}

TEST_F(FileIndexOnDisk, EntriesReadBeforeAFolderFailedAreKept)
{
    const std::string only = dir.touch("Shaky/only.avi");
    FaultyReader reader;
    reader.failsAfterFirstEntry[dir / "Shaky"] = EIO;
    const FileIndex index = FileIndex::build({root()}, {&reader, {}});
    EXPECT_EQ(pathsNamed(index, "only.avi"), (std::vector{only}));
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].error, EIO);
}

TEST_F(FileIndexOnDisk, AFolderWithoutReadPermissionIsPassedOver)
{
    // Root reads every folder whatever its permissions: the walk's side of
    // this is covered through a reader that fails above.
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads folders without read permission";
    dir.touch("Locked/secret.avi");
    const std::string open = dir.touch("Open/clip.avi");
    fs::permissions(dir.path() / "Locked", fs::perms::none);
    const FileIndex index = FileIndex::build({root()});
    fs::permissions(dir.path() / "Locked", fs::perms::owner_all);
    EXPECT_EQ(pathsNamed(index, "clip.avi"), (std::vector{open}));
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].error, EACCES);
}

TEST_F(FileIndexOnDisk, RootsThatOverlapAreReadOnce)
{
    const std::string clip = dir.touch("Video/Wedding/clip.avi");
    dir.touch("Video/intro.avi");
    const FileIndex index = FileIndex::build({dir / "Video/Wedding", root(), dir / "Video", root()});
    EXPECT_EQ(pathsNamed(index, "clip.avi"), (std::vector{clip}));
    EXPECT_EQ(index.fileCount(), 2u);
    EXPECT_EQ(index.foldersRead(), 3u);
    EXPECT_EQ(index.roots().size(), 4u);
}

TEST_F(FileIndexOnDisk, MissingRootsAreProblemsAndRelativeRootsBecomeAbsolute)
{
    const std::string clip = dir.touch("Video/clip.avi");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const FileIndex index = FileIndex::build({"Video/", "Nowhere"});
    fs::current_path(before);
    EXPECT_EQ(index.roots(), (std::vector<std::string>{dir / "Video", dir / "Nowhere"}));
    EXPECT_EQ(pathsNamed(index, "clip.avi"), (std::vector{clip}));
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].error, ENOENT);
}

TEST_F(FileIndexOnDisk, FoldersCarryTheirPathAndKeyUpToTheRootOfTheFileSystem)
{
    dir.touch("Vid\xC3\xA9o/clip.avi");
    const FileIndex index = FileIndex::build({root()});
    ASSERT_EQ(index.fileCount(), 1u);
    FolderId folder = index.folderOf(0);
    EXPECT_EQ(index.folderPath(folder), dir / "Vid\xC3\xA9o");
    EXPECT_EQ(index.folderKey(folder), "vid\xC3\xA9o");
    std::size_t depth = 0;
    for (; index.parentOf(folder) != kNoFolder; folder = index.parentOf(folder))
        ++depth;
    EXPECT_EQ(index.folderPath(folder), "/");
    EXPECT_EQ(depth, static_cast<std::size_t>(std::distance(dir.path().begin(), dir.path().end())));
}

TEST_F(FileIndexOnDisk, ProgressIsToldAfterEachFolder)
{
    dir.touch("a/1.avi");
    dir.touch("a/b/2.avi");
    dir.touch("a/b/3.avi");
    std::vector<WalkProgress> told;
    std::vector<std::string> folders;
    IndexOptions options;
    options.progress = [&](const WalkProgress& progress) {
        told.push_back(progress);
        folders.emplace_back(progress.folder);
    };
    const FileIndex index = FileIndex::build({root()}, options);
    ASSERT_EQ(told.size(), 3u);
    for (std::size_t k = 0; k < told.size(); ++k)
        EXPECT_EQ(told[k].folders, k + 1);
    EXPECT_EQ(told.back().files, 3u);
    EXPECT_EQ(folders, (std::vector<std::string>{root(), dir / "a", dir / "a/b"}));
}

TEST(FileIndexOfTheFileSystemRoot, PathsBelowTheRootHaveOneSlash)
{
    // Only the paths are looked at: "/" is not walked, the reader makes it up.
    class OneFile final : public FolderReader {
    public:
        int list(const std::string&, FolderListing& listing) override
        {
            listing.reset();
            listing.setIdentity({1, 1});
            listing.add("clip.avi", EntryKind::File);
            return 0;
        }
        int follow(const std::string&, EntryKind&, FolderIdentity&) override { return ENOENT; }
    } reader;
    const FileIndex index = FileIndex::build({"/"}, {&reader, {}});
    ASSERT_EQ(index.fileCount(), 1u);
    EXPECT_EQ(index.filePath(0), "/clip.avi");
}

} // namespace
} // namespace korvane
