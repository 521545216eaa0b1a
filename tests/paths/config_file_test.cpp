// The settings file: reading, and rewriting it without losing what the
// user wrote.

#include "paths/config_file.h"
#include "tests/paths/scoped_env.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <utility>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testkit::ScopedEnv;
using testkit::TempDir;

std::string readAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string kUserFile = "# mappings for the studio PC\n"
                              "\n"
                              "map D: = /media/video\n"
                              "  map   \\\\nas\\media=/mnt/nas   \n"
                              "# the old archive disk\n"
                              "map e:\\ = /media/archive\n"
                              "theme = dark\n"
                              "codepage = CP932\n";

TEST(ConfigFile, ReadsMappingsAndCodePageAmongCommentsAndBlanks)
{
    const ConfigFile config = ConfigFile::parse(kUserFile);
    const std::vector<DriveMapping> mappings = config.mappings();
    ASSERT_EQ(mappings.size(), 3u);
    EXPECT_EQ(mappings[0].root, "D:");
    EXPECT_EQ(mappings[0].folder, "/media/video");
    EXPECT_EQ(mappings[1].root, "\\\\nas\\media");
    EXPECT_EQ(mappings[1].folder, "/mnt/nas");
    EXPECT_EQ(mappings[2].root, "E:");
    EXPECT_EQ(mappings[2].folder, "/media/archive");
    for (const DriveMapping& m : mappings)
        EXPECT_EQ(m.source, MappingSource::ConfigFile);
    EXPECT_EQ(config.codePage().value_or("<none>"), "CP932");
    ASSERT_EQ(config.warnings().size(), 1u);
    EXPECT_EQ(config.warnings()[0], "line 7: unknown setting 'theme'");
}

TEST(ConfigFile, LaterLinesWinAndBrokenLinesAreReportedByNumber)
{
    const ConfigFile config = ConfigFile::parse("map D: = /first\r\n"
                                                "map d: = /second\r\n"
                                                "map D: = relative\n"
                                                "map Video = /media\n"
                                                "map D:\n"
                                                "codepage =\n"
                                                "# map X: = /commented/out\n"
                                                "folder = /media/#1\n"
                                                "codepage = auto\n"
                                                "mapD: = /media\n"
                                                "map E: = /media/#1");
    const std::vector<DriveMapping> mappings = config.mappings();
    ASSERT_EQ(mappings.size(), 2u);
    EXPECT_EQ(mappings[0].root, "D:");
    EXPECT_EQ(mappings[0].folder, "/second");
    EXPECT_EQ(mappings[1].folder, "/media/#1") << "a # inside a value is part of it";
    EXPECT_EQ(config.codePage().value_or("<none>"), "auto");
    const std::vector<std::string> expected = {
        "line 3: the folder of D: must be absolute",
        "line 4: 'Video' is neither a drive (D:) nor a share (\\\\server\\share), nor a folder on one (D:\\Video)",
        "line 5: map D: needs '=' and the folder to map it to",
        "line 6: no code page given",
        "line 8: unknown setting 'folder'",
        "line 10: unknown setting 'mapD:'",
    };
    EXPECT_EQ(config.warnings(), expected);
}

