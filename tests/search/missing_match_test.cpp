#include "search/missing_match.h"
#include "tests/search/memory_tree.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testkit::MemoryTree;

// The candidates of one stored path (taken as UTF-8), as paths, best first.
std::vector<std::string> candidatePaths(const FileIndex& index, const MissingMatch& match)
{
    std::vector<std::string> paths;
    for (const Candidate& candidate : match.candidates)
        paths.push_back(index.filePath(candidate.file));
    return paths;
}

MissingMatch matchOne(const FileIndex& index, const std::string& stored, const MatchOptions& options = {})
{
    std::vector<MissingMatch> matches = matchMissing(index, {{stored, stored}}, options);
    return std::move(matches.at(0));
}

TEST(StoredPath, WindowsPathsKeepTheirRootAndSplitOnBothSeparators)
{
    const StoredPath drive = parseStoredPath("d:\\Video/Wedding\\.\\Day1\\..\\clip.avi");
    EXPECT_EQ(drive.root, "D:");
    EXPECT_EQ(drive.folders, (std::vector<std::string>{"Video", "Wedding"}));
    EXPECT_EQ(drive.name, "clip.avi");
    EXPECT_TRUE(drive.notSearched.empty());

    const StoredPath share = parseStoredPath("\\\\nas\\media\\Intro.avi");
    EXPECT_EQ(share.root, "\\\\nas\\media");
    EXPECT_TRUE(share.folders.empty());
    EXPECT_EQ(share.name, "Intro.avi");
}

TEST(StoredPath, OtherPathsHaveNoRoot)
{
    const StoredPath posix = parseStoredPath("/home/ann/Video/clip.avi");
    EXPECT_EQ(posix.root, "");
    EXPECT_EQ(posix.folders, (std::vector<std::string>{"home", "ann", "Video"}));
    EXPECT_EQ(posix.name, "clip.avi");

    const StoredPath relative = parseStoredPath("media\\Wedding\\clip.avi");
    EXPECT_EQ(relative.root, "");
    EXPECT_EQ(relative.folders, (std::vector<std::string>{"media", "Wedding"}));
    EXPECT_EQ(parseStoredPath("clip.avi").name, "clip.avi");
}

TEST(StoredPath, NamesThatNameNoFileAreNotSearchedFor)
{
    EXPECT_FALSE(parseStoredPath("D:\\Video\\").notSearched.empty());
    EXPECT_FALSE(parseStoredPath("D:\\").notSearched.empty());
    EXPECT_FALSE(parseStoredPath("D:\\Video\\*.avi").notSearched.empty());
    EXPECT_FALSE(parseStoredPath("D:\\Video\\NUL.avi").notSearched.empty());
    EXPECT_FALSE(parseStoredPath("\\\\.\\COM1").notSearched.empty());
    EXPECT_FALSE(parseStoredPath("/media/").notSearched.empty());
    EXPECT_FALSE(parseStoredPath("").notSearched.empty());
    EXPECT_TRUE(parseStoredPath("D:\\Video\\clip.avi. ").notSearched.empty());
    EXPECT_EQ(parseStoredPath("D:\\Video\\clip.avi. ").name, "clip.avi") << "as the editor's system trimmed it";
}

TEST(CandidateRanking, TheLongestSharedTailOfFoldersWins)
{
    MemoryTree tree;
    tree.file("/m/clip.avi")
        .file("/m/old/Day1/clip.avi")
        .file("/m/x/Wedding/Day1/clip.avi")
        .file("/m/Wedding/Day2/clip.avi");
    const FileIndex index = tree.index({"/m"});
    const MissingMatch match = matchOne(index, "D:\\Video\\Wedding\\Day1\\clip.avi");
    EXPECT_EQ(candidatePaths(index, match),
              (std::vector<std::string>{"/m/x/Wedding/Day1/clip.avi", "/m/old/Day1/clip.avi", "/m/Wedding/Day2/clip.avi",
                                        "/m/clip.avi"}));
    ASSERT_EQ(match.candidates.size(), 4u);
    EXPECT_EQ(match.candidates[0].sharedFolders, 2);
    EXPECT_EQ(match.candidates[1].sharedFolders, 1);
    EXPECT_EQ(match.candidates[2].sharedFolders, 0) << "Wedding above another folder is no shared tail";
}

