// Drive and share mappings: the --map argument, Wine prefixes, WSL's drives
// and the order of precedence of the sources.

#include "paths/drive_map.h"
#include "paths/path_resolver.h"
#include "tests/paths/scoped_env.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::ScopedEnv;
using testkit::TempDir;

TEST(CanonicalRoot, DrivesSharesAndFoldersOnThemInEveryCommonSpelling)
{
    const struct {
        const char* text;
        const char* canonical; // nullptr: not a root
    } cases[] = {
        {"D:", "D:"},
        {"d:", "D:"},
        {"d", "D:"},
        {"D:\\", "D:"},
        {"d:/", "D:"},
        {"\\\\nas\\media", "\\\\nas\\media"},
        {"\\\\NAS\\Media\\", "\\\\NAS\\Media"},
        {"//nas/media", "\\\\nas\\media"},
        {"", nullptr},
        {"DD:", nullptr},
        {"1:", nullptr},
        {"D:\\\\", nullptr},
        {"\\\\nas", nullptr},
        {"\\\\nas\\", nullptr},
        {"\\\\\\media", nullptr},
        {"\\nas\\media", nullptr},
        // Folders on a drive or share: backslashes, names as written.
        {"D:\\Video", "D:\\Video"},
        {"d:/Video/Day1/", "D:\\Video\\Day1"},
        {"d:\\Video/Day1\\", "D:\\Video\\Day1"},
        {"\\\\nas\\media\\2019", "\\\\nas\\media\\2019"},
        {"//nas/media/2019/", "\\\\nas\\media\\2019"},
        {"D:\\\u8868\u793a", "D:\\\u8868\u793a"},
        {"D:\\a=b c", "D:\\a=b c"},
        {"d\\Video", nullptr},
        {"D:Video", nullptr},
        {"D:\\Video\\\\Day1", nullptr},
        {"D:\\.\\Video", nullptr},
        {"D:\\Video\\..", nullptr},
        {"D:\\Vid*", nullptr},
        {"D:\\Video\\Day?", nullptr},
        {"\\\\nas\\media\\\\2019", nullptr},
    };
    for (const auto& c : cases) {
        const std::optional<std::string> root = canonicalRoot(c.text);
        if (c.canonical)
            EXPECT_EQ(root.value_or("<none>"), c.canonical) << c.text;
        else
            EXPECT_FALSE(root) << c.text << " gave " << *root;
    }
}

TEST(ParseMapArgument, RootUpToTheFirstEqualsSignFolderAfterIt)
{
    const ScopedEnv home("HOME", "/home/editor");
    const struct {
        const char* argument;
        const char* root;
        std::string folder;
    } cases[] = {
        {"D:=/media/video", "D:", "/media/video"},
        {"d=/media/video/", "D:", "/media/video"},
        {"D:\\=/", "D:", "/"},
        {"\\\\nas\\media=/mnt/nas", "\\\\nas\\media", "/mnt/nas"},
        {"//nas/media=/mnt/nas", "\\\\nas\\media", "/mnt/nas"},
        {"D:=/media/a=b", "D:", "/media/a=b"},
        {"d:/Video/=/mnt/v", "D:\\Video", "/mnt/v"},
        {"D:\\a=b=/mnt/a=b", "D:\\a=b", "/mnt/a=b"},
        {"D:\\a=b=~/v", "D:\\a=b", "/home/editor/v"},
        {"\\\\nas\\media\\2019=/mnt/n", "\\\\nas\\media\\2019", "/mnt/n"},
        {"D:=~/Videos", "D:", "/home/editor/Videos"},
        {"D:=~", "D:", "/home/editor"},
        {"D:=relative/videos", "D:", (fs::current_path() / "relative/videos").string()},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<DriveMapping> mapping = parseMapArgument(c.argument, &error);
        ASSERT_TRUE(mapping) << c.argument << ": " << error;
        EXPECT_EQ(mapping->root, c.root) << c.argument;
        EXPECT_EQ(mapping->folder, c.folder) << c.argument;
        EXPECT_EQ(mapping->source, MappingSource::Explicit);
    }
}

TEST(ParseMapArgument, RejectsWhatIsNotARootOrHasNoFolder)
{
    const struct {
        const char* argument;
        const char* errorMentions;
    } cases[] = {
        {"/media/video", "expected"},
        {"D:", "expected"},
        {"D:=", "no folder"},
        {"DX:=/media", "neither a drive"},
        {"D:\\Video\\..=/media", "neither a drive"},
        {"\\\\nas=/mnt/nas", "neither a drive"},
        {"=/media", "neither a drive"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseMapArgument(c.argument, &error)) << c.argument;
        EXPECT_NE(error.find(c.errorMentions), std::string::npos) << c.argument << ": " << error;
    }
}