TEST(ConfigFile, EachWarningNamesItsLineAndWhatIsWrongInWords)
{
    const struct {
        std::string line;
        std::string warning;
    } cases[] = {
        {"map = /tmp", "map needs a drive or share before '='"},
        {"MAP\t=\t/tmp", "map needs a drive or share before '='"},
        {"map", "map needs a drive or share, '=' and a folder"},
        {"map D:", "map D: needs '=' and the folder to map it to"},
        {"map D: =", "map D: needs a folder after '='"},
        {"map d:\\Video =   ", "map D:\\Video needs a folder after '='"},
        {"codepage", "codepage needs '=' and the name of a code page"},
        {"remember", "remember needs '=' and yes or no"},
        {"remember = 1", "remember takes yes or no, not '1'"},
        {"remember = yes\x1B[2J", "remember takes yes or no, not 'yes\\x1B[2J'"},
        {"= /tmp", "a setting needs a name before '='"},
        {"D: /tmp", "'D: /tmp' is no setting: expected 'key = value'"},
        // Bytes of the file are shown, never sent: control characters
        // escaped, broken UTF-8 replaced, long text cut.
        {"\x1B[2Jtheme = dark", "unknown setting '\\x1B[2Jtheme'"},
        {"th\xE9me = dark", "unknown setting 'th\xEF\xBF\xBDme'"},
        {"map \x07: = /tmp", "'\\x07:' is neither a drive (D:) nor a share (\\\\server\\share), nor a folder on one "
                             "(D:\\Video)"},
        {std::string(100, 'x'), "'" + std::string(60, 'x') + "...' is no setting: expected 'key = value'"},
        // A mapping that holds a control character is none: its folder
        // would reach every warning and the file system as it is.
        {"map F: = /tmp/\x1B[2J", "'/tmp/\\x1B[2J' holds a control character, which no mapping may hold"},
        {std::string("map F:\\a\0b = /tmp", 17), "'F:\\a\\x00b' holds a NUL byte, which no mapping may hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        // Behind a comment, a blank line and a good line, so the number counts.
        const ConfigFile config = ConfigFile::parse("# mine\n\nmap E: = /e\n" + c.line + "\n");
        EXPECT_EQ(config.warnings(), std::vector<std::string>{"line 4: " + c.warning});
        EXPECT_EQ(config.mappings().size(), 1u);
    }

    // A file of nothing but bad lines costs a bounded number of warnings,
    // the last of which still names the lines.
    std::string many;
    for (int k = 0; k < 1000; ++k)
        many += "colour = blue\n";
    const std::vector<std::string> warnings = ConfigFile::parse("map D: = /d\n" + many).warnings();
    ASSERT_EQ(warnings.size(), 21u);
    EXPECT_EQ(warnings[19], "line 21: unknown setting 'colour'");
    EXPECT_EQ(warnings[20], "lines 22 to 1001: 980 more lines not understood");
    EXPECT_EQ(ConfigFile::parse("x\ncodepage = CP932\n").codePageLine(), 2u);
}

TEST(ConfigFile, AMappingThatWouldNotReadBackAsItselfIsRefusedAndTheFileLeftAsItWas)
{
    const ScopedEnv home("HOME", "/home/a\nmap E: = /tmp/pwn");
    const struct {
        std::string root;
        std::string folder;
        std::string why; // part of the reason given
    } cases[] = {
        // A folder found on the disk, named to read as a line of its own.
        {"D:", "/media/x\nmap E: = /tmp/pwn", "'/media/x\\x0Amap E: = /tmp/pwn' holds a line break"},
        {"D:", "/media/x\rmap E: = /tmp/pwn", "holds a line break"},
        {"D:", std::string("/media/a\0b", 10), "'/media/a\\x00b' holds a NUL byte"},
        {"D:", "/media/\x1B]52;c;cm0gLXJmIH4=\x07", "holds a control character"},
        {"D:", "/media/\x7F", "holds a control character"},
        {"D:", "/media/\xC2\x9B" "2J", "holds a control character"}, // U+009B, a terminal's CSI
        {"D:\\Video\nmap E:", "/media", "holds a line break"},
        {"D:", "~/videos", "holds a line break"}, // through $HOME
        // No control character, but read back as another mapping.
        {"D:", "/media/ends in a blank ", "would read back as another mapping"},
        {"D:\\ends in a blank ", "/media", "would read back as another mapping"},
        // Not a mapping at all.
        {"D:\\..", "/media", "is neither a drive"},
        {"D:", "media", "is not absolute"},
        {"D:", "", "no folder given for D:"},
    };
    TempDir dir;
    const std::string file = dir.touch("korvane.conf", kUserFile);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root + " = " + c.folder);
        std::string error;
        ConfigFile config = ConfigFile::load(file, &error);
        ASSERT_EQ(error, "");
        std::string why;
        EXPECT_FALSE(config.setMapping(c.root, c.folder, &why));
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(unwritableMapping(c.root, c.folder), why);
        ASSERT_TRUE(config.save(file, &error)) << error;
        EXPECT_EQ(readAll(file), kUserFile);
    }
    ConfigFile config;
    EXPECT_FALSE(config.setCodePage("CP932\nmap E: = /tmp/pwn"));
    EXPECT_EQ(config.text(), "");
    EXPECT_EQ(unwritableMapping("D:\\Video", "/media/video"), "");
}