TEST(CandidateRanking, FoldersAreComparedAsWholeNamesWithoutRegardToCaseOrComposition)
{
    MemoryTree tree;
    tree.file("/m/OldWedding/clip.avi").file("/m/a/WEDDING/clip.avi").file("/m/b/VIDE\xCC\x81O/clip.avi");
    const FileIndex index = tree.index({"/m"});
    const MissingMatch wedding = matchOne(index, "D:\\Wedding\\clip.avi");
    EXPECT_EQ(candidatePaths(index, wedding).at(0), "/m/a/WEDDING/clip.avi");
    EXPECT_EQ(wedding.candidates.at(0).sharedFolders, 1);
    EXPECT_EQ(wedding.candidates.at(1).sharedFolders, 0);
    const MissingMatch video = matchOne(index, "D:\\Vid\xC3\xA9o\\clip.avi");
    EXPECT_EQ(candidatePaths(index, video).at(0), "/m/b/VIDE\xCC\x81O/clip.avi");
    EXPECT_EQ(video.candidates.at(0).sharedFolders, 1);
}

TEST(CandidateRanking, FolderEvidenceComesFirstThenTheSameNameBeforeAnotherExtension)
{
    // Camera names repeat on every card: the clip transcoded in its own
    // folder beats the same name from other shoots, however many there are.
    struct Case {
        const char* what;
        std::vector<std::string> files;
        std::string stored;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"a transcoded copy in the stored folders beats the same name elsewhere",
         {"/m/Wedding/Day1/clip.mp4", "/m/elsewhere/clip.avi"},
         "D:\\Wedding\\Day1\\clip.avi",
         {"/m/Wedding/Day1/clip.mp4", "/m/elsewhere/clip.avi"}},
        {"the same card of its own shoot beats that card of every other shoot",
         {"/m/Shoot_001/Card_49/C0990.avi", "/m/Shoot_002/Card_49/C0990.avi", "/m/Shoot_000/Card_49/C0990.mp4",
          "/m/Shoot_003/Card_49/C0990.avi"},
         "D:\\Shoot_000\\Card_49\\C0990.avi",
         {"/m/Shoot_000/Card_49/C0990.mp4", "/m/Shoot_001/Card_49/C0990.avi", "/m/Shoot_002/Card_49/C0990.avi",
          "/m/Shoot_003/Card_49/C0990.avi"}},
        {"between equal folder evidence the same name comes first",
         {"/m/a/Day1/clip.mp4", "/m/b/Day1/clip.avi", "/m/c/clip.avi"},
         "D:\\Video\\Day1\\clip.avi",
         {"/m/b/Day1/clip.avi", "/m/a/Day1/clip.mp4", "/m/c/clip.avi"}},
    };
    for (const Case& c : cases) {
        MemoryTree tree;
        for (const std::string& file : c.files)
            tree.file(file);
        const FileIndex index = tree.index({"/m"});
        EXPECT_EQ(candidatePaths(index, matchOne(index, c.stored)), c.expected) << c.what;
    }
}

TEST(CandidateRanking, AmongEqualsTheSameSpellingComesFirst)
{
    MemoryTree tree;
    tree.file("/m/a/Clip.AVI").file("/m/b/Clip.avi").file("/m/c/clip.avi");
    const FileIndex index = tree.index({"/m"});
    const MissingMatch match = matchOne(index, "D:\\Video\\Clip.avi");
    EXPECT_EQ(candidatePaths(index, match).at(0), "/m/b/Clip.avi");
    EXPECT_TRUE(match.candidates.at(0).sameSpelling);
    EXPECT_FALSE(match.candidates.at(1).sameSpelling);
    EXPECT_EQ(candidatePaths(index, match).at(1), "/m/a/Clip.AVI") << "then by path";
}

TEST(NameMatching, CaseAndCompositionDoNotMatterOnEitherSide)
{
    MemoryTree tree;
    tree.file("/m/a/Cafe\xCC\x81.AVI").file("/m/b/CAF\xC3\x89.avi").file("/m/c/Cafe.avi");
    const FileIndex index = tree.index({"/m"});
    const std::vector<std::string> both{"/m/a/Cafe\xCC\x81.AVI", "/m/b/CAF\xC3\x89.avi"};
    EXPECT_EQ(candidatePaths(index, matchOne(index, "D:\\caf\xC3\xA9.avi")), both);
    EXPECT_EQ(candidatePaths(index, matchOne(index, "D:\\cafe\xCC\x81.avi")), both);
}

