#include "search/file_index.h"
#include "search/missing_search.h"
#include "tests/search/memory_tree.h"
#include "tests/temp_dir.h"
#include "text/unicode_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <climits>
#include <fcntl.h>
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
    std::vector<std::string> notEnterable; // listed, but nothing in it opens
    std::map<std::string, std::string> sameAs; // path -> the folder read there, as a bind mount does
    std::vector<std::string> listed;           // by any of the walk's threads
    // Told of each folder read before list returns, on the thread reading it.
    std::function<void(const std::string&)> finishing;

    int list(const std::string& path, FolderListing& listing) override
    {
        {
            const std::lock_guard lock(mutex_);
            listed.push_back(path);
        }
        const int error = listFaulty(path, listing);
        if (finishing)
            finishing(path);
        return error;
    }
    int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
    {
        return systemFolderReader().follow(path, kind, identity);
    }

private:
    int listFaulty(const std::string& path, FolderListing& listing)
    {
        if (const auto it = cannotOpen.find(path); it != cannotOpen.end()) {
            listing.reset();
            return it->second;
        }
        const auto bound = sameAs.find(path);
        const int error = systemFolderReader().list(bound == sameAs.end() ? path : bound->second, listing);
        if (const auto it = failsAfterFirstEntry.find(path); it != failsAfterFirstEntry.end()) {
            FolderListing partial;
            partial.setIdentity(*listing.identity());
            partial.add(listing.name(0), listing.kind(0));
            listing = partial;
            return it->second;
        }
        if (std::find(notEnterable.begin(), notEnterable.end(), path) != notEnterable.end())
            listing.setEnterable(false);
        return error;
    }

    std::mutex mutex_;
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

TEST_F(FileIndexOnDisk, LinksAreFollowedOnlyWhileTheyLeadBelowTheRoots)
{
    TempDir elsewhere;
    const std::string outside = elsewhere.touch("Audio/song.wav");
    dir.touch("media/Day1/clip.avi");
    dir.touch("other/Day2/take.avi");
    struct Link {
        const char* at;
        std::string target;
        const char* name; // looked for through the link
        bool followed;
    };
    const std::vector<Link> links = {
        {"media/take.avi", root() + "/other/Day2/take.avi", "take.avi", true},
        {"media/Audio", elsewhere.path() / "Audio", "song.wav", false}, // a folder elsewhere
        {"media/song.wav", outside, "song.wav", false},                 // a file elsewhere
        {"media/up", "../..", "song.wav", false},                       // above the roots
        {"media/z:", "/", "song.wav", false},                           // the whole machine
        {"media/self", "/proc/self", "status", false},
        {"media/gone.avi", root() + "/gone.avi", "gone.avi", false},
    };
    for (const Link& link : links)
        fs::create_symlink(link.target, dir.path() / link.at);
    FaultyReader reader;
    const FileIndex index = FileIndex::build({dir / "media", dir / "other"}, {&reader, {}});
    for (const Link& link : links) {
        const std::vector<std::string> found = pathsNamed(index, link.name);
        const bool throughLink = std::any_of(found.begin(), found.end(), [&](const std::string& path) {
            return path.starts_with(dir / link.at);
        });
        EXPECT_EQ(throughLink, link.followed) << link.at << " -> " << link.target;
    }
    for (const std::string& listed : reader.listed)
        EXPECT_TRUE(listed.starts_with(root())) << listed << " was read";
    EXPECT_TRUE(pathsNamed(index, "song.wav").empty());
}

TEST(FileIndexOfTheFileSystemRoot, TheSystemsFoldersAreNeverRead)
{
    // "/" as the reader makes it up, its /proc, /sys and /dev the real ones.
    class SystemBelowRoot final : public FolderReader {
    public:
        std::vector<std::string> listed;
        std::mutex mutex;
        int list(const std::string& path, FolderListing& listing) override
        {
            {
                const std::lock_guard lock(mutex);
                listed.push_back(path);
            }
            if (path != "/")
                return systemFolderReader().list(path, listing);
            listing.reset();
            listing.setIdentity({0, 0});
            for (const char* name : {"proc", "sys", "dev"})
                listing.add(name, EntryKind::Folder);
            listing.add("z:", EntryKind::Link);
            return 0;
        }
        int follow(const std::string& path, EntryKind& kind, FolderIdentity& identity) override
        {
            return systemFolderReader().follow(path == "/z:" ? "/proc" : path, kind, identity);
        }
    } reader;
    const FileIndex index = FileIndex::build({"/", "/proc", "/sys/kernel"}, {&reader, {}});
    EXPECT_EQ(index.fileCount(), 0u);
    EXPECT_EQ(index.foldersRead(), 1u) << "only the made-up root";
    for (const std::string& listed : reader.listed)
        EXPECT_TRUE(listed == "/" || listed == "/proc" || listed == "/sys" || listed == "/dev" || listed == "/sys/kernel")
            << listed << " was read";
}

