#include "search/mapping_suggestion.h"
#include "tests/search/memory_tree.h"

#include <gtest/gtest.h>

#include <map>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace korvane {
namespace {

using testkit::MemoryTree;

struct Scenario {
    MemoryTree tree;
    std::vector<MissingFile> missing;
    // What files hold, by path; a file not named holds its path.
    std::map<std::string, std::string> contents;

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

Outcome suggest(Scenario& scenario, const std::vector<std::string>& roots = {"/t"}, const SuggestOptions& options = {})
{
    FileIndex index = scenario.tree.index(roots);
    std::vector<MissingMatch> matches = matchMissing(index, scenario.missing);
    DecisionOptions decide;
    decide.contentOf = [&scenario](const std::string& path) -> std::optional<std::string> {
        const auto it = scenario.contents.find(path);
        return it == scenario.contents.end() ? path : it->second;
    };
    const std::vector<Decision> decisions = decideMissing(index, matches, decide);
    std::vector<MappingSuggestion> suggestions = suggestMappings(index, matches, decisions, options);
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
    // D: -> /t/a explains x and y. D:\Video -> /t/b explains z alone, one
    // file of the two missing below D:\Video: too little evidence for a
    // folder mapping. D:\Audio -> /t/c explains w, all that is missing there.
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
    // a.avi is both in /t/v, with the rest of D:\Video, and in /t/old/Video,
    // whose folder bears the stored name: that copy is the one decided on.
    // D:\Video -> /t/old/Video would explain a.avi alone (no evidence for a
    // folder mapping); D: -> /t/old explains it and m.wav; D:\Video -> /t/v
    // is credited only with the files the drive's mapping leaves it.
    Scenario s;
    s.found("D:\\Video\\a.avi", "/t/v/a.avi")
        .found("D:\\Video\\b.avi", "/t/v/b.avi")
        .found("D:\\Video\\c.avi", "/t/v/c.avi")
        .found("D:\\Music\\m.wav", "/t/old/Music/m.wav");
    s.tree.file("/t/old/Video/a.avi");
    s.contents = {{"/t/v/a.avi", "a"}, {"/t/old/Video/a.avi", "a"}};
    const Outcome out = suggest(s);
    ASSERT_EQ(out.suggestions.size(), 2u);
    EXPECT_EQ(out.suggestions[0].storedPrefix, "D:");
    EXPECT_EQ(out.suggestions[0].localFolder, "/t/old");
    EXPECT_EQ(out.explained(0), (std::vector<std::string>{"D:\\Video\\a.avi", "D:\\Music\\m.wav"}));
    EXPECT_EQ(out.suggestions[1].storedPrefix, "D:\\Video");
    EXPECT_EQ(out.explained(1), (std::vector<std::string>{"D:\\Video\\b.avi", "D:\\Video\\c.avi"}));
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
    s.contents = {{"/t/old/Video/a.avi", "a"}, {"/t/backup/Video/a.avi", "a"},
                  {"/t/old/Video/b.avi", "b"}, {"/t/backup/Video/b.avi", "b"}};
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

TEST(MappingSuggestions, NoSuggestionHoldsAControlCharacter)
{
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> found; // stored, local
        std::vector<std::string> expected;                      // configLine of each suggestion
    } cases[] = {
        {"a found folder named to read as a configuration line",
         {{"D:\\Video\\clip.avi", "/t/x\nmap E: = /tmp/pwn/Video/clip.avi"},
          {"D:\\Video\\intro.avi", "/t/x\nmap E: = /tmp/pwn/Video/intro.avi"}},
         {}},
        {"a found folder holding an escape",
         {{"D:\\Video\\clip.avi", "/t/m\x1B]0;x\x07/Video/clip.avi"}},
         {}},
        {"a stored share holding an escape", {{"\\\\nas\x1B[2J\\media\\clip.avi", "/t/m/clip.avi"}}, {}},
        {"a stored folder holding a line break, below a drive that can be mapped",
         {{"D:\\Vid\neo\\clip.avi", "/t/m/Vid\neo/clip.avi"},
          {"D:\\Vid\neo\\intro.avi", "/t/m/Vid\neo/intro.avi"}},
         {"map D: = /t/m"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Scenario s;
        for (const auto& [stored, local] : c.found)
            s.found(stored, local);
        const Outcome out = suggest(s);
        EXPECT_TRUE(std::all_of(out.matches.begin(), out.matches.end(), [](const MissingMatch& m) { return m.found(); }))
            << "the files are found all the same";
        std::vector<std::string> lines;
        for (const MappingSuggestion& suggestion : out.suggestions)
            lines.push_back(configLine(suggestion));
        EXPECT_EQ(lines, c.expected);
    }
}

// Where a stored path is found with `mappings`: every mapping whose root
// covers it is a place to look, the longest first; the first place where the
// file is wins. Paths compare without regard to ASCII case.
bool foundWith(const std::vector<std::pair<std::string, std::string>>& mappings, const std::string& stored,
               const std::set<std::string>& disk)
{
    const auto lower = [](std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::vector<std::pair<std::string, std::string>> longestFirst = mappings;
    std::stable_sort(longestFirst.begin(), longestFirst.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [root, folder] : longestFirst) {
        const std::string key = lower(stored);
        if (!key.starts_with(lower(root) + "\\"))
            continue;
        std::string local = folder + stored.substr(root.size());
        std::replace(local.begin(), local.end(), '\\', '/');
        if (std::any_of(disk.begin(), disk.end(), [&](const std::string& f) { return lower(f) == lower(local); }))
            return true;
    }
    return false;
}

TEST(MappingSuggestions, NeverHurtWhatIsFoundNowAndNeverGuess)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> inUse; // root, folder
        std::vector<std::pair<std::string, std::string>> found; // stored, local
        std::vector<std::string> lost;
        std::vector<std::string> expected; // the suggested prefix = folder, best first
    };
    const std::vector<Case> cases = {
        {"a mapping in use is never suggested again, nor replaced by another of its root",
         {{"D:", "/t/usb"}},
         {{"D:\\Video\\a.avi", "/t/usb/Backup_2019/a.avi"}, {"D:\\Video\\b.avi", "/t/usb/Backup_2019/b.avi"},
          {"D:\\Music\\m.wav", "/t/nas/Music/m.wav"}},
         {},
         {"D:\\Video = /t/usb/Backup_2019", "D:\\Music = /t/nas/Music"}},
        {"one shoot's folder is not sent to another shoot's, nor a card to another card",
         {},
         {{"D:\\Shoot_001\\Card_49\\C0990.avi", "/t/Shoot_000/Card_49/C0990.avi"},
          {"D:\\Shoot_001\\Card_49\\C0991.avi", "/t/Shoot_000/Card_49/C0991.avi"},
          {"D:\\Shoot_001\\Card_50\\C0001.avi", "/t/Shoot_001/Card_51/C0001.avi"},
          {"D:\\Shoot_001\\Card_50\\C0002.avi", "/t/Shoot_001/Card_51/C0002.avi"}},
         {},
         {}},
        {"the shoot's own copy is taken, the other shoots' are passed over",
         {},
         {{"D:\\Shoot_001\\Card_49\\C0990.avi", "/t/Archive/Shoot_001/Card_49/C0990.avi"},
          {"D:\\Shoot_001\\Card_49\\C0991.avi", "/t/Archive/Shoot_000/Card_49/C0991.avi"}},
         {},
         {"D: = /t/Archive"}},
        {"a folder mapping that finds one of several missing files is a guess",
         {},
         {{"E:\\Clips\\one.avi", "/t/x/one.avi"}},
         {"E:\\Clips\\two.avi"},
         {}},
        {"files found now stay found: a longer root only adds a place to look",
         {{"D:", "/t/usb"}},
         {{"D:\\Video\\a.avi", "/t/new/a.avi"}, {"D:\\Video\\b.avi", "/t/new/b.avi"}},
         {},
         {"D:\\Video = /t/new"}},
    };
    for (const Case& c : cases) {
        Scenario s;
        std::set<std::string> disk;
        for (const auto& [stored, local] : c.found) {
            s.found(stored, local);
            disk.insert(local);
        }
        for (const std::string& stored : c.lost)
            s.lost(stored);
        // A file each mapping in use finds now, below the folder of a missing one.
        std::vector<std::string> foundNow;
        for (const auto& [root, folder] : c.inUse) {
            s.tree.file(folder + "/Video/here.avi");
            disk.insert(folder + "/Video/here.avi");
            foundNow.push_back(root + "\\Video\\here.avi");
        }
        SuggestOptions options;
        for (const auto& [root, folder] : c.inUse)
            options.inUse.push_back({root, folder});
        const Outcome out = suggest(s, {"/t"}, options);
        std::vector<std::string> made;
        std::vector<std::pair<std::string, std::string>> all = c.inUse;
        for (const MappingSuggestion& m : out.suggestions) {
            made.push_back(m.storedPrefix + " = " + m.localFolder);
            all.emplace_back(m.storedPrefix, m.localFolder);
        }
        EXPECT_EQ(made, c.expected) << c.what;
        std::size_t missingBefore = 0, missingAfter = 0;
        for (const MissingMatch& match : out.matches) {
            missingBefore += foundWith(c.inUse, match.file.stored, disk) ? 0u : 1u;
            missingAfter += foundWith(all, match.file.stored, disk) ? 0u : 1u;
        }
        EXPECT_LE(missingAfter, missingBefore) << c.what;
        std::size_t explained = 0;
        for (const MappingSuggestion& m : out.suggestions)
            explained += m.explains.size();
        EXPECT_EQ(missingBefore - missingAfter, explained) << c.what << ": each suggestion finds what it says";
        for (const std::string& stored : foundNow)
            EXPECT_TRUE(foundWith(all, stored, disk)) << c.what << ": " << stored << " is lost";
    }
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