TEST(ConfigFile, AnUnchangedFileIsWrittenBackAsItWasRead)
{
    EXPECT_EQ(ConfigFile::parse(kUserFile).text(), kUserFile);
    EXPECT_EQ(ConfigFile::parse("").text(), "");
    EXPECT_EQ(ConfigFile::parse("map D: = /a").text(), "map D: = /a\n") << "the last line gets its line end";
}

TEST(ConfigFile, SettingAMappingRewritesItsLineInPlaceAndKeepsEverythingElse)
{
    ConfigFile config = ConfigFile::parse(kUserFile);
    ASSERT_TRUE(config.setMapping("\\\\NAS\\Media", "/mnt/nas2/"));
    ASSERT_TRUE(config.setMapping("F:", "/media/card"));
    ASSERT_TRUE(config.removeMapping("e:"));
    EXPECT_FALSE(config.removeMapping("G:"));
    config.setCodePage("WINDOWS-1252");
    EXPECT_EQ(config.text(), "# mappings for the studio PC\n"
                             "\n"
                             "map D: = /media/video\n"
                             "map \\\\NAS\\Media = /mnt/nas2\n"
                             "# the old archive disk\n"
                             "map F: = /media/card\n"
                             "theme = dark\n"
                             "codepage = WINDOWS-1252\n");
}

TEST(ConfigFile, RememberIsTheLastLinesAndSettingItRewritesThatLineOnly)
{
    EXPECT_FALSE(ConfigFile::parse("").remember());
    EXPECT_TRUE(ConfigFile::parse("remember = no\nREMEMBER = Yes\n").remember());
    EXPECT_TRUE(ConfigFile::parse("remember = yes\nremember = maybe\n").remember()) << "a bad line is no setting";

    ConfigFile config = ConfigFile::parse("remember = yes\n# note\nmap D: = /a\nremember = yes\n");
    config.setRemember(false);
    EXPECT_EQ(config.text(), "remember = no\n# note\nmap D: = /a\n");
    EXPECT_FALSE(ConfigFile::parse(config.text()).remember());
    config.setRemember(true);
    EXPECT_TRUE(ConfigFile::parse(config.text()).remember());
}

TEST(ConfigFile, SettingARootThatAppearsTwiceLeavesOneLine)
{
    ConfigFile config = ConfigFile::parse("map D: = /a\n# note\nmap D: = /b\n");
    ASSERT_TRUE(config.setMapping("d:", "/c"));
    EXPECT_EQ(config.text(), "map D: = /c\n# note\n");
}

TEST(ConfigFile, InvalidMappingsChangeNothing)
{
    ConfigFile config = ConfigFile::parse(kUserFile);
    EXPECT_FALSE(config.setMapping("D:\\Video\\..", "/media"));
    EXPECT_FALSE(config.setMapping("D:\\Vid*", "/media"));
    EXPECT_FALSE(config.setMapping("D:", "relative"));
    EXPECT_FALSE(config.setMapping("D:", ""));
    EXPECT_FALSE(config.removeMapping("not a root"));
    EXPECT_EQ(config.text(), kUserFile);
}

TEST(ConfigFile, FoldersOnADriveOrShareAreRootsOfTheirOwn)
{
    ConfigFile config = ConfigFile::parse("map D: = /media/video\n"
                                          "map d:/Video/Day1/ = /mnt/day1\n"
                                          "map \\\\nas\\media\\2019 = /mnt/nas2019\n"
                                          "map D:\\a=b = /mnt/a=b\n"
                                          "map D:\\video\\DAY1 = /mnt/day1b\n"
                                          "map D:\\..\\x = /mnt/x\n");
    const std::vector<DriveMapping> mappings = config.mappings();
    ASSERT_EQ(mappings.size(), 4u);
    EXPECT_EQ(mappings[1].root, "D:\\video\\DAY1") << "folder names ignore case: the later line wins";
    EXPECT_EQ(mappings[1].folder, "/mnt/day1b");
    EXPECT_EQ(mappings[2].root, "\\\\nas\\media\\2019");
    EXPECT_EQ(mappings[3].root, "D:\\a=b") << "a folder name may hold a =";
    EXPECT_EQ(mappings[3].folder, "/mnt/a=b");
    ASSERT_EQ(config.warnings().size(), 1u);
    EXPECT_NE(config.warnings()[0].find("line 6: 'D:\\..\\x' is neither"), std::string::npos) << config.warnings()[0];

    // Written the way the search suggests it, read back as the same mapping.
    ConfigFile written;
    ASSERT_TRUE(written.setMapping("d:/Video/Day1", "/mnt/day1"));
    ASSERT_TRUE(written.setMapping("D:\\a=b", "/mnt/a=b"));
    EXPECT_EQ(written.text(), "map D:\\Video\\Day1 = /mnt/day1\nmap D:\\a=b = /mnt/a=b\n");
    const std::vector<DriveMapping> reread = ConfigFile::parse(written.text()).mappings();
    ASSERT_EQ(reread.size(), 2u);
    EXPECT_EQ(reread[0].root, "D:\\Video\\Day1");
    EXPECT_EQ(reread[1].root, "D:\\a=b");
    EXPECT_EQ(reread[1].folder, "/mnt/a=b");
    EXPECT_TRUE(written.removeMapping("D:\\VIDEO\\day1"));
    EXPECT_EQ(written.text(), "map D:\\a=b = /mnt/a=b\n");
}

