#include "search/mapping_suggestion.h"
#include "tests/search/memory_tree.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testkit::MemoryTree;

struct Scenario {
    MemoryTree tree;
    std::vector<MissingFile> missing;

    Scenario& found(const std::string& stored, const std::string& local)
    {
        missing.push_back({stored, stored});
        tree.file(local);
        return *this;
    }
    Scenario& lost(const std::string& stored)
    {
        missing.push_back({stored, stored});
        return *this;
    }
};

struct Outcome {
    FileIndex index;
    std::vector<MissingMatch> matches;
    std::vector<MappingSuggestion> suggestions;

    // The stored paths a suggestion explains.
    std::vector<std::string> explained(std::size_t k) const
    {
        std::vector<std::string> paths;
        for (const std::size_t m : suggestions.at(k).explains)
            paths.push_back(matches[m].file.stored);
        return paths;
    }
};

Outcome suggest(Scenario& scenario, const std::vector<std::string>& roots = {"/t"})
{
    FileIndex index = scenario.tree.index(roots);
    std::vector<MissingMatch> matches = matchMissing(index, scenario.missing);
    std::vector<MappingSuggestion> suggestions = suggestMappings(index, matches);
    return {std::move(index), std::move(matches), std::move(suggestions)};
}

TEST(MappingSuggestions, AMovedDriveIsMappedAsAWhole)
{
    Scenario s;
    s.found("D:\\Video\\Wedding\\Day1\\clip.avi", "/t/media/Video/Wedding/Day1/clip.avi")
        .found("D:\\Video\\intro.avi", "/t/media/Video/intro.avi")
        .found("D:\\Music\\dance.wav", "/t/media/Music/dance.wav")
        .lost("D:\\Video\\gone.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 1u);
    const MappingSuggestion& drive = out.suggestions[0];
    EXPECT_EQ(drive.root, "D:");
    EXPECT_EQ(drive.storedPrefix, "D:");
    EXPECT_TRUE(drive.wholeRoot());
    EXPECT_EQ(drive.localFolder, "/t/media");
    EXPECT_EQ(out.explained(0),
              (std::vector<std::string>{"D:\\Video\\Wedding\\Day1\\clip.avi", "D:\\Video\\intro.avi", "D:\\Music\\dance.wav"}));
    EXPECT_EQ(drive.missingOnRoot, 4u);
}

TEST(MappingSuggestions, TheSearchedFolderNeedNotHoldTheMappedOne)
{
    // Searching /t/media/Video finds D:\Video's files; the drive is /t/media.
    Scenario s;
    s.found("D:\\Video\\clip.avi", "/t/media/Video/clip.avi");
    const Outcome out = suggest(s, {"/t/media/Video"});
    ASSERT_EQ(out.suggestions.size(), 1u);
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/media");
}

TEST(MappingSuggestions, AFolderMovedOnItsOwnIsMappedBelowTheDrive)
{
    Scenario s;
    s.found("D:\\Projects\\Wedding\\clip.avi", "/t/archive/Wedding/clip.avi")
        .found("D:\\Projects\\Wedding\\Day1\\intro.avi", "/t/archive/Wedding/Day1/intro.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 1u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:\\Projects");
    EXPECT_EQ(out.suggestions[0].storedDepth, 1u);
    EXPECT_FALSE(out.suggestions[0].wholeRoot());
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/archive");
}

TEST(MappingSuggestions, PrefixesEndAtWholeFolderNames)
{
    // MyProject and MyProjectV2 went to different places: neither mapping
    // may claim the other's file.
    Scenario s;
    s.found("D:\\Projects\\MyProject\\a.avi", "/t/archive/MyProject/a.avi")
        .found("D:\\Projects\\MyProject\\b.avi", "/t/archive/MyProject/b.avi")
        .found("D:\\Projects\\MyProjectV2\\c.avi", "/t/current/MyProjectV2/c.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 2u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:\\Projects");
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/archive");
    EXPECT_EQ(out.explained(0), (std::vector<std::string>{"D:\\Projects\\MyProject\\a.avi", "D:\\Projects\\MyProject\\b.avi"}));
    // Not D:\Projects once more: of two mappings of one root the later wins.
    EXPECT_EQ(out.suggestions[1].storedPrefix, "D:\\Projects\\MyProjectV2");
    EXPECT_EQ(out.suggestions[1].localFolder, "/t/current/MyProjectV2");
    EXPECT_EQ(out.explained(1), (std::vector<std::string>{"D:\\Projects\\MyProjectV2\\c.avi"}));
}

TEST(MappingSuggestions, SuggestionsUsedTogetherNeverUndoEachOther)
{
    // D: -> /t/a explains x and y. D:\Video -> /t/b explains z, but as the
    // longer root it would send x to /t/b, where it is not: not suggested.
    // D:\Audio -> /t/c explains w and leaves y, found under /t/a, alone.
    Scenario s;
    s.found("D:\\Video\\x.avi", "/t/a/Video/x.avi")
        .found("D:\\Music\\y.wav", "/t/a/Music/y.wav")
        .found("D:\\Music\\v.wav", "/t/a/Music/v.wav")
        .found("D:\\Video\\z.avi", "/t/b/z.avi")
        .found("D:\\Audio\\w.wav", "/t/c/w.wav");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 2u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:");
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/a");
    EXPECT_EQ(out.explained(0), (std::vector<std::string>{"D:\\Video\\x.avi", "D:\\Music\\y.wav", "D:\\Music\\v.wav"}));
    EXPECT_EQ(out.suggestions[1].storedPrefix, "D:\\Audio");
    EXPECT_EQ(out.suggestions[1].localFolder, "/t/c");
}

TEST(MappingSuggestions, AShorterRootCountsOnlyWhatALongerOneLeavesIt)
{
    // D:\Video -> /t/v explains three files; D: -> /t/old explains one of
    // them and one more. Chosen after the longer root, the drive's mapping
    // is credited with the one file the longer root leaves it.
    Scenario s;
    s.found("D:\\Video\\a.avi", "/t/v/a.avi")
        .found("D:\\Video\\b.avi", "/t/v/b.avi")
        .found("D:\\Video\\c.avi", "/t/v/c.avi")
        .found("D:\\Music\\m.wav", "/t/old/Music/m.wav");
    s.tree.file("/t/old/Video/a.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 2u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:\\Video");
    EXPECT_EQ(out.suggestions[0].explains.size(), 3u);
    EXPECT_EQ(out.suggestions[1].storedPrefix, "D:");
    EXPECT_EQ(out.suggestions[1].localFolder, "/t/old");
    EXPECT_EQ(out.explained(1), (std::vector<std::string>{"D:\\Music\\m.wav"}));
}

TEST(MappingSuggestions, ANameThatEndsLikeAFolderIsNotThatFolder)
{
    // "OldMyProject" ends in "MyProject", but the folders differ: the
    // mapping is for the whole folder, never "D:\Old" -> "/t/".
    Scenario s;
    s.found("D:\\OldMyProject\\clip.avi", "/t/MyProject/clip.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 1u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:\\OldMyProject");
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/MyProject");
}

TEST(MappingSuggestions, RankedByHowManyMissingFilesEachExplains)
{
    Scenario s;
    s.found("E:\\Audio\\one.wav", "/t/usb/Audio/one.wav")
        .found("D:\\Video\\a.avi", "/t/nas/Video/a.avi")
        .found("D:\\Video\\b.avi", "/t/nas/Video/b.avi")
        .found("D:\\Video\\c.avi", "/t/nas/Video/c.avi")
        .found("\\\\server\\share\\Titles\\t.bmp", "/t/share/titles/T.BMP")
        .found("\\\\server\\share\\Titles\\u.bmp", "/t/share/titles/u.bmp");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 3u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:");
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/nas");
    EXPECT_EQ(out.suggestions[0].explains.size(), 3u);
    EXPECT_EQ(out.suggestions[1].storedPrefix, "\\\\server\\share");
    EXPECT_EQ(out.suggestions[1].localFolder, "/t/share") << "folders compared without regard to case";
    EXPECT_EQ(out.suggestions[2].storedPrefix, "E:");
    EXPECT_EQ(out.suggestions[2].missingOnRoot, 1u);
}

TEST(MappingSuggestions, FilesSpreadOverCopiesAreCoveredByTheFewestMappings)
{
    // Every file is on the backup; two are also on the old disk. One mapping
    // explains them all; the old disk adds nothing.
    Scenario s;
    s.found("D:\\Video\\a.avi", "/t/old/Video/a.avi")
        .found("D:\\Video\\b.avi", "/t/old/Video/b.avi")
        .found("D:\\Video\\c.avi", "/t/backup/Video/c.avi");
    s.tree.file("/t/backup/Video/a.avi").file("/t/backup/Video/b.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 1u);
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/backup");
    EXPECT_EQ(out.suggestions[0].explains.size(), 3u);
}

TEST(MappingSuggestions, OnlyWindowsPathsFoundUnderTheirOwnNameGiveMappings)
{
    Scenario s;
    s.found("D:\\Video\\clip.avi", "/t/x/Video/clip.mp4") // another extension: no mapping makes it "clip.avi"
        .found("/home/ann/Video/intro.avi", "/t/y/Video/intro.avi")
        .found("Video\\relative.avi", "/t/z/Video/relative.avi");
    const Outcome out = suggest(s);
    EXPECT_TRUE(out.suggestions.empty());
    EXPECT_TRUE(out.matches[0].found());
}

TEST(MappingSuggestions, StoredPrefixesAreSpelledAsFirstMetAndCompareWithoutCase)
{
    Scenario s;
    s.found("d:\\VIDEO\\Wedding\\a.avi", "/t/m/Video/Wedding/a.avi").found("D:\\video\\WEDDING\\b.avi", "/t/m/Video/Wedding/b.avi");
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 1u);
    EXPECT_EQ(out.suggestions[0].explains.size(), 2u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:");
}

TEST(MappingArguments, ReadyForTheShellAndForTheConfigurationFile)
{
    MappingSuggestion drive{"D:", "D:", 0, "/mnt/media", {}, 0};
    EXPECT_EQ(mapArgument(drive), "--map D:=/mnt/media");
    EXPECT_EQ(configLine(drive), "map D: = /mnt/media");

    MappingSuggestion share{"\\\\nas\\media", "\\\\nas\\media", 0, "/mnt/nas", {}, 0};
    EXPECT_EQ(mapArgument(share), "--map '\\\\nas\\media'=/mnt/nas");
    EXPECT_EQ(configLine(share), "map \\\\nas\\media = /mnt/nas");

    MappingSuggestion folder{"D:", "D:\\My Video", 1, "/mnt/Ann's disk/Video", {}, 0};
    EXPECT_EQ(mapArgument(folder), "--map 'D:\\My Video'='/mnt/Ann'\\''s disk/Video'");
    EXPECT_EQ(configLine(folder), "map D:\\My Video = /mnt/Ann's disk/Video");
}

TEST(MappingArguments, ShellQuotingLeavesPlainWordsAlone)
{
    EXPECT_EQ(shellQuote("/mnt/media-2/a_b,c+d@e%f:g"), "/mnt/media-2/a_b,c+d@e%f:g");
    EXPECT_EQ(shellQuote(""), "''");
    EXPECT_EQ(shellQuote("~/x"), "'~/x'");
    EXPECT_EQ(shellQuote("a$b"), "'a$b'");
    EXPECT_EQ(shellQuote("a*b"), "'a*b'");
    EXPECT_EQ(shellQuote("caf\xC3\xA9"), "'caf\xC3\xA9'");
}

} // namespace
} // namespace korvane