TEST(WineMappings, DriveLinksAndSharesOfTheDosdevicesFolder)
{
    TempDir dir;
    const fs::path prefix = dir.path() / "prefix";
    const fs::path devices = prefix / "dosdevices";
    fs::create_directories(devices / "unc" / "nas");
    fs::create_directories(prefix / "drive_c");
    fs::create_directories(dir.path() / "video");
    fs::create_directories(dir.path() / "nas-media");
    fs::create_directory_symlink("../drive_c", devices / "c:");
    fs::create_directory_symlink(dir.path() / "video", devices / "D:");
    fs::create_directory_symlink("/nonexistent/cdrom", devices / "e:");
    fs::create_symlink("/dev/null", devices / "c::"); // the raw device of a drive
    fs::create_symlink("/dev/null", devices / "com1");
    fs::create_directory_symlink(dir.path() / "nas-media", devices / "unc" / "nas" / "media");

    const std::vector<DriveMapping> mappings = wineMappings(prefix);
    ASSERT_EQ(mappings.size(), 4u);
    EXPECT_EQ(mappings[0].root, "C:");
    EXPECT_EQ(mappings[0].folder, fs::canonical(prefix / "drive_c").string());
    EXPECT_EQ(mappings[1].root, "D:");
    EXPECT_EQ(mappings[1].folder, fs::canonical(dir.path() / "video").string());
    EXPECT_EQ(mappings[2].root, "E:") << "a drive whose target is gone is still mapped";
    EXPECT_EQ(mappings[2].folder, "/nonexistent/cdrom");
    EXPECT_EQ(mappings[3].root, "\\\\nas\\media");
    EXPECT_EQ(mappings[3].folder, fs::canonical(dir.path() / "nas-media").string());
    for (const DriveMapping& m : mappings)
        EXPECT_EQ(m.source, MappingSource::Wine);

    EXPECT_TRUE(wineMappings(dir.path() / "no-prefix").empty());
    EXPECT_TRUE(wineMappings({}).empty());
}

TEST(WslMappings, OneSmallLetterFolderADrive)
{
    TempDir dir;
    fs::create_directories(dir.path() / "c");
    fs::create_directories(dir.path() / "d");
    fs::create_directories(dir.path() / "wsl");
    fs::create_directories(dir.path() / "E");
    dir.touch("f"); // a file, not a drive

    const std::vector<DriveMapping> mappings = wslMappings(dir.path());
    ASSERT_EQ(mappings.size(), 2u);
    EXPECT_EQ(mappings[0].root, "C:");
    EXPECT_EQ(mappings[0].folder, (dir.path() / "c").string());
    EXPECT_EQ(mappings[1].root, "D:");
    EXPECT_EQ(mappings[1].source, MappingSource::Wsl);
    EXPECT_TRUE(wslMappings({}).empty());
}

TEST(MappingPrecedence, ExplicitOverFileOverWineOverWsl)
{
    TempDir dir;
    const fs::path config = dir.path() / "korvane.conf";
    const std::string configText = "map D: = /from/file/d\n"
                                   "map E: = /from/file/e\n"
                                   "map \\\\nas\\media = /from/file/nas\n"
                                   "codepage = WINDOWS-1252\n";
    dir.touch("korvane.conf", configText);
    const fs::path devices = dir.path() / "wine" / "dosdevices";
    fs::create_directories(devices);
    for (const char* drive : {"d:", "e:", "f:"}) {
        fs::create_directories(dir.path() / "wine-target" / drive);
        fs::create_directory_symlink(dir.path() / "wine-target" / drive, devices / drive);
    }
    for (const char* letter : {"d", "e", "f", "g"})
        fs::create_directories(dir.path() / "mnt" / letter);

    MappingSources sources;
    sources.explicitMappings = {*parseMapArgument("d:=/explicit/d"), *parseMapArgument("\\\\NAS\\Media=/explicit/nas")};
    sources.configFile = config;
    sources.winePrefix = dir.path() / "wine";
    sources.wslRoot = dir.path() / "mnt";
    const ResolverSettings settings = loadResolverSettings(sources);

    const struct {
        const char* root;
        std::string folder;
        MappingSource source;
    } expected[] = {
        {"D:", "/explicit/d", MappingSource::Explicit},
        {"\\\\nas\\media", "/explicit/nas", MappingSource::Explicit}, // share names ignore case
        {"E:", "/from/file/e", MappingSource::ConfigFile},
        {"F:", fs::canonical(dir.path() / "wine-target" / "f:").string(), MappingSource::Wine},
        {"g:", (dir.path() / "mnt" / "g").string(), MappingSource::Wsl},
    };
    for (const auto& e : expected) {
        const DriveMapping* mapping = settings.drives.find(e.root);
        ASSERT_TRUE(mapping) << e.root;
        EXPECT_EQ(mapping->folder, e.folder) << e.root;
        EXPECT_EQ(mapping->source, e.source) << e.root;
    }
    EXPECT_EQ(settings.drives.all().size(), 12u) << "the later sources of a root are kept, to be tried after it";
    std::vector<std::string> forD;
    for (const DriveMap::Match& match : settings.drives.covering("D:", {"a.avi"}))
        forD.push_back(match.mapping->folder);
    EXPECT_EQ(forD, (std::vector<std::string>{"/explicit/d", "/from/file/d",
                                              fs::canonical(dir.path() / "wine-target" / "d:").string(),
                                              (dir.path() / "mnt" / "d").string()}));
    EXPECT_FALSE(settings.drives.find("H:"));
    EXPECT_EQ(settings.codePage, "WINDOWS-1252");
    EXPECT_TRUE(settings.warnings.empty());
}