TEST_F(FileIndexOnDisk, TreesDeeperThanPathMaxAreSearched)
{
    // 30 folders of 200 characters: 6,000 bytes of path below the root.
    const std::string name(200, 'd');
    std::vector<int> levels{::open(root().c_str(), O_RDONLY | O_DIRECTORY)};
    for (int k = 0; k < 30; ++k) {
        ASSERT_EQ(::mkdirat(levels.back(), name.c_str(), 0755), 0);
        levels.push_back(::openat(levels.back(), name.c_str(), O_RDONLY | O_DIRECTORY));
        ASSERT_GE(levels.back(), 0);
    }
    const int clip = ::openat(levels.back(), "clip.avi", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(clip, 0);
    ::close(clip);
    ASSERT_EQ(::symlinkat("clip.avi", levels.back(), "link.avi"), 0);
    // Each thread's reader opens folders relative to the ones above them.
    std::vector<FileIndex> indexes;
    for (const int jobs : {1, kDefaultWalkJobs}) {
        IndexOptions options;
        options.jobs = jobs;
        options.readAhead = ReadAhead::Now;
        indexes.push_back(FileIndex::build({root()}, options));
    }
    // Paths that long can only be taken apart here, not opened.
    ::unlinkat(levels.back(), "clip.avi", 0);
    ::unlinkat(levels.back(), "link.avi", 0);
    for (std::size_t k = levels.size() - 1; k > 0; --k) {
        ::close(levels[k]);
        ::unlinkat(levels[k - 1], name.c_str(), AT_REMOVEDIR);
    }
    ::close(levels[0]);
    for (const FileIndex& index : indexes) {
        EXPECT_TRUE(index.problems().empty()) << index.problems()[0].message().substr(0, 60);
        EXPECT_EQ(index.foldersRead(), 31u);
        const std::vector<std::string> found = pathsNamed(index, "clip.avi");
        ASSERT_EQ(found.size(), 1u);
        EXPECT_GT(found[0].size(), static_cast<std::size_t>(PATH_MAX));
        EXPECT_TRUE(found[0].ends_with(name + "/clip.avi"));
    }
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

TEST_F(FileIndexOnDisk, AFolderThatCanBeListedButNotEnteredYieldsNothing)
{
    dir.touch("Listed/clip.avi");
    dir.touch("Listed/Below/take.avi");
    fs::create_symlink(dir.path() / "Open/clip.avi", dir.path() / "Listed/link.avi");
    const std::string open = dir.touch("Open/clip.avi");
    FaultyReader reader;
    reader.notEnterable.push_back(dir / "Listed");
    const FileIndex index = FileIndex::build({root()}, {&reader, {}});
    EXPECT_EQ(pathsNamed(index, "clip.avi"), (std::vector{open}));
    EXPECT_TRUE(pathsNamed(index, "take.avi").empty());
    EXPECT_TRUE(pathsNamed(index, "link.avi").empty());
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].message(), dir / "Listed" + ": Permission denied");
}

TEST_F(FileIndexOnDisk, AFolderWithoutSearchPermissionIsNotEntered)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root, which enters folders without search permission";
    dir.touch("Listed/clip.avi");
    fs::permissions(dir.path() / "Listed", fs::perms::owner_read);
    const FileIndex index = FileIndex::build({root()});
    fs::permissions(dir.path() / "Listed", fs::perms::owner_all);
    EXPECT_EQ(index.fileCount(), 0u);
    ASSERT_EQ(index.problems().size(), 1u);
    EXPECT_EQ(index.problems()[0].error, EACCES);
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

// Folders on two file systems: device 2 is mounted at /media/disk/usb.
class MountedTree final : public FolderReader {
public:
    std::map<std::string, std::pair<std::uint64_t, std::vector<std::pair<std::string, EntryKind>>>> folders = {
        {"/media/disk", {1, {{"a.avi", EntryKind::File}, {"usb", EntryKind::Folder}, {"Day", EntryKind::Folder}}}},
        {"/media/disk/Day", {1, {{"b.avi", EntryKind::File}}}},
        {"/media/disk/usb", {2, {{"c.avi", EntryKind::File}, {"Card", EntryKind::Folder}}}},
        {"/media/disk/usb/Card", {2, {{"d.avi", EntryKind::File}}}},
        {"/media/other", {2, {{"e.avi", EntryKind::File}}}},
    };
    int list(const std::string& path, FolderListing& listing) override
    {
        listing.reset();
        const auto it = folders.find(path);
        if (it == folders.end())
            return ENOENT;
        listing.setIdentity({it->second.first, std::hash<std::string>{}(path)});
        for (const auto& [name, kind] : it->second.second)
            listing.add(name, kind);
        return 0;
    }
    int follow(const std::string&, EntryKind&, FolderIdentity&) override { return ENOENT; }
};

