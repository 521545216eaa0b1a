// korvane-scan on projects made on Windows: drive and share mappings from
// the command line, the configuration file and a Wine prefix, the code
// page, --utf8, --explain, --search and --json, driven as another program
// drives it.

#include "tests/builder/project_builder.h"
#include "tests/paths/scoped_env.h"
#include "tests/cli/own_settings.h"
#include "tests/process.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

namespace korvane {
namespace {

using testkit::buildProject;
using Json = nlohmann::json;
using testkit::ProcessResult;
using testkit::ProjectModel;
using testkit::runProcess;
using testkit::scan;
using testkit::ScopedEnv;
using testkit::TempDir;
using testkit::writeFile;

const std::string kClip = "D:\\Video\\Clip.AVI";
const std::string kIntro = "\\\\nas\\media\\Intro.avi";
const std::string kKanji = "D:\\\x95\x5C\\\x83\x5C.avi"; // D:\表\ソ.avi in CP932
const std::string kHeadings = "[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n[BinWindow]\r\n";

// The report of a project whose MainAV clips are `missing` and which lists
// nothing else.
std::string reportOf(const std::vector<std::string>& missing)
{
    std::string report = "[MainAV]\r\n";
    for (const std::string& path : missing)
        report += path + "\r\n";
    return report + kHeadings;
}

// Every run sees settings of its own (OwnSettings).
class ScannerWithPaths : public ::testing::Test, protected testkit::OwnSettings {
protected:
    std::string configFile() const { return (home.path() / "config" / "korvane" / "korvane.conf").string(); }
    void writeConfig(const std::string& text) const { home.touch("config/korvane/korvane.conf", text); }