TEST(DriveMapMatch, TheLongestRootThatIsAPrefixAtWholeNamesWins)
{
    DriveMap drives;
    drives.add({*parseMapArgument("D:=/d"), *parseMapArgument("D:\\Video=/v"),
                *parseMapArgument("D:\\Video\\Day1=/day1"), *parseMapArgument("\\\\nas\\media\\2019=/n2019"),
                *parseMapArgument("E:\\Archive=/e")});
    const struct {
        const char* root;
        std::vector<std::string> names;
        const char* mappedRoot; // nullptr: no mapping covers the path
        std::size_t folders;
    } cases[] = {
        {"D:", {"Video", "Day1", "clip.avi"}, "D:\\Video\\Day1", 2},
        {"D:", {"Video", "Day2", "clip.avi"}, "D:\\Video", 1},
        {"D:", {"VIDEO", "day1", "clip.avi"}, "D:\\Video\\Day1", 2},
        {"D:", {"VideoOld", "x.avi"}, "D:", 0},
        {"D:", {"Vide", "x.avi"}, "D:", 0},
        {"D:", {"Video"}, "D:\\Video", 1},
        {"d:", {"clip.avi"}, "D:", 0},
        {"\\\\NAS\\Media", {"2019", "intro.avi"}, "\\\\nas\\media\\2019", 1},
        {"\\\\nas\\media", {"2020", "intro.avi"}, nullptr, 0},
        {"\\\\nas\\media2019", {"intro.avi"}, nullptr, 0},
        {"E:", {"Archive2", "x.avi"}, nullptr, 0},
        {"E:", {"x.avi"}, nullptr, 0},
        {"F:", {"Video", "x.avi"}, nullptr, 0},
    };
    for (const auto& c : cases) {
        const DriveMap::Match match = drives.match(c.root, c.names);
        if (!c.mappedRoot) {
            EXPECT_FALSE(match.mapping) << c.root << " " << c.names[0] << " took " << match.mapping->root;
            continue;
        }
        ASSERT_TRUE(match.mapping) << c.root << " " << c.names[0];
        EXPECT_EQ(match.mapping->root, c.mappedRoot) << c.root << " " << c.names[0];
        EXPECT_EQ(match.folders, c.folders) << c.root << " " << c.names[0];
    }
    ASSERT_EQ(drives.foldersOn("d:").size(), 2u);
    EXPECT_EQ(drives.foldersOn("D:")[1]->root, "D:\\Video\\Day1");
    EXPECT_TRUE(drives.foldersOn("G:").empty());
}

TEST(DriveMapMatch, FolderNamesAreComparedWithoutRegardToCaseBeyondAscii)
{
    DriveMap drives;
    drives.add(*parseMapArgument("D:\\\u00c9t\u00e9\\\u0424\u0438\u043b\u044c\u043c=/films")); // D:\Été\Фильм
    const DriveMap::Match match = drives.match("D:", {"\u00e9T\u00c9", "\u0444\u0418\u041b\u042c\u041c", "a.avi"});
    ASSERT_TRUE(match.mapping);
    EXPECT_EQ(match.folders, 2u);
    EXPECT_FALSE(drives.match("D:", {"Ete", "\u0424\u0438\u043b\u044c\u043c", "a.avi"}).mapping);
}