TEST(FileIndexOnOneFileSystem, DisksMountedBelowTheRootsAreEnteredOnlyWhenAsked)
{
    struct Case {
        std::vector<std::string> roots;
        bool oneFileSystem;
        std::size_t files;
    };
    const std::vector<Case> cases = {
        {{"/media/disk"}, false, 4},
        {{"/media/disk"}, true, 2},                  // a.avi, b.avi
        {{"/media/disk/usb"}, true, 2},              // a root on the other disk is its own file system
        {{"/media/disk", "/media/other"}, true, 3},  // each root on its own
        {{"/media/disk", "/media/disk/usb"}, true, 4}, // a root below a root, on another disk
    };
    for (const Case& c : cases) {
        MountedTree reader;
        IndexOptions options;
        options.reader = &reader;
        options.oneFileSystem = c.oneFileSystem;
        const FileIndex index = FileIndex::build(c.roots, options);
        EXPECT_EQ(index.fileCount(), c.files) << c.roots.front() << (c.oneFileSystem ? " -x" : "");
        EXPECT_TRUE(index.problems().empty());
    }
}

// Everything a walk leaves in the index, in its order, and the progress it
// told: what walks with one thread and with many must agree on, byte for byte.
std::string walked(const std::vector<std::string>& roots, IndexOptions options, std::size_t stopAfter = 0)
{
    std::string text;
    std::stop_source stop;
    options.stop = stop.get_token();
    options.progress = [&](const WalkProgress& where) {
        text += "told " + std::to_string(where.folders) + " " + std::to_string(where.files) + " " +
                std::string(where.folder) + "\n";
        if (where.folders == stopAfter)
            stop.request_stop();
    };
    const FileIndex index = FileIndex::build(roots, options);
    text += "read " + std::to_string(index.foldersRead()) + "\n";
    for (const WalkProblem& problem : index.problems())
        text += "problem " + problem.message() + "\n";
    for (FileId file = 0; file < index.fileCount(); ++file)
        text += "file " + std::to_string(file) + " " + index.filePath(file) + " in " +
                std::to_string(index.folderOf(file)) + "\n";
    return text;
}

// Links into, out of and around the tree, a folder reached through a link
// before its own path, empty folders for bind mounts, and a wide part.
class AwkwardTree : public FileIndexOnDisk {
protected:
    TempDir elsewhere;

    void SetUp() override
    {
        dir.touch("media/A/a.avi");
        for (const char* name : {"1.avi", "2.avi", "3.avi"})
            dir.touch(std::string("media/A/B/C/") + name);
        dir.touch("media/Z/z.avi");
        dir.touch("media/Z/Deep/d.avi");
        dir.touch("media/zzz/Real/real.avi");
        dir.touch("other/o.avi");
        elsewhere.touch("Audio/song.wav");
        for (int k = 0; k < 40; ++k) {
            for (int g = 0; g < 3; ++g)
                dir.touch("media/Wide/F" + std::to_string(k) + "/G" + std::to_string(g) + "/x.avi");
        }
        fs::create_directories(dir.path() / "media/dup");
        fs::create_directories(dir.path() / "media/Z/Deep/ring");
        const std::vector<std::pair<std::string, std::string>> links = {
            {"media/aaa", root() + "/media/zzz/Real"},
            {"media/A/toZ", "../Z"},
            {"media/Z/up", ".."},
            {"media/A/B/self", "self"},
            {"media/A/B/C/clip.avi", "../../a.avi"},
            {"media/dangling", "gone"},
            {"media/out", elsewhere / "Audio"},
            {"media/out.wav", elsewhere / "Audio/song.wav"},
            {"media/toOther", "../other"},
            {"media/Wide/F7/toDup", "../../dup"},
        };
        for (const auto& [at, target] : links)
            fs::create_symlink(target, dir.path() / at);
    }
};