TEST(ConfigFile, ANewFileGetsItsLinesInOrder)
{
    ConfigFile config;
    config.setCodePage("auto");
    ASSERT_TRUE(config.setMapping("D:", "/media/video"));
    ASSERT_TRUE(config.setMapping("//nas/media", "/mnt/nas"));
    EXPECT_EQ(config.text(), "codepage = auto\nmap D: = /media/video\nmap \\\\nas\\media = /mnt/nas\n");
    config.setCodePage("");
    EXPECT_EQ(config.text(), "map D: = /media/video\nmap \\\\nas\\media = /mnt/nas\n");
    EXPECT_FALSE(config.codePage());
}

TEST(ConfigFile, SaveAndLoadRoundTripThroughTheFileSystem)
{
    TempDir dir;
    const fs::path file = dir.path() / "config" / "korvane" / "korvane.conf"; // folders not there yet
    ConfigFile config = ConfigFile::parse(kUserFile);
    ASSERT_TRUE(config.setMapping("G:", "/media/new"));
    std::string error;
    ASSERT_TRUE(config.save(file, &error)) << error;

    EXPECT_EQ(readAll(file), config.text());
    const ConfigFile loaded = ConfigFile::load(file, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(loaded.text(), config.text());
    ASSERT_EQ(loaded.mappings().size(), 4u);
    EXPECT_EQ(loaded.mappings()[3].root, "G:");
    EXPECT_EQ(loaded.mappings()[3].folder, "/media/new");
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1)
        << "no temporary file left behind";
}