TEST(MappingPrecedence, LongerRootsComeFirstAndSourcesOrderEqualRoots)
{
    TempDir dir;
    dir.touch("korvane.conf", "map D:\\Video = /file/video\n"
                              "map d:\\VIDEO\\day1 = /file/day1\n"
                              "map D: = /explicit/d\n");
    fs::create_directories(dir.path() / "mnt" / "d");
    MappingSources sources;
    sources.explicitMappings = {*parseMapArgument("D:=/explicit/d"), *parseMapArgument("D:\\video\\Day1=/explicit/day1")};
    sources.configFile = dir.path() / "korvane.conf";
    sources.wslRoot = dir.path() / "mnt";
    const ResolverSettings settings = loadResolverSettings(sources);
    ASSERT_EQ(settings.drives.all().size(), 5u) << "the file's D: maps to the folder --map gave it";

    const auto tried = [&](std::vector<std::string> names) {
        std::vector<std::string> folders;
        for (const DriveMap::Match& match : settings.drives.covering("d:", names))
            folders.push_back(match.mapping->folder + " " + std::to_string(match.folders));
        const DriveMap::Match first = settings.drives.match("d:", names);
        EXPECT_EQ(first.mapping ? first.mapping->folder + " " + std::to_string(first.folders) : "",
                  folders.empty() ? "" : folders.front());
        return folders;
    };
    const std::string wsl = (dir.path() / "mnt" / "d").string();
    EXPECT_EQ(tried({"Video", "Day1", "a.avi"}),
              (std::vector<std::string>{"/explicit/day1 2", "/file/day1 2", "/file/video 1", "/explicit/d 0",
                                        wsl + " 0"}));
    EXPECT_EQ(tried({"video", "a.avi"}), (std::vector<std::string>{"/file/video 1", "/explicit/d 0", wsl + " 0"}));
    EXPECT_EQ(tried({"Other", "a.avi"}), (std::vector<std::string>{"/explicit/d 0", wsl + " 0"}));
    EXPECT_TRUE(settings.drives.covering("E:", {"Video", "a.avi"}).empty());
}

TEST(MappingPrecedence, MissingSourcesAddNothingAndBrokenConfigLinesAreReported)
{
    TempDir dir;
    dir.touch("korvane.conf", "map Q = relative/folder\ncolour = blue\n");
    MappingSources sources;
    sources.configFile = dir.path() / "korvane.conf";
    sources.winePrefix = dir.path() / "no-wine";
    sources.wslRoot = dir.path() / "no-mnt";
    const ResolverSettings settings = loadResolverSettings(sources);
    EXPECT_TRUE(settings.drives.all().empty());
    EXPECT_EQ(settings.codePage, "auto");
    ASSERT_EQ(settings.warnings.size(), 2u);
    EXPECT_NE(settings.warnings[0].find("korvane.conf, line 1"), std::string::npos) << settings.warnings[0];
    EXPECT_NE(settings.warnings[1].find("line 2: unknown setting 'colour'"), std::string::npos) << settings.warnings[1];
}

TEST(MappingSourcesFromEnvironment, WinePrefixAndConfigFolderFollowTheEnvironment)
{
    {
        const ScopedEnv home("HOME", "/home/editor");
        const ScopedEnv prefix("WINEPREFIX", "/opt/wine-rexedit");
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/etc/xdg-editor");
        const MappingSources sources = MappingSources::fromEnvironment();
        EXPECT_EQ(sources.winePrefix, "/opt/wine-rexedit");
        EXPECT_EQ(sources.configFile, "/etc/xdg-editor/korvane/korvane.conf");
        EXPECT_TRUE(sources.explicitMappings.empty());
    }
    {
        const ScopedEnv home("HOME", "/home/editor");
        const ScopedEnv prefix("WINEPREFIX", nullptr);
        const ScopedEnv xdg("XDG_CONFIG_HOME", "relative/config"); // not absolute: ignored
        const MappingSources sources = MappingSources::fromEnvironment();
        EXPECT_EQ(sources.winePrefix, "/home/editor/.wine");
        EXPECT_EQ(sources.configFile, "/home/editor/.config/korvane/korvane.conf");
    }
    {
        const ScopedEnv distro("WSL_DISTRO_NAME", "Debian");
        EXPECT_EQ(MappingSources::fromEnvironment().wslRoot, "/mnt");
    }
}

} // namespace
} // namespace korvane