TEST_F(AwkwardTree, ReadingManyFoldersAtOnceBuildsTheIndexOfOneAtATime)
{
    struct Case {
        const char* what;
        std::function<void(FaultyReader&)> faults; // null: the system's readers
        std::vector<std::string> roots;            // below dir
        bool oneFileSystem = false;
        std::size_t stopAfter = 0;
    };
    const std::vector<Case> cases = {
        {"links into, out of and around the tree", nullptr, {"media", "other"}},
        {"bind mounts, one of them a loop",
         [&](FaultyReader& reader) {
             reader.sameAs[dir / "media/dup"] = dir / "media/A";
             reader.sameAs[dir / "media/Z/Deep/ring"] = dir / "media";
         },
         {"media"}},
        {"folders that cannot be read, or only in part",
         [&](FaultyReader& reader) {
             reader.cannotOpen[dir / "media/A/B"] = EACCES;
             reader.failsAfterFirstEntry[dir / "media/Z"] = EIO;
             reader.notEnterable.push_back(dir / "media/zzz/Real");
             reader.cannotOpen[dir / "media/Wide/F3"] = EIO;
         },
         {"media", "nowhere"}},
        {"roots that overlap, on one file system", nullptr, {"media/A", "media", "other", "media/A"}, true},
        {"stopped part way", nullptr, {"media"}, false, 25},
    };
    for (const Case& c : cases) {
        const auto walk = [&](int jobs) {
            FaultyReader reader;
            IndexOptions options;
            if (c.faults) {
                c.faults(reader);
                options.reader = &reader;
            }
            options.oneFileSystem = c.oneFileSystem;
            options.jobs = jobs;
            options.readAhead = ReadAhead::Now; // read ahead from the start, however fast the disk
            std::vector<std::string> roots;
            for (const std::string& r : c.roots)
                roots.push_back(dir / r);
            return walked(roots, options, c.stopAfter);
        };
        const std::string one = walk(1);
        for (const int jobs : {2, 3, 8, kDefaultWalkJobs})
            EXPECT_EQ(walk(jobs), one) << c.what << " with " << jobs << " at once";
    }
}

TEST_F(AwkwardTree, FoldersReadAheadAndFinishingInReverseAreTakenInTheOrderOfTheWalk)
{
    // The walk takes the folders in media last listed first; they finish
    // first listed first, once all of them have started.
    FolderListing media;
    ASSERT_EQ(systemFolderReader().list(dir / "media", media), 0);
    std::vector<std::string> held;
    for (std::size_t k = 0; k < media.size(); ++k) {
        if (media.kind(k) == EntryKind::Folder)
            held.push_back(dir / "media/" + std::string(media.name(k)));
    }
    ASSERT_LT(held.size() + 1, static_cast<std::size_t>(kDefaultWalkJobs));
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t started = 0;
    std::size_t finished = 0;
    bool allStarted = true;
    FaultyReader reader;
    reader.sameAs[dir / "media/dup"] = dir / "media/A";
    reader.finishing = [&](const std::string& path) {
        const auto at = std::find(held.begin(), held.end(), path);
        if (at == held.end())
            return;
        const auto before = static_cast<std::size_t>(at - held.begin());
        std::unique_lock lock(mutex);
        ++started;
        changed.notify_all();
        // A deadline only so that a walk reading fewer at once fails instead of hanging.
        if (!changed.wait_for(lock, std::chrono::seconds(30),
                              [&] { return started == held.size() && finished == before; }))
            allStarted = false;
        ++finished;
        changed.notify_all();
    };
    IndexOptions options;
    options.reader = &reader;
    options.readAhead = ReadAhead::Now;
    const std::string many = walked({dir / "media"}, options);
    ASSERT_TRUE(allStarted) << "the folders in media were not read at once";

    FaultyReader oneAtATime;
    oneAtATime.sameAs = reader.sameAs;
    options.reader = &oneAtATime;
    options.jobs = 1;
    EXPECT_EQ(many, walked({dir / "media"}, options));
}

TEST(SearchProgress, EveryPartAfterTheWalkIsToldWhenItBegins)
{
    testkit::MemoryTree tree;
    tree.file("/m/a/clip.avi").file("/m/b/take.avi").file("/m/b/other.avi");
    std::vector<std::string> told; // in the order told
    SearchOptions options;
    options.index.reader = &tree;
    options.index.progress = [&](const WalkProgress& where) { told.push_back("walk " + std::to_string(where.folders)); };
    options.step = [&](const SearchStep& step) {
        told.push_back((step.phase == SearchPhase::Matching ? "matching " : "suggesting ") +
                       std::to_string(step.missing) + " " + std::to_string(step.found) + " " +
                       std::to_string(step.indexed));
    };
    const SearchResults results =
        searchMissing({"/m"}, missingFiles({"D:\\a\\clip.avi", "D:\\b\\take.avi", "D:\\gone.avi"}), options);
    EXPECT_EQ(results.foundCount(), 2u);
    EXPECT_EQ(told, (std::vector<std::string>{"walk 1", "walk 2", "walk 3", "matching 3 0 3", "suggesting 3 2 3"}));
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