TEST(ConfigFile, SavingKeepsALinkToTheFileAndTheFilesPermissions)
{
    TempDir dir;
    const std::string real = dir.touch("dotfiles/korvane.conf", "map D: = /old\n");
    ::chmod(real.c_str(), 0600);
    fs::create_directories(dir.path() / "config");
    const fs::path link = dir.path() / "config" / "korvane.conf";
    fs::create_symlink(real, link);

    ConfigFile config = ConfigFile::load(link);
    ASSERT_TRUE(config.setMapping("D:", "/new"));
    std::string error;
    ASSERT_TRUE(config.save(link, &error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readAll(real), "map D: = /new\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ConfigFile, AMissingFileReadsAsEmptyWithoutError)
{
    TempDir dir;
    std::string error;
    const ConfigFile config = ConfigFile::load(dir.path() / "none.conf", &error);
    EXPECT_EQ(error, "");
    EXPECT_TRUE(config.mappings().empty());
    EXPECT_FALSE(config.codePage());
}

TEST(ConfigFile, SavingWhereNoFolderCanBeMadeFails)
{
    TempDir dir;
    dir.touch("blocker");
    std::string error;
    EXPECT_FALSE(ConfigFile::parse("map D: = /a\n").save(dir.path() / "blocker" / "korvane.conf", &error));
    EXPECT_NE(error, "");
}

TEST(ConfigFile, FoldersMayStartAtTheHomeFolder)
{
    const ScopedEnv home("HOME", "/home/editor");
    const ConfigFile config = ConfigFile::parse("map D: = ~/Videos\n");
    ASSERT_EQ(config.mappings().size(), 1u);
    EXPECT_EQ(config.mappings()[0].folder, "/home/editor/Videos");
    EXPECT_EQ(config.text(), "map D: = ~/Videos\n") << "the line itself stays as written";
}

// The most this process has held at once, in bytes.
std::size_t peakMemory()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// `lines` mapping lines of `lineBytes` bytes each, written a piece at a
// time, so that the test itself never holds the file.
void writeMappingLines(const std::string& file, std::size_t lines, std::size_t lineBytes)
{
    std::ofstream out(file, std::ios::binary);
    std::string line = "map D: = /" + std::string(lineBytes - 11, 'v') + "\n";
    std::string piece;
    for (std::size_t k = 0; k < 4096; ++k)
        piece += line;
    for (std::size_t k = 0; k < lines / 4096; ++k)
        out << piece;
    for (std::size_t k = 0; k < lines % 4096; ++k)
        out << line;
}

TEST(ConfigFile, OnlyARegularFileOfAtMostOneMebibyteIsRead)
{
    TempDir dir;
    const std::string kNotRegular = ", not a regular file";
    const std::string kTooLarge =
        ": it is larger than 1 MiB, the most a configuration file may hold; none of its settings are used";
    const struct {
        const char* name;
        std::function<void(const std::string&)> make;
        std::string error; // the end of the message after the file's name; empty for none
        std::size_t mappings;
    } cases[] = {
        {"a FIFO no one writes to", [](const std::string& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
         ": it is a FIFO" + kNotRegular, 0},
        {"a link to /dev/zero", [](const std::string& f) { fs::create_symlink("/dev/zero", f); },
         ": it is a character device" + kNotRegular, 0},
        {"a folder", [](const std::string& f) { fs::create_directory(f); }, ": it is a folder" + kNotRegular, 0},
        {"72 MB of mappings", [](const std::string& f) { writeMappingLines(f, 72 * 1024 * 1024 / 64, 64); },
         kTooLarge, 0},
        {"exactly 1 MiB", [](const std::string& f) { writeMappingLines(f, 1024 * 1024 / 64, 64); }, "", 1},
        {"1 MiB and one byte",
         [](const std::string& f) {
             writeMappingLines(f, 1024 * 1024 / 64, 64);
             std::ofstream(f, std::ios::app) << "#";
         },
         kTooLarge, 0},
        // A regular file whose size says 0, that reads without end: the cap
        // holds while reading, not only when the size is known.
        {"a link to /proc/self/pagemap", [](const std::string& f) { fs::create_symlink("/proc/self/pagemap", f); },
         kTooLarge, 0},
    };
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / ("korvane" + std::to_string(++number) + ".conf");
        c.make(file);
        if (::access(file.c_str(), R_OK) != 0)
            continue; // this system has no such file to link to
        const std::size_t peakBefore = peakMemory();
        std::future<std::pair<ConfigFile, std::string>> loading = std::async(std::launch::async, [&] {
            std::string error;
            ConfigFile config = ConfigFile::load(file, &error);
            return std::pair(std::move(config), error);
        });
        if (loading.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            // Let a load that waits on the FIFO go, so that the test ends.
            ::close(::open(file.c_str(), O_RDWR | O_NONBLOCK));
            FAIL() << "the load did not finish";
        }
        const auto [config, error] = loading.get();
        EXPECT_EQ(error, c.error.empty() ? "" : "cannot read " + file + c.error) << error;
        EXPECT_EQ(config.mappings().size(), c.mappings);
        EXPECT_EQ(config.warnings().size(), 0u);
        // What the load held is bounded by the cap, not by the file.
        EXPECT_LT(peakMemory() - peakBefore, std::size_t{24} << 20);
    }
}

TEST(DefaultConfigPath, XdgConfigHomeWhenAbsoluteElseTheHomeFolder)
{
    const ScopedEnv home("HOME", "/home/editor");
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(defaultConfigPath(), "/srv/config/korvane/korvane.conf");
    }
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", "");
        EXPECT_EQ(defaultConfigPath(), "/home/editor/.config/korvane/korvane.conf");
    }
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        const ScopedEnv noHome("HOME", nullptr);
        EXPECT_EQ(defaultConfigPath(), "");
    }
}

} // namespace
} // namespace korvane