    // A folder standing for drive D: and one for the share, holding the
    // files of kClip and kIntro in other cases.
    std::string driveD() { return dir.path() / "d"; }
    std::string share() { return dir.path() / "nas"; }
    void placeMedia()
    {
        dir.touch("d/video/clip.avi");
        dir.touch("nas/intro.avi");
    }
};

TEST_F(ScannerWithPaths, MappedDriveAndShareFindEverything)
{
    placeMedia();
    const std::string file = project({kClip, kIntro});

    const ProcessResult mapped = scan({"--map", "D:=" + driveD(), "--map", "\\\\nas\\media=" + share(), file});
    EXPECT_EQ(mapped.status, 0) << mapped.err;
    EXPECT_EQ(mapped.out, reportOf({}));
    EXPECT_EQ(mapped.err, "");

    const ProcessResult equalsForm = scan({"--map=d:/=" + driveD(), "--map=//NAS/Media=" + share(), file});
    EXPECT_EQ(equalsForm.status, 0) << "roots in any case and with either separator: " << equalsForm.err;

    const ProcessResult unmapped = scan({file});
    EXPECT_EQ(unmapped.status, 1);
    EXPECT_EQ(unmapped.out, reportOf({kClip, kIntro})) << "listed byte for byte as stored";

    const ProcessResult typo = scan({"--map", "D:=" + (dir / "dd"), "--map", "\\\\nas\\media=" + share(), file});
    EXPECT_EQ(typo.status, 1);
    EXPECT_EQ(typo.out, reportOf({kClip}));
    EXPECT_EQ(typo.err, "korvane-scan: warning: drive D: is mapped to " + (dir / "dd") +
                            ", which does not exist; is the disk mounted?\n");
}

TEST_F(ScannerWithPaths, TraceShowsTheStoredNamesWhateverTheMapping)
{
    placeMedia();
    const ProcessResult r = scan({"--trace", "--map", "D:=" + driveD(), project({kClip, kIntro})});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("check \"D:\\\\Video\\\\Clip.AVI\" found\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("check \"\\\\\\\\nas\\\\media\\\\Intro.avi\" missing\n"), std::string::npos) << r.out;
}

TEST_F(ScannerWithPaths, UnmappedDrivesAndSharesAreNamedInOneWarning)
{
    const ProcessResult r = scan({project({"Q:\\a.avi", kIntro, "q:/b.avi", "/nowhere/c.avi"})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, reportOf({"Q:\\a.avi", kIntro, "q:/b.avi", "/nowhere/c.avi"}));
    EXPECT_EQ(r.err, "korvane-scan: warning: drive Q: and share \\\\nas\\media have no mapping, so their paths were "
                     "listed as missing without being looked for; map them with --map ROOT=FOLDER or in " +
                         configFile() + "\n");

    const ProcessResult posixOnly = scan({project({"/nowhere/c.avi"})});
    EXPECT_EQ(posixOnly.status, 1);
    EXPECT_EQ(posixOnly.err, "") << "no warning without Windows paths";
}

TEST_F(ScannerWithPaths, ConfigurationFileMapsAndExplicitMappingsWinOverIt)
{
    placeMedia();
    dir.touch("elsewhere/unrelated.avi");
    const std::string file = project({kClip, kIntro});
    writeConfig("# studio\nmap D: = " + (dir / "elsewhere") + "\nmap \\\\NAS\\MEDIA = " + share() + "\n");

    const ProcessResult fromFile = scan({file});
    EXPECT_EQ(fromFile.status, 1) << "the file's D: has no Video folder";
    EXPECT_EQ(fromFile.out, reportOf({kClip})) << "the share is mapped by the file";
    EXPECT_EQ(fromFile.err, "");

    const ProcessResult overridden = scan({"--map", "D:=" + driveD(), file});
    EXPECT_EQ(overridden.status, 0) << overridden.out;

    const ProcessResult lastWins = scan({"--map", "D:=" + driveD(), "--map", "d:=" + (dir / "elsewhere"), file});
    EXPECT_EQ(lastWins.status, 1) << "of two --map of one drive the last counts";
}

TEST_F(ScannerWithPaths, LinesOfTheConfigurationFileThatAreNotUnderstoodAreWarnedAbout)
{
    placeMedia();
    writeConfig("map D: = " + driveD() + "\nmapping E: /x\n");
    const ProcessResult r = scan({project({kClip})});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, reportOf({}));
    EXPECT_TRUE(r.err.starts_with("korvane-scan: warning: " + configFile() + ", line 2")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST_F(ScannerWithPaths, DrivesOfAWinePrefixAreMapped)
{
    placeMedia();
    std::filesystem::create_directories(home.path() / "wine" / "dosdevices");
    std::filesystem::create_directory_symlink(driveD(), home.path() / "wine" / "dosdevices" / "d:");
    const ProcessResult r = scan({project({kClip})});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(ScannerWithPaths, Utf8WritesTheDecodedNamesInTheChosenCodePage)
{
    const std::string file = project({kKanji, "D:\\Caf\xE9.avi"});
    const ProcessResult stored = scan({file});
    EXPECT_EQ(stored.out, reportOf({kKanji, "D:\\Caf\xE9.avi"}));

    const ProcessResult autoPage = scan({"--utf8", file});
    EXPECT_EQ(autoPage.status, 1);
    EXPECT_EQ(autoPage.out, reportOf({"D:\\\xE8\xA1\xA8\\\xE3\x82\xBD.avi", "D:\\Caf\xC3\xA9.avi"}))
        << "CP932 where the bytes are CP932, else Windows-1252";

    const ProcessResult western = scan({"--utf8", "--codepage", "windows-1252", file});
    EXPECT_EQ(western.out, reportOf({"D:\\\xE2\x80\xA2\\\\\xC6\x92\\.avi", "D:\\Caf\xC3\xA9.avi"}));

    writeConfig("codepage = WINDOWS-1252\n");
    EXPECT_EQ(scan({"--utf8", file}).out, western.out) << "the file's code page";
    EXPECT_EQ(scan({"--utf8", "--codepage=auto", file}).out, autoPage.out) << "--codepage wins over the file";
}

TEST_F(ScannerWithPaths, MappedCp932NamesAreFound)
{
    dir.touch("d/\xE8\xA1\xA8/\xE3\x82\xBD.avi");
    const ProcessResult r = scan({"--map", "D:=" + driveD(), project({kKanji})});
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST_F(ScannerWithPaths, AutoReadsTheProjectInOneCodePageAndSaysWhereANameWasReadOtherwise)
{
    dir.touch("d/\xE8\xA1\xA8/\xE3\x82\xBD.avi");            // 表/ソ.avi
    dir.touch("d/Video/Stra\xC3\x9F" "e.avi");                   // Straße.avi
    dir.touch("d/Video/Mari\xC3\xA9" "e.avi");                   // Mariée.avi
    const std::string strasse = "D:\\Video\\Stra\xDF" "e.avi";  // valid CP932 too
    const std::string mariee = "D:\\Video\\Mari\xE9" "e.avi";
    const std::string ceremonie = "D:\\Video\\C\xE9r\xE9monie.avi";
    const std::string wedding = "D:\\\x8C\x8B\x8D\xA5\x8E\xAE.avi"; // 結婚式.avi
    const std::string map = "D:=" + driveD();

    // Windows-1252 throughout: found, and the missing one explained in it.
    const ProcessResult latin = scan({"--explain", "--map", map, project({strasse, ceremonie, mariee})});
    EXPECT_EQ(latin.status, 1);
    // The report keeps the stored bytes; korvane's own text shows them quoted.
    EXPECT_EQ(latin.out, reportOf({ceremonie}) + "\r\nLooked for\r\n$'D:\\\\Video\\\\C\\xe9r\\xe9monie.avi'\r\n" +
                             "    tried " + driveD() +
                             "/Video/C\xC3\xA9r\xC3\xA9monie.avi: no entry named \"C\xC3\xA9r\xC3\xA9monie.avi\" in "
                             "folder \"" + driveD() + "/Video\"\r\n    read as WINDOWS-1252\r\n");
    EXPECT_EQ(latin.err.find("another code page"), std::string::npos) << latin.err;

    // CP932 by the majority; the one name only Windows-1252 finds is taken so, and said.
    const std::string mixed = project({kKanji, wedding, strasse, kKanji});
    const ProcessResult r = scan({"--map", map, mixed});
    EXPECT_EQ(r.out, reportOf({wedding}));
    EXPECT_NE(r.err.find("warning: 1 name was found only when read in another code page than the rest of the "
                         "project: " + driveD() + "/Video/Stra\xC3\x9F" "e.avi (read as WINDOWS-1252)\n"),
              std::string::npos)
        << r.err;
    const Json doc = Json::parse(scan({"--json", "--map", map, mixed}).out);
    const Json& missing = doc.at("missing");
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing.at(0).at("decoded").get<std::string>(), "D:\\\xE7\xB5\x90\xE5\xA9\x9A\xE5\xBC\x8F.avi");
    EXPECT_EQ(missing.at(0).at("code_page").get<std::string>(), "CP932");
}

TEST_F(ScannerWithPaths, ExplainSaysWhereEachMissingPathWasLookedFor)
{
    placeMedia();
    const std::string gone = "D:\\Video\\Gone.avi";
    const ProcessResult r =
        scan({"--explain", "--map", "D:=" + driveD(), project({kClip, gone, kIntro, gone, "/nowhere/x.avi"})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, reportOf({gone, kIntro, gone, "/nowhere/x.avi"}) +
                         "\r\n"
                         "Looked for\r\n" +
                         gone + "\r\n    tried " + driveD() + "/video/Gone.avi: no entry named \"Gone.avi\" in folder \"" +
                         driveD() + "/video\"\r\n" + kIntro +
                         "\r\n    no mapping for share \\\\nas\\media, looked for as stored\r\n"
                         "/nowhere/x.avi\r\n    not found as stored\r\n")
        << "each missing path once, in the report's order";

    const ProcessResult nothing = scan({"--explain", "--map", "D:=" + driveD(), project({kClip})});
    EXPECT_EQ(nothing.status, 0);
    EXPECT_EQ(nothing.out, reportOf({}) + "\r\nLooked for\r\nNothing is missing.\r\n");
}

TEST_F(ScannerWithPaths, AFolderMappingAddsAPlaceToLookAndNeverHidesItsDrive)
{
    placeMedia();
    dir.touch("backup/Day2/take.avi");
    const std::string take = "D:\\Video\\Day2\\take.avi";
    const std::string gone = "D:\\Video\\gone.avi";
    const std::string backup = dir / "backup";
    writeConfig("map D:\\Video = " + (dir / "unmounted") + "\n");
    const ProcessResult r = scan({"--explain", "--map", "D:=" + driveD(), "--map", "D:\\Video=" + backup,
                                  project({kClip, take, gone})});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, reportOf({gone}) + "\r\nLooked for\r\n" + gone + "\r\n    tried " + backup +
                         "/gone.avi: no entry named \"gone.avi\" in folder \"" + backup + "\"\r\n    tried " +
                         (dir / "unmounted") + "/gone.avi: folder \"" + (dir / "unmounted") +
                         "\" not found\r\n    tried " +
                         driveD() + "/video/gone.avi: no entry named \"gone.avi\" in folder \"" + driveD() +
                         "/video\"\r\n")
        << "the clip falls back to D:, the take is found below D:\\Video";
    EXPECT_EQ(r.err, "korvane-scan: warning: folder D:\\Video on drive D: is mapped to " + (dir / "unmounted") +
                         ", which does not exist; is the disk mounted?\n");
}

TEST_F(ScannerWithPaths, SearchFindsMovedFilesAndItsMappingMakesTheProjectWhole)
{
    const std::string clip = "D:\\Wedding\\Day1\\clip.avi";
    const std::string toast = "D:\\Wedding\\Day1\\toast.avi";
    const std::string lost = "D:\\Wedding\\lost.avi";
    dir.touch("moved/Wedding/Day1/CLIP.avi");
    dir.touch("moved/Wedding/Day1/toast.avi");
    dir.touch("moved/old/clip.avi");
    const std::string file = project({clip, toast, lost});

    const ProcessResult r = scan({"--search", dir / "moved", file});
    EXPECT_EQ(r.status, 1) << "the exit status of the scan";
    const std::string moved = dir / "moved";
    EXPECT_EQ(r.out, reportOf({clip, toast, lost}) +
                         "\r\n"
                         "Found elsewhere\r\n" +
                         clip + "\r\n    " + moved + "/Wedding/Day1/CLIP.avi\r\n    " + moved + "/old/clip.avi\r\n" +
                         toast + "\r\n    " + moved + "/Wedding/Day1/toast.avi\r\n"
                         "Found 2 of 3 missing files.\r\n"
                         "\r\n"
                         "Suggested mappings\r\n"
                         "--map D:=" + moved + "\r\n"
                         "    map D: = " + moved + "\r\n"
                         "    explains 2 of 3 missing files on D:\r\n");

    const ProcessResult fixed = scan({"--map", "D:=" + moved, file});
    EXPECT_EQ(fixed.out, reportOf({lost})) << "the suggested mapping finds what the search found";
}

// The words of `line` after `prefix`, as a POSIX shell would pass them
// (single quotes only: the tests' paths hold nothing else it would change).
std::string unquoted(const std::string& line, std::string_view prefix)
{
    std::string word = line.substr(prefix.size());
    std::erase(word, '\'');
    return word;
}

TEST_F(ScannerWithPaths, AFolderMappingSuggestedBySearchIsUsableAsShown)
{
    const std::string clip = "D:\\Video\\Day1\\clip.avi";
    const std::string elsewhere = "D:\\VideoOld\\x.avi";
    dir.touch("archive/footage/Day1/clip.avi");
    dir.touch("archive/footage/x.avi"); // D:\VideoOld is not below D:\Video
    const std::string file = project({clip});

    const ProcessResult r = scan({"--search", dir / "archive", file});
    const std::string footage = dir / "archive/footage";
    const std::string suggested = "--map 'D:\\Video'=" + footage + "\r\n"
                                  "    map D:\\Video = " + footage + "\r\n"
                                  "    explains 1 of 1 missing file on D:\r\n";
    ASSERT_TRUE(r.out.ends_with("Suggested mappings\r\n" + suggested)) << r.out;

    const std::string argumentLine = suggested.substr(0, suggested.find('\r'));
    const std::string argument = unquoted(argumentLine, "--map ");
    const ProcessResult mapped = scan({"--map", argument, project({clip, elsewhere})});
    EXPECT_EQ(mapped.status, 1);
    EXPECT_EQ(mapped.out, reportOf({elsewhere})) << "the clip is found below the mapped folder";
    EXPECT_EQ(mapped.err, "korvane-scan: warning: drive D: has no mapping, so its paths were listed as missing "
                          "without being looked for; map it with --map ROOT=FOLDER or in " +
                              configFile() + "\n")
        << "D:\\VideoOld is outside D:\\Video";

    writeConfig("map D:\\Video = " + footage + "\n");
    const ProcessResult configured = scan({"--explain", project({clip, "d:\\video\\day1\\gone.avi"})});
    EXPECT_EQ(configured.out, reportOf({"d:\\video\\day1\\gone.avi"}) +
                                  "\r\nLooked for\r\nd:\\video\\day1\\gone.avi\r\n    tried " + footage +
                                  "/Day1/gone.avi: no entry named \"gone.avi\" in folder \"" + footage + "/Day1\"\r\n");
    EXPECT_EQ(configured.err, "");

    const ProcessResult longer = scan({"--map", "D:=" + (dir / "nowhere"), project({clip})});
    EXPECT_EQ(longer.status, 0) << "the file's D:\\Video is longer than --map D: and wins for its paths";
}

TEST_F(ScannerWithPaths, SearchAndExplainTogetherKeepTheirOrder)
{
    const ProcessResult r = scan({"--explain", "--search", dir / "none-here", project({"D:\\a.avi"})});
    EXPECT_EQ(r.status, 2) << "a search folder that does not exist is a usage error";

    std::filesystem::create_directory(dir.path() / "empty");
    const ProcessResult both = scan({"--explain", "--search", dir / "empty", project({"D:\\a.avi"})});
    EXPECT_EQ(both.status, 1);
    EXPECT_EQ(both.out, reportOf({"D:\\a.avi"}) +
                            "\r\nLooked for\r\nD:\\a.avi\r\n    no mapping for drive D:, looked for as stored\r\n"
                            "\r\nFound elsewhere\r\nThe missing file was not found.\r\n"
                            "\r\nSuggested mappings\r\n"
                            "None: no missing file of a drive or share was found under its own name.\r\n");
}

TEST_F(ScannerWithPaths, JsonIsOneDocumentWithTheSearchAndTheMappings)
{
    dir.touch("moved/Video/clip.avi");
    const std::string file = project({kClip, kKanji, kClip});
    const ProcessResult r = scan({"--json", "--search", dir / "moved", file});
    EXPECT_EQ(r.status, 1);
    const Json doc = Json::parse(r.out);
    EXPECT_EQ(doc.at("format").get<std::int64_t>(), 3);
    EXPECT_EQ(doc.at("project").at("file").get<std::string>(), file);
    EXPECT_EQ(doc.at("project").at("version").get<std::int64_t>(), 519);
    EXPECT_EQ(doc.at("project").at("size").get<std::uintmax_t>(), std::filesystem::file_size(file));
    EXPECT_FALSE(doc.at("project").at("damaged").get<bool>());

    const Json& sections = doc.at("sections");
    ASSERT_EQ(sections.size(), 6u);
    EXPECT_EQ(sections.at(0).at("name").get<std::string>(), "MainAV");
    EXPECT_EQ(sections.at(0).at("references").get<std::int64_t>(), 3);
    const Json& missing = doc.at("missing");
    ASSERT_EQ(missing.size(), 2u) << "each distinct path once";
    EXPECT_EQ(missing.at(0).at("stored").get<std::string>(), kClip);
    EXPECT_EQ(missing.at(0).at("references").get<std::int64_t>(), 2);
    EXPECT_EQ(missing.at(0).at("sections"), Json::array({"MainAV"}));
    EXPECT_EQ(missing.at(0).at("candidates").at(0).at("path").get<std::string>(), dir / "moved/Video/clip.avi");
    EXPECT_EQ(missing.at(1).at("stored").get<std::string>(), "D:\\%95\\\\%83\\.avi");
    EXPECT_EQ(missing.at(1).at("decoded").get<std::string>(), "D:\\\xE8\xA1\xA8\\\xE3\x82\xBD.avi");
    EXPECT_TRUE(missing.at(1).at("candidates").empty());
    EXPECT_EQ(doc.at("search").at("folders").at(0).get<std::string>(), dir / "moved");

    ASSERT_EQ(doc.at("mappings").size(), 1u);
    EXPECT_EQ(doc.at("mappings").at(0).at("argument").get<std::string>(), "--map D:=" + (dir / "moved"));
    EXPECT_EQ(doc.at("mappings").at(0).at("explains").get<std::int64_t>(), 1);
    EXPECT_EQ(doc.at("mappings").at(0).at("of").get<std::int64_t>(), 2);

    const ProcessResult plain = scan({"--json", file});
    EXPECT_EQ(plain.status, 1);
    const Json noSearch = Json::parse(plain.out);
    EXPECT_TRUE(noSearch.at("search").at("folders").empty());
    EXPECT_EQ(noSearch.at("missing").size(), 2u);

    // --candidates cuts the list of places and counts the rest.
    dir.touch("copy/Video/clip.avi");
    const ProcessResult one = scan({"--json", "--candidates", "1", "--search", dir / "moved", "--search",
                                    dir / "copy", file});
    const Json cut = Json::parse(one.out).at("missing").at(0);
    EXPECT_EQ(cut.at("candidates").size(), 1u);
    EXPECT_EQ(cut.at("more_candidates").get<std::int64_t>(), 1);
    const ProcessResult text = scan({"--candidates", "1", "--search", dir / "moved", "--search", dir / "copy", file});
    EXPECT_NE(text.out.find("    ... and 1 more\r\n"), std::string::npos) << text.out;
}

TEST_F(ScannerWithPaths, JsonOfADamagedProjectSaysWhereItEnds)
{
    testkit::ProjectBuilder b;
    b.header(519, 5, 1).movie("D:\\gone.avi");
    const std::string file = dir / "cut.dvc";
    writeFile(file, b.bytes());
    const ProcessResult r = scan({"--json", file});
    EXPECT_EQ(r.status, 3);
    const Json doc = Json::parse(r.out);
    EXPECT_TRUE(doc.at("project").at("damaged").get<bool>());
    EXPECT_EQ(doc.at("project").at("damage").at("section").get<std::string>(), "InsertAV");
    EXPECT_NE(r.err.find("warning: The project file is damaged"), std::string::npos) << r.err;
}

TEST_F(ScannerWithPaths, WrongOptionsExitTwoWithAMessage)
{
    const std::string file = project({kClip});
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--map", "D:/media", file}, "--map 'D:/media': expected DRIVE:=FOLDER"},
        {{"--map", "D:\\Vid*=/media", file}, "is neither a drive"},
        {{"--map", "D:=", file}, "no folder given for D:"},
        {{file, "--map"}, "--map needs a value"},
        {{file, "--ma"}, "unknown option '--ma'"}, // options are never abbreviated
        {{"--hel", file}, "unknown option '--hel'"},
        {{"--help=1", file}, "unknown option '--help=1'"},
        {{"--codepage", "NO-SUCH-PAGE", file}, "--codepage NO-SUCH-PAGE: not a code page"},
        {{"--codepage", "UTF-16", file}, "--codepage UTF-16: not a code page"},
        {{"--search", dir / "none", file}, "not a folder"},
        {{"--trace", "--json", file}, "--trace replaces the report"},
        {{"--trace", "--utf8", file}, "--trace replaces the report"},
        {{"--json", "--utf8", file}, "--utf8 is not needed"},
        {{"--json", "--explain", file}, "cannot be combined with --json"},
        {{"--search", dir.path().string(), "--candidates", "0", file}, "--candidates 0: not a whole number from 1"},
        {{"--search", dir.path().string(), "--candidates", "5x", file}, "--candidates 5x: not a whole number"},
        {{"--search", dir.path().string(), "--candidates", "-1", file}, "--candidates -1: not a whole number"},
        {{"--candidates", "3", file}, "--candidates needs --search"},
        {{"--one-file-system", file}, "--one-file-system limits --search"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = scan(c.args);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_EQ(r.out, "") << c.says;
        EXPECT_TRUE(r.err.starts_with("korvane-scan: ")) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST(ScannerHelp, DocumentsEveryOption)
{
    const ProcessResult help = runProcess({KORVANE_SCAN_BINARY, "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--trace", "--map ROOT=FOLDER", "--codepage NAME", "--utf8", "--explain",
                               "--search DIR", "--candidates N", "--one-file-system", "--json", "--help",
                               "--version", "korvane.conf", "WINEPREFIX"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

} // namespace
} // namespace korvane