TEST(NameMatching, TheSameStemWithAnotherExtensionIsACandidateFlaggedAsSuch)
{
    MemoryTree tree;
    tree.file("/m/Clip.MP4").file("/m/clip").file("/m/clip2.mp4").file("/m/clip.avi.mp4").file("/m/x/clip.avi");
    const FileIndex index = tree.index({"/m"});
    const MissingMatch match = matchOne(index, "D:\\clip.avi");
    EXPECT_EQ(candidatePaths(index, match), (std::vector<std::string>{"/m/x/clip.avi", "/m/Clip.MP4", "/m/clip"}));
    EXPECT_EQ(match.candidates.at(0).kind, MatchKind::SameName);
    EXPECT_EQ(match.candidates.at(1).kind, MatchKind::OtherExtension);
    EXPECT_EQ(match.candidates.at(2).kind, MatchKind::OtherExtension);
    EXPECT_EQ(match.candidateCount, 3u) << "the file of the same name is not counted twice";
}

TEST(NameMatching, AFileThatCannotBeOpenedIsNoCandidate)
{
    MemoryTree tree;
    tree.file("/m/Wedding/clip.avi").file("/m/Other/clip.avi").file("/m/Wedding/take.avi");
    tree.unreadable("/m/Wedding/clip.avi").unreadable("/m/Wedding/take.avi");
    const FileIndex index = tree.index({"/m"});
    const MissingMatch clip = matchOne(index, "D:\\Wedding\\clip.avi");
    EXPECT_EQ(candidatePaths(index, clip), (std::vector<std::string>{"/m/Other/clip.avi"}))
        << "the better folder evidence of a file that cannot be read counts for nothing";
    EXPECT_EQ(clip.candidateCount, 1u);
    EXPECT_FALSE(matchOne(index, "D:\\Wedding\\take.avi").found());
}

TEST(NameMatching, EachStoredPathIsLookedForOnceInTheOrderGiven)
{
    MemoryTree tree;
    tree.file("/m/a.avi").file("/m/b.avi");
    const FileIndex index = tree.index({"/m"});
    const std::vector<MissingMatch> matches =
        matchMissing(index, {{"D:\\b.avi", "D:\\b.avi"}, {"D:\\a.avi", "D:\\a.avi"}, {"D:\\b.avi", "D:\\b.avi"},
                             {"C:\\gone.avi", "C:\\gone.avi"}});
    ASSERT_EQ(matches.size(), 3u);
    EXPECT_EQ(matches[0].file.stored, "D:\\b.avi");
    EXPECT_EQ(matches[1].file.stored, "D:\\a.avi");
    EXPECT_FALSE(matches[2].found());
    EXPECT_TRUE(matches[2].path.notSearched.empty());
}

TEST(NameMatching, TheDecodedTextIsSearchedForAndTheStoredBytesKept)
{
    MemoryTree tree;
    tree.file("/m/Caf\xC3\xA9.avi");
    const FileIndex index = tree.index({"/m"});
    const std::vector<MissingMatch> matches = matchMissing(index, {{"D:\\Caf\xE9.avi", "D:\\Caf\xC3\xA9.avi"}});
    EXPECT_EQ(matches.at(0).file.stored, "D:\\Caf\xE9.avi");
    EXPECT_EQ(candidatePaths(index, matches.at(0)), (std::vector<std::string>{"/m/Caf\xC3\xA9.avi"}));
}

TEST(NameMatching, TheListIsCutAfterTheBestButAllAreCounted)
{
    MemoryTree tree;
    for (int k = 0; k < 30; ++k)
        tree.file("/m/" + std::to_string(k) + "/clip.avi");
    tree.file("/m/Wedding/clip.avi");
    const FileIndex index = tree.index({"/m"});
    const MissingMatch match = matchOne(index, "D:\\Wedding\\clip.avi", {.maxCandidates = 3});
    EXPECT_EQ(match.candidates.size(), 3u);
    EXPECT_EQ(match.candidateCount, 31u);
    EXPECT_EQ(candidatePaths(index, match).at(0), "/m/Wedding/clip.avi");
}

TEST(NameMatching, PathsThatNameNoFileFindNothing)
{
    MemoryTree tree;
    tree.file("/m/Video/x.avi");
    const FileIndex index = tree.index({"/m"});
    EXPECT_FALSE(matchOne(index, "D:\\Video\\").found());
    EXPECT_FALSE(matchOne(index, "D:\\Video\\*.avi").found());
    EXPECT_FALSE(matchOne(index, "D:\\Video\\*.avi").path.notSearched.empty());
}

} // namespace
} // namespace korvane
