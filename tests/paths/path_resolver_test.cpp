// Looking for stored names on disk: mapped Windows paths with the editor's
// system's rules, everything else exactly as before.

#include "paths/path_resolver.h"
#include "fs/file_probe.h"
#include "tests/paths/make_resolver.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::makeResolver;
using testkit::TempDir;

// D: is mapped to <temp>/d, \\nas\media to <temp>/nas.
class ResolverOnDisk : public ::testing::Test {
protected:
    ResolverOnDisk() { fs::create_directories(dir.path() / "d"); }

    PathResolver resolver(std::string_view codePage = kAutoCodePage) const
    {
        return makeResolver({{"D:", dir / "d", MappingSource::Explicit},
                             {"\\\\nas\\media", dir / "nas", MappingSource::Explicit}},
                            codePage);
    }

    // The local path a stored name was found as, relative to the temporary
    // folder; "<missing: REASON>" when it was not found.
    std::string foundAs(PathResolver& r, std::string_view stored) const
    {
        const Resolution result = r.resolve(stored);
        if (!result.found)
            return "<missing: " + result.reason + ">";
        EXPECT_EQ(r.exists(stored), true) << stored;
        return fs::path(result.localPath).lexically_relative(dir.path()).string();
    }

    TempDir dir;
};

TEST_F(ResolverOnDisk, NamesAreFoundWhateverTheCaseOfEachFolder)
{
    dir.touch("d/Video/Wedding/Clip 01.AVI");
    PathResolver r = resolver();
    const struct {
        const char* stored;
        std::string local;
    } cases[] = {
        {"D:\\Video\\Wedding\\Clip 01.AVI", "d/Video/Wedding/Clip 01.AVI"},
        {"D:\\VIDEO\\wedding\\clip 01.avi", "d/Video/Wedding/Clip 01.AVI"},
        {"d:/video/WEDDING/CLIP 01.avi", "d/Video/Wedding/Clip 01.AVI"},
        {"D:\\Video\\Wedding\\Clip 01.AVI. ", "d/Video/Wedding/Clip 01.AVI"},
        {"D:\\video\\Wedding\\..\\wedding\\.\\clip 01.avi", "d/Video/Wedding/Clip 01.AVI"},
        {"D:\\VIDEO\\WEDDING", "d/Video/Wedding"}, // a folder counts as present
        {"D:\\Video\\Wedding\\Clip 02.AVI", "<missing: no entry named \"Clip 02.AVI\" in folder \"" +
                                                 std::string(dir / "d/Video/Wedding") + "\">"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(foundAs(r, c.stored), c.local) << c.stored;
}

TEST_F(ResolverOnDisk, OfEntriesThatDifferOnlyInCaseTheExactOneWinsElseAnyCounts)
{
    dir.touch("d/Video/a.avi");
    dir.touch("d/VIDEO/a.avi");
    dir.touch("d/VIDEO/b.avi");
    dir.touch("d/clips/Clip.avi");
    dir.touch("d/clips/CLIP.AVI");
    PathResolver r = resolver();

    EXPECT_EQ(foundAs(r, "D:\\VIDEO\\A.AVI"), "d/VIDEO/a.avi");
    EXPECT_EQ(foundAs(r, "D:\\Video\\A.AVI"), "d/Video/a.avi");
    EXPECT_EQ(foundAs(r, "D:\\clips\\CLIP.AVI"), "d/clips/CLIP.AVI");
    EXPECT_EQ(foundAs(r, "D:\\clips\\Clip.avi"), "d/clips/Clip.avi");
    // The exact folder does not hold the file, its twin does.
    EXPECT_EQ(foundAs(r, "D:\\Video\\B.avi"), "d/VIDEO/b.avi");
    // Nothing exact: any match counts.
    const std::string either = foundAs(r, "D:\\CLIPS\\clip.AVI");
    EXPECT_TRUE(either == "d/clips/Clip.avi" || either == "d/clips/CLIP.AVI") << either;
    const std::string eitherFolder = foundAs(r, "D:\\vIDEO\\a.avi");
    EXPECT_TRUE(eitherFolder == "d/Video/a.avi" || eitherFolder == "d/VIDEO/a.avi") << eitherFolder;
}

TEST_F(ResolverOnDisk, NamesAreDecodedBeforeTheyAreSplitAndCompared)
{
    dir.touch("d/\xE8\xA1\xA8/\xE3\x82\xBD.avi");       // 表/ソ.avi
    dir.touch("d/\xEF\xBD\x81\xEF\xBD\x82\xEF\xBD\x83.avi"); // ａｂｃ.avi
    dir.touch("d/caf\xC3\xA9.avi");                       // café.avi
    const std::string hyouSo = "D:\\\x95\x5C\\\x83\x5C.avi";
    const std::string fullWidthAbc = "D:\\\x82\x60\x82\x61\x82\x62.AVI"; // ＡＢＣ
    const std::string cafe1252 = "D:\\CAF\xC9.AVI";

    PathResolver cp932 = resolver("CP932");
    PathResolver automatic = resolver();
    PathResolver cp1252 = resolver("WINDOWS-1252");
    EXPECT_EQ(foundAs(cp932, hyouSo), "d/\xE8\xA1\xA8/\xE3\x82\xBD.avi");
    EXPECT_EQ(foundAs(automatic, hyouSo), "d/\xE8\xA1\xA8/\xE3\x82\xBD.avi");
    EXPECT_EQ(foundAs(cp932, fullWidthAbc), "d/\xEF\xBD\x81\xEF\xBD\x82\xEF\xBD\x83.avi");
    EXPECT_EQ(foundAs(cp1252, cafe1252), "d/caf\xC3\xA9.avi");

    EXPECT_FALSE(cp1252.exists(hyouSo)) << "read as Windows-1252 the 0x5C bytes are separators";
    EXPECT_FALSE(cp932.exists(cafe1252)) << "C9 is a half-width katakana in CP932";
    EXPECT_EQ(foundAs(automatic, cafe1252), "d/caf\xC3\xA9.avi") << "valid CP932, but not plausibly so";
    EXPECT_EQ(automatic.decoded(hyouSo), "D:\\\xE8\xA1\xA8\\\xE3\x82\xBD.avi");
}

TEST_F(ResolverOnDisk, WildcardsInTheLastNameMatchWithoutRegardToCase)
{
    dir.touch("d/Video/clip1.avi");
    dir.touch("d/Video/\xE8\xA1\xA8" "1.avi");
    fs::create_directories(dir.path() / "d/Empty");
    PathResolver r = resolver("CP932");
    EXPECT_EQ(foundAs(r, "D:\\Video\\*.AVI"), "d/Video/clip1.avi");
    EXPECT_EQ(foundAs(r, "D:\\VIDEO\\CLIP?.AVI"), "d/Video/clip1.avi");
    EXPECT_EQ(foundAs(r, "D:\\Video\\?1.avi"), "d/Video/\xE8\xA1\xA8" "1.avi") << "? is one character";
    EXPECT_EQ(foundAs(r, "D:\\Video\\\x95\x5C*"), "d/Video/\xE8\xA1\xA8" "1.avi");
    EXPECT_EQ(foundAs(r, "D:\\Video\\*.bmp"),
              "<missing: nothing matches \"*.bmp\" in folder \"" + std::string(dir / "d/Video") + "\">");
    EXPECT_FALSE(r.exists("D:\\Vid*\\clip1.avi")) << "wildcards above the last name find nothing";
    EXPECT_FALSE(r.exists("D:\\Nothing\\*.avi"));
    EXPECT_EQ(foundAs(r, "D:\\Empty\\*"), "d/Empty/.") << "the folder's own entries come first, as listed";
}

TEST_F(ResolverOnDisk, NamesThatNameNoFileFindNothingEvenWhenSomethingIsThere)
{
    dir.touch("d/Video/clip.avi");
    dir.touch("d/NUL");
    dir.touch("d/Video/con.avi");
    dir.touch("nas/readme.txt");
    dir.touch("secret.avi"); // beside the mapped folder
    PathResolver r = resolver();
    const struct {
        const char* stored;
        const char* why;
    } cases[] = {
        {"D:\\Video\\", "separator"},
        {"D:/Video/", "separator"},
        {"D:\\", "bare root"},
        {"\\\\nas\\media", "bare root"},
        {"\\\\nas\\media\\", "bare root"},
        {"D:\\NUL", "device"},
        {"D:\\nul.avi", "device"},
        {"D:\\Video\\CON.avi", "device"},
        {"D:\\Video\\...", "dots"},
        {"D:\\..\\secret.avi", "no entry named \"secret.avi\""}, // .. stops at the root
    };
    for (const auto& c : cases) {
        const Resolution result = r.resolve(c.stored);
        EXPECT_EQ(result.kind, PathKind::Mapped) << c.stored;
        EXPECT_FALSE(result.found) << c.stored;
        EXPECT_NE(result.reason.find(c.why), std::string::npos) << c.stored << ": " << result.reason;
        EXPECT_FALSE(r.exists(c.stored)) << c.stored;
    }
    EXPECT_EQ(r.resolve("D:\\..\\secret.avi").localPath, dir / "d/secret.avi");
    EXPECT_TRUE(r.exists("\\\\nas\\media\\README.TXT"));
    // Two slashes in front name the same share.
    EXPECT_EQ(foundAs(r, "//nas/media/readme.txt"), "nas/readme.txt");
    EXPECT_EQ(foundAs(r, "//NAS/Media\\Readme.txt"), "nas/readme.txt");
}

TEST_F(ResolverOnDisk, AutoReadsTheProjectInOneCodePageAndTakesTheOtherReadingOnlyWhereItFinds)
{
    struct Name {
        std::string stored; // below D:\Video\, as the project holds it
        std::string onDisk; // below d/Video/, UTF-8
    };
    const Name latin[] = {
        {"C\xE9r\xE9monie.avi", "C\xC3\xA9r\xC3\xA9monie.avi"}, {"Se\xF1ora.avi", "Se\xC3\xB1ora.avi"},
        {"H\xF4tel.avi", "H\xC3\xB4tel.avi"},                      {"K\xF6ln.avi", "K\xC3\xB6ln.avi"},
        {"Stra\xDF" "e.avi", "Stra\xC3\x9F" "e.avi"},                {"Mari\xE9" "e.avi", "Mari\xC3\xA9" "e.avi"},
    };
    const Name japanese[] = {
        {"\x95\x5C.avi", "\xE8\xA1\xA8.avi"},                                          // 表
        {"\x83\x72\x83\x66\x83\x49.avi", "\xE3\x83\x93\xE3\x83\x87\xE3\x82\xAA.avi"},   // ビデオ
        {"\x8C\x8B\x8D\xA5\x8E\xAE.avi", "\xE7\xB5\x90\xE5\xA9\x9A\xE5\xBC\x8F.avi"},   // 結婚式
    };
    for (const auto& names : {std::vector<Name>(std::begin(latin), std::end(latin)),
                              std::vector<Name>(std::begin(japanese), std::end(japanese))}) {
        for (const Name& name : names)
            dir.touch("d/Video/" + name.onDisk);
    }
    const auto expectProject = [&](const Name* begin, const Name* end, std::string_view codePage) {
        PathResolver r = resolver();
        for (const Name* name = begin; name != end; ++name) {
            const std::string stored = "D:\\Video\\" + name->stored;
            EXPECT_TRUE(r.exists(stored)) << stored;
            const Resolution found = r.resolve(stored);
            EXPECT_EQ(found.localPath, dir / ("d/Video/" + name->onDisk));
            EXPECT_EQ(found.codePage, codePage) << stored;
            EXPECT_FALSE(found.otherCodePage) << stored;
        }
        EXPECT_TRUE(r.readInOtherCodePage().empty());
    };
    expectProject(std::begin(latin), std::end(latin), "WINDOWS-1252");
    expectProject(std::begin(japanese), std::end(japanese), "CP932");

    // A Japanese project with one Windows-1252 name: found in that reading,
    // and said so; a name that neither reading finds keeps the project's.
    PathResolver mixed = resolver();
    for (const Name& name : japanese)
        ASSERT_TRUE(mixed.exists("D:\\Video\\" + name.stored));
    const std::string strasse = "D:\\Video\\" + latin[4].stored;
    const std::string nowhere = "D:\\Video\\K\xF6ln2.avi";
    EXPECT_EQ(mixed.decoded(strasse), "D:\\Video\\Stra\xEF\xBE\x9F" "e.avi") << "the project reads CP932";
    EXPECT_TRUE(mixed.exists(strasse));
    EXPECT_FALSE(mixed.exists(nowhere));
    const Resolution other = mixed.resolve(strasse);
    EXPECT_TRUE(other.found);
    EXPECT_EQ(other.localPath, dir / ("d/Video/" + latin[4].onDisk));
    EXPECT_EQ(other.codePage, "WINDOWS-1252");
    EXPECT_TRUE(other.otherCodePage);
    EXPECT_EQ(mixed.readInOtherCodePage(), std::vector<std::string>{strasse});
    const Resolution missing = mixed.resolve(nowhere);
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(missing.codePage, "CP932");
    EXPECT_EQ(mixed.codePageOf(nowhere), "CP932");
    EXPECT_EQ(mixed.codePageOf("D:\\Video\\plain.avi"), "") << "ASCII reads the same in both";
    mixed.newRun();
    EXPECT_TRUE(mixed.readInOtherCodePage().empty());
}

TEST_F(ResolverOnDisk, LinksAreFollowedAndBrokenOnesFindNothing)
{
    dir.touch("elsewhere/clip.avi");
    dir.touch("d/Video"); // a file where a folder is expected
    fs::create_directory_symlink(dir / "elsewhere", dir.path() / "d/Link");
    fs::create_symlink(dir / "gone", dir.path() / "d/gone.avi");
    PathResolver r = resolver();

    EXPECT_EQ(foundAs(r, "D:\\LINK\\CLIP.AVI"), "d/Link/clip.avi");
    EXPECT_EQ(foundAs(r, "D:\\Link\\clip.avi"), "d/Link/clip.avi");
    EXPECT_FALSE(r.exists("D:\\gone.avi"));
    EXPECT_NE(r.resolve("D:\\GONE.AVI").reason.find("broken link"), std::string::npos);
    EXPECT_NE(r.resolve("D:\\video\\clip.avi").reason.find("\"Video\" in folder \"" + dir / "d" + "\" is not a folder"),
              std::string::npos)
        << r.resolve("D:\\video\\clip.avi").reason;
}

TEST_F(ResolverOnDisk, ExplainSaysWhatWasTriedAndWhy)
{
    dir.touch("d/video/clip.avi");
    PathResolver r = makeResolver({{"D:", dir / "d", MappingSource::Explicit},
                                   {"F:", dir / "nowhere", MappingSource::Explicit}});
    const std::string d = dir / "d";
    const std::string nowhere = dir / "nowhere";
    const struct {
        const char* stored;
        std::string explanation;
    } cases[] = {
        {"D:\\Video\\Wedding\\Clip.avi",
         "tried " + d + "/video/Wedding/Clip.avi: no entry named \"Wedding\" in folder \"" + d + "/video\""},
        {"D:\\Video\\Clip2.avi", "tried " + d + "/video/Clip2.avi: no entry named \"Clip2.avi\" in folder \"" + d + "/video\""},
        {"F:\\Video\\clip.avi", "tried " + nowhere + "/Video/clip.avi: folder \"" + nowhere + "\" not found"},
        {"E:\\clip.avi", "no mapping for drive E:, looked for as stored"},
        {"\\\\srv\\share\\x.avi", "no mapping for share \\\\srv\\share, looked for as stored"},
        {"\\\\.\\COM1", "device names are never opened"},
        {"/no/such/clip.avi", "not found as stored"},
        {"D:\\VIDEO\\CLIP.AVI", "found as " + d + "/video/clip.avi"},
        {"D:\\Video", "found as " + d + "/video"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(r.explain(c.stored), c.explanation) << c.stored;

    EXPECT_EQ(r.resolve("E:\\clip.avi").kind, PathKind::NoMapping);
    EXPECT_EQ(r.resolve("E:\\clip.avi").root, "E:");
    EXPECT_EQ(r.resolve("\\\\.\\COM1").kind, PathKind::NotAFile);
    EXPECT_EQ(r.resolve("/no/such/clip.avi").kind, PathKind::NotWindows);
    EXPECT_EQ(r.resolve("/no/such/clip.avi").localPath, "/no/such/clip.avi");
}

TEST_F(ResolverOnDisk, DrivesAndSharesWithoutMappingAreListedOnceInTheOrderMet)
{
    PathResolver r = resolver();
    for (const char* stored : {"E:\\a.avi", "\\\\NAS\\Other\\b.avi", "/home/x.avi", "e:/c.avi", "D:\\x.avi",
                               "\\\\nas\\other\\d.avi", "\\\\nas\\media\\e.avi", "G:\\", "\\\\.\\NUL", "\\\\srv"}) {
        EXPECT_FALSE(r.exists(stored)) << stored;
    }
    EXPECT_EQ(r.unmappedRoots(), (std::vector<std::string>{"E:", "\\\\NAS\\Other", "G:"}));
    r.newRun();
    EXPECT_TRUE(r.unmappedRoots().empty());
}

// D: to <temp>/d, D:\Video to <temp>/v, D:\Video\Day1 to <temp>/day1, and
// E:\Archive to <temp>/e; nothing else of E:.
class ResolverWithFolderRoots : public ResolverOnDisk {
protected:
    PathResolver folderResolver(std::string_view codePage = kAutoCodePage) const
    {
        return makeResolver({{"D:", dir / "d", MappingSource::Explicit},
                             {"D:\\Video", dir / "v", MappingSource::ConfigFile},
                             {"D:\\Video\\Day1", dir / "day1", MappingSource::Wine},
                             {"E:\\Archive", dir / "e", MappingSource::Explicit}},
                            codePage);
    }
};

TEST_F(ResolverWithFolderRoots, TheNamesBelowEachMatchingRootAreLookedForBelowItsFolderLongestFirst)
{
    dir.touch("day1/clip.avi");
    dir.touch("v/Day2/Take.avi");
    dir.touch("d/VideoOld/old.avi");
    dir.touch("d/Video/Day1/clip.avi"); // where D: alone would look
    dir.touch("d/Video/Other/shadowed.avi");
    fs::create_directories(dir.path() / "e");
    PathResolver r = folderResolver();
    EXPECT_EQ(foundAs(r, "D:\\Video\\Day1\\clip.avi"), "day1/clip.avi");
    EXPECT_EQ(foundAs(r, "d:/VIDEO/day1/CLIP.AVI"), "day1/clip.avi") << "roots compared without regard to case";
    EXPECT_EQ(foundAs(r, "D:\\video\\day2\\take.avi"), "v/Day2/Take.avi");
    EXPECT_EQ(foundAs(r, "D:\\VideoOld\\old.avi"), "d/VideoOld/old.avi") << "D:\\Video ends at a whole name";
    EXPECT_EQ(foundAs(r, "D:\\Video"), "v") << "the root of a mapping names its folder";
    EXPECT_EQ(foundAs(r, "D:\\Video\\Day1\\..\\Day2\\Take.avi"), "v/Day2/Take.avi");
    EXPECT_EQ(foundAs(r, "D:\\Video\\Other\\shadowed.avi"), "d/Video/Other/shadowed.avi")
        << "a shorter root is tried when the longest one fails";

    const Resolution day1 = r.resolve("D:\\Video\\Day1\\clip.avi");
    EXPECT_EQ(day1.kind, PathKind::Mapped);
    EXPECT_EQ(day1.root, "D:");
    EXPECT_EQ(day1.mappedRoot, "D:\\Video\\Day1");
    EXPECT_EQ(r.resolve("D:\\VideoOld\\old.avi").mappedRoot, "D:");
    EXPECT_EQ(r.explain("D:\\Video\\Day1\\gone.avi"),
              "tried " + dir / "day1" + "/gone.avi: no entry named \"gone.avi\" in folder \"" + dir / "day1" + "\"\n" +
                  "tried " + dir / "v" + "/Day1/gone.avi: no entry named \"Day1\" in folder \"" + dir / "v" + "\"\n" +
                  "tried " + dir / "d" + "/Video/Day1/gone.avi: no entry named \"gone.avi\" in folder \"" +
                  dir / "d/Video/Day1" + "\"");
    EXPECT_EQ(r.explain("D:\\Video\\Day1\\"), "tried " + dir / "day1" + ": the name ends in a separator");
    EXPECT_TRUE(r.unmappedRoots().empty());
}

TEST_F(ResolverWithFolderRoots, ADriveOfWhichOnlyFoldersAreMappedIsUnmappedElsewhere)
{
    dir.touch("e/x.avi");
    PathResolver r = folderResolver();
    EXPECT_EQ(foundAs(r, "E:\\archive\\X.avi"), "e/x.avi");
    EXPECT_TRUE(r.unmappedRoots().empty());
    const Resolution outside = r.resolve("E:\\Archive2\\x.avi");
    EXPECT_EQ(outside.kind, PathKind::NoMapping);
    EXPECT_EQ(outside.mappedRoot, "");
    EXPECT_EQ(describe(outside), "no mapping for drive E: outside E:\\Archive, looked for as stored");
    EXPECT_FALSE(r.exists("E:\\x.avi"));
    EXPECT_EQ(r.unmappedRoots(), std::vector<std::string>{"E:"});

    PathResolver two = makeResolver({{"\\\\nas\\media\\2019", dir / "a", MappingSource::Explicit},
                                     {"\\\\nas\\media\\2020", dir / "b", MappingSource::Explicit},
                                     {"\\\\nas\\media\\2021", dir / "c", MappingSource::Explicit}});
    EXPECT_EQ(two.explain("\\\\NAS\\media\\x.avi"), "no mapping for share \\\\NAS\\media outside \\\\nas\\media\\2019, "
                                                     "\\\\nas\\media\\2020 and \\\\nas\\media\\2021, looked for as stored");
}

TEST_F(ResolverWithFolderRoots, AFolderRootMatchesTheDecodedNamesNotTheStoredBytes)
{
    // 表 is 95 5C in CP932: its second byte is a backslash.
    dir.touch("hyou/clip.avi");
    dir.touch("d/\xE8\xA1\xA8x/clip.avi"); // 表x
    PathResolver r = makeResolver({{"D:", dir / "d", MappingSource::Explicit},
                                   {"D:\\\xE8\xA1\xA8", dir / "hyou", MappingSource::Explicit}},
                                  "CP932");
    const std::string inHyou = "D:\\\x95\x5C\\clip.avi";
    const std::string inHyouX = "D:\\\x95\x5Cx\\clip.avi";
    EXPECT_EQ(foundAs(r, inHyou), "hyou/clip.avi");
    EXPECT_EQ(r.resolve(inHyou).mappedRoot, "D:\\\xE8\xA1\xA8");
    EXPECT_EQ(foundAs(r, inHyouX), "d/\xE8\xA1\xA8x/clip.avi");
    EXPECT_EQ(r.resolve(inHyouX).mappedRoot, "D:");
}

// Runs a test with the current folder set to a temporary one.
class ResolverInOtherFolder : public ResolverOnDisk {
protected:
    void SetUp() override
    {
        old_ = fs::current_path();
        fs::current_path(dir.path());
    }
    void TearDown() override { fs::current_path(old_); }

private:
    fs::path old_;
};

TEST_F(ResolverInOtherFolder, AnUnmappedDriveIsLookedForAsStored)
{
    dir.touch("E:\\clip.avi"); // a file of that very name, in the current folder
    PathResolver r = resolver();
    const Resolution found = r.resolve("E:\\clip.avi");
    EXPECT_EQ(found.kind, PathKind::NoMapping);
    EXPECT_TRUE(found.found);
    EXPECT_EQ(found.localPath, "E:\\clip.avi");
    EXPECT_FALSE(r.exists("E:\\other.avi"));
    EXPECT_EQ(r.unmappedRoots(), std::vector<std::string>{"E:"});
}

TEST_F(ResolverInOtherFolder, EveryOtherNameIsLookedForExactlyAsBefore)
{
    dir.touch("media/Clip.avi");
    dir.touch("D:clip.avi");
    dir.touch("\\single\\backslash.avi");
    const std::string absolute = dir / "media/Clip.avi";
    const std::string names[] = {
        absolute, dir / "media", dir / "media/", dir / "media/clip.avi", dir / "media/*.avi", dir / "media/*.AVI",
        dir / "media/Clip?.avi", "media/Clip.avi", "media/../media/Clip.avi", "D:clip.avi", "D:",
        "\\single\\backslash.avi", "//" + absolute, "", "/",
    };
    PathResolver r = resolver();
    int found = 0;
    for (const std::string& name : names) {
        const bool expected = findFirst(name);
        found += expected ? 1 : 0;
        EXPECT_EQ(r.exists(name), expected) << name;
        EXPECT_EQ(r.resolve(name).kind, PathKind::NotWindows) << name;
    }
    EXPECT_GT(found, 3);
    EXPECT_LT(found, static_cast<int>(std::size(names)));
    EXPECT_TRUE(r.unmappedRoots().empty());
}

TEST_F(ResolverOnDisk, EachFolderIsReadOnceARunAndEachNameLookedForOnce)
{
    dir.touch("d/video/a.avi");
    const std::string late = dir / "late.avi";
    PathResolver r = resolver();
    ASSERT_TRUE(r.exists("D:\\VIDEO\\A.AVI"));
    ASSERT_FALSE(r.exists(late));
    dir.touch("d/video/b.avi");
    dir.touch("late.avi");

    EXPECT_FALSE(r.exists("D:\\VIDEO\\B.AVI")) << "the folder was read before b.avi came";
    EXPECT_TRUE(r.exists("D:\\video\\b.avi")) << "the exact name is looked up directly";
    EXPECT_FALSE(r.exists(late)) << "the answer of this run";
    r.newRun();
    EXPECT_TRUE(r.exists("D:\\VIDEO\\B.AVI"));
    EXPECT_TRUE(r.exists(late));
}

TEST_F(ResolverOnDisk, NamesInFoldersMetBeforeGetTheAnswersOfAFreshRun)
{
    dir.touch("d/Video/clip.avi");
    dir.touch("d/Video/CLIP2.avi");
    dir.touch("d/Video/con.avi");
    dir.touch("d/Video/file.avi");
    dir.touch("d/Video/Sub/deep.avi");
    dir.touch("d/video/other.avi"); // a twin of Video that differs only in case
    dir.touch("d/\xE8\xA1\xA8/\xE3\x82\xBD.avi"); // 表/ソ.avi
    dir.touch("day1/take.avi");
    dir.touch("nas/intro.avi");
    fs::create_symlink(dir / "gone", dir.path() / "d/Video/broken.avi");
    dir.touch("v/clip.avi");         // D:\Video's own folder is tried before d/Video
    dir.touch("d2/Video/none.avi");  // and the Wine prefix's D: after both
    const std::vector<DriveMapping> mappings = {{"D:", dir / "d", MappingSource::Explicit},
                                                {"D:\\Film\\Day1", dir / "day1", MappingSource::Explicit},
                                                {"\\\\nas\\media", dir / "nas", MappingSource::Explicit},
                                                {"D:\\Video", dir / "v", MappingSource::ConfigFile},
                                                {"D:", dir / "d2", MappingSource::Wine}};
    const std::vector<std::string> names = {
        "D:\\Video\\clip.avi", "D:\\VIDEO\\CLIP.AVI", "D:\\Video\\CLIP.AVI", "D:\\Video\\clip2.avi",
        "D:\\Video\\other.avi", "D:\\video\\OTHER.AVI", "D:\\VIDEO\\clip.avi", "D:\\Video\\CON.avi",
        "D:\\Video\\clip.avi. ", "D:\\Video\\. .", "D:\\Video\\..", "D:\\Video\\.", "D:\\Video\\",
        "D:\\Video\\*.AVI", "D:\\Video\\C?IP2.avi", "D:\\Video\\Sub\\..\\clip.avi", "D:\\Video\\Sub\\DEEP.avi",
        "D:\\Film\\x.avi", "D:\\Film\\day1", "D:\\Film\\Day1\\TAKE.avi", "D:\\Film\\Day2", "D:\\Video\\broken.avi",
        "D:\\Video\\BROKEN.AVI", "D:\\Video\\none.avi", "D:\\Video\\file.avi\\x.avi", "D:\\Nothing\\x.avi",
        "D:\\Nothing\\clip.avi", "D:\\\x95\x5C\\\x83\x5C.AVI", "D:\\\x95\x5C\\\x83\x5C.avi",
        "\\\\nas\\media\\INTRO.avi", "\\\\nas\\intro.avi", "\\\\NAS\\Media\\x\\..\\intro.avi",
        "D:\\V?deo\\clip.avi", "D:\\V?deo\\other.avi", "D:\\NUL\\clip.avi", "D:\\Video\\nul\\clip.avi",
        "E:\\clip.avi"};
    // Every name goes through one resolver after the names before it, so
    // that most of them meet folders already looked into.
    PathResolver shared = makeResolver(mappings);
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::string& name : names) {
            PathResolver fresh = makeResolver(mappings);
            const Resolution expected = fresh.resolve(name);
            if (pass == 0) {
                EXPECT_EQ(shared.exists(name), expected.found) << name;
            }
            const Resolution got = shared.resolve(name);
            EXPECT_EQ(got.found, expected.found) << name;
            EXPECT_EQ(got.kind, expected.kind) << name;
            EXPECT_EQ(got.localPath, expected.localPath) << name;
            EXPECT_EQ(got.reason, expected.reason) << name;
            EXPECT_EQ(got.mappedRoot, expected.mappedRoot) << name;
            EXPECT_EQ(describeEach(got), describeEach(expected)) << name;
        }
    }
    EXPECT_TRUE(shared.exists("D:\\VIDEO\\CLIP.AVI"));
    EXPECT_EQ(shared.resolve("D:\\VIDEO\\CLIP.AVI").localPath, dir / "v/clip.avi");
    EXPECT_EQ(shared.resolve("D:\\Video\\none.avi").localPath, dir / "d2/Video/none.avi");
    EXPECT_EQ(shared.resolve("D:\\Video\\none.avi").tried.size(), 2u);
    EXPECT_FALSE(shared.exists("D:\\Video\\CON.avi"));
    EXPECT_TRUE(shared.exists("D:\\FILM\\DAY1"));
    EXPECT_EQ(shared.resolve("D:\\V?deo\\clip.avi").reason, "wildcards are allowed in the last name only");
    EXPECT_EQ(shared.resolve("D:\\Video\\nul\\clip.avi").reason, "nul is a reserved device name");
    EXPECT_EQ(shared.unmappedRoots(), (std::vector<std::string>{"\\\\nas\\intro.avi", "E:"}));
}

TEST_F(ResolverOnDisk, WhatARunLearntOfFoldersIsForgottenByTheNextRun)
{
    dir.touch("d/video/a.avi");
    dir.touch("d/video/b.avi");
    PathResolver r = resolver();
    ASSERT_TRUE(r.exists("D:\\VIDEO\\A.AVI"));
    ASSERT_TRUE(r.exists("D:\\video\\A.AVI"));
    dir.touch("d/video/c.avi");
    EXPECT_FALSE(r.exists("D:\\video\\C.AVI")) << "d/video was read before c.avi came";
    EXPECT_TRUE(r.exists("D:\\video\\c.avi")) << "the exact name is looked up directly";
    fs::rename(dir.path() / "d/video", dir.path() / "d/film");

    EXPECT_TRUE(r.exists("D:\\VIDEO\\B.AVI")) << "the folders as this run read them";
    EXPECT_FALSE(r.exists("D:\\FILM\\B.AVI")) << "d was read before film came";
    EXPECT_TRUE(r.exists("D:\\film\\b.avi")) << "the exact name is looked up directly";
    r.newRun();
    EXPECT_FALSE(r.exists("D:\\VIDEO\\A.AVI"));
    EXPECT_TRUE(r.exists("D:\\FILM\\A.AVI"));
    EXPECT_EQ(r.resolve("D:\\Film\\B.AVI").localPath, dir / "d/film/b.avi");
    EXPECT_EQ(r.explain("D:\\Video\\B.AVI"),
              "tried " + dir / "d" + "/Video/B.AVI: no entry named \"Video\" in folder \"" + dir / "d" + "\"");
}

} // namespace
} // namespace korvane
