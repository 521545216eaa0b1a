// The set-up of a run: which code page wins, what is warned about, and when
// no run can start.

#include "paths/config_file.h"
#include "paths/run_setup.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

using testkit::TempDir;

// An iconv that has no code page at all.
std::optional<TextDecoder> noIconv(std::string_view)
{
    return std::nullopt;
}

// An iconv without the code pages of "auto".
std::optional<TextDecoder> noAuto(std::string_view codePage)
{
    return codePage == kAutoCodePage ? std::nullopt : TextDecoder::open(codePage);
}

TEST(RunSetup, CodePagePrecedenceWarningsAndErrors)
{
    TempDir dir;
    const std::string video = dir.path().string();
    const struct {
        const char* name;
        std::string config; // the configuration file's text; none when empty
        std::vector<std::string> maps;
        std::optional<std::string> codePage;
        DecoderOpener open;
        SetupError error;
        std::string usedCodePage;
        std::vector<std::string> warnings; // "{conf}" stands for the file's path; "map: " marks a mapping's folder
    } cases[] = {
        {"nothing set", "", {}, std::nullopt, &TextDecoder::open, SetupError::None, "auto", {}},
        {"the file's code page", "codepage = WINDOWS-1252\n", {}, std::nullopt, &TextDecoder::open, SetupError::None,
         "WINDOWS-1252", {}},
        {"the one asked for wins over the file's", "codepage = WINDOWS-1252\n", {}, "CP932", &TextDecoder::open,
         SetupError::None, "CP932", {}},
        {"a file's unknown code page falls back to auto", "codepage = NO-SUCH\n", {}, std::nullopt,
         &TextDecoder::open, SetupError::None, "auto",
         {"{conf}, line 1: codepage NO-SUCH is not a code page this system can decode stored names from; using auto"}},
        {"an unknown code page asked for is an error, after the file's warnings", "colour = blue\n", {}, "NO-SUCH",
         &TextDecoder::open, SetupError::CodePage, "NO-SUCH", {"{conf}, line 1: unknown setting 'colour'"}},
        {"an explicit mapping to no folder", "", {"D:=" + video, "E:=" + video + "/gone"}, std::nullopt,
         &TextDecoder::open, SetupError::None, "auto",
         {"map: drive E: is mapped to " + video + "/gone, which does not exist; is the disk mounted?"}},
        {"configured mappings to no folder, each said once, after the file's warnings",
         "map \\\\nas\\media = " + video + "/usb\nmap D:\\Video = " + video + "/usb/v\nmap F: = " + video +
             "/korvane.conf\nmap E: = " + video + "/usb\nmap G: = " + video + "\ncolour = blue\n",
         {"E:=" + video + "/usb"}, std::nullopt, &TextDecoder::open, SetupError::None, "auto",
         {"{conf}, line 6: unknown setting 'colour'",
          "map: drive E: is mapped to " + video + "/usb, which does not exist; is the disk mounted?",
          "map: share \\\\nas\\media is mapped to " + video + "/usb, which does not exist; is the disk mounted?",
          "map: folder D:\\Video on drive D: is mapped to " + video +
              "/usb/v, which does not exist; is the disk mounted?",
          "map: drive F: is mapped to " + video + "/korvane.conf, which is not a folder"}},
        {"no iconv: no run, whatever was asked", "codepage = CP932\n", {}, std::nullopt, &noIconv,
         SetupError::NoDecoder, "auto",
         {"{conf}, line 1: codepage CP932 is not a code page this system can decode stored names from; using auto"}},
        {"no auto, but the code page asked for", "", {}, "WINDOWS-1252", &noAuto, SetupError::None, "WINDOWS-1252",
         {}},
        {"no auto and none asked for", "", {}, std::nullopt, &noAuto, SetupError::NoDecoder, "auto", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MappingSources sources; // nothing from this machine's Wine or WSL
        if (!c.config.empty())
            sources.configFile = dir.touch("korvane.conf", c.config);
        for (const std::string& map : c.maps)
            sources.explicitMappings.push_back(*parseMapArgument(map));

        const RunSetup setup = setUpRun(sources, c.codePage, c.open);
        EXPECT_EQ(setup.error, c.error);
        EXPECT_EQ(setup.resolver.has_value(), c.error == SetupError::None);
        EXPECT_EQ(setup.errorText().empty(), c.error == SetupError::None);
        EXPECT_EQ(setup.codePage, c.usedCodePage);
        if (setup.resolver) {
            EXPECT_EQ(setup.resolver->decoder().codePage(), c.usedCodePage);
        }
        std::vector<std::string> warnings;
        for (const SetupWarning& warning : setup.warnings)
            warnings.push_back((warning.about == SetupWarning::About::MissingFolder ? "map: " : "") + warning.text);
        std::vector<std::string> expected;
        for (std::string warning : c.warnings) {
            if (const std::size_t at = warning.find("{conf}"); at != std::string::npos)
                warning.replace(at, 6, sources.configFile.string());
            expected.push_back(warning);
        }
        EXPECT_EQ(warnings, expected);
    }
}

TEST(RunSetup, WarningsAreBoundedWhateverTheFileHolds)
{
    TempDir dir;
    const std::string gone = dir / "gone";
    const auto repeated = [](const std::string& line, std::size_t times) {
        std::string text;
        for (std::size_t k = 0; k < times; ++k)
            text += line;
        return text;
    };
    const struct {
        const char* name;
        std::string config;
        std::size_t count; // of the warnings
        std::string first; // how the first and the last warning start; "{conf}" stands for the file's path
        std::string last;
        std::size_t mappings;
    } cases[] = {
        {"a file as large as it may be, of bad lines", repeated("x\n", kMaxConfigFileBytes / 2), 21,
         "{conf}, line 1: 'x' is no setting: expected 'key = value'",
         "{conf}, lines 21 to 524288: 524268 more lines not understood", 0},
        {"five million bad lines", repeated("x\n", 5'000'000), 1,
         "cannot read {conf}: it is larger than 1 MiB, the most a configuration file may hold", "", 0},
        {"many mappings to folders that do not exist",
         [&] {
             std::string text;
             for (int k = 0; k < 5000; ++k)
                 text += "map D:\\" + std::to_string(k) + " = " + gone + "/" + std::to_string(k) + "\n";
             return text;
         }(),
         21, "folder D:\\0 on drive D: is mapped", "and 4980 more mappings to folders that do not exist", 5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MappingSources sources;
        sources.configFile = dir.touch("korvane.conf", c.config);
        const RunSetup setup = setUpRun(sources, std::nullopt);
        ASSERT_TRUE(setup.resolver);
        EXPECT_EQ(setup.resolver->drives().all().size(), c.mappings);
        ASSERT_EQ(setup.warnings.size(), c.count);
        const auto expected = [&](std::string text) {
            if (const std::size_t at = text.find("{conf}"); at != std::string::npos)
                text.replace(at, 6, sources.configFile.string());
            return text;
        };
        EXPECT_TRUE(setup.warnings.front().text.starts_with(expected(c.first))) << setup.warnings.front().text;
        EXPECT_TRUE(setup.warnings.back().text.starts_with(expected(c.last))) << setup.warnings.back().text;
    }
}

TEST(RunSetup, TheAbsentFoldersOfWineDrivesAreNotWarnedAbout)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "wine" / "dosdevices");
    std::filesystem::create_symlink(dir / "no-media", dir.path() / "wine" / "dosdevices" / "e:");
    MappingSources sources;
    sources.winePrefix = dir.path() / "wine";
    const RunSetup setup = setUpRun(sources, std::nullopt);
    ASSERT_TRUE(setup.resolver);
    ASSERT_TRUE(setup.resolver->drives().find("E:")) << "the drive is mapped all the same";
    EXPECT_TRUE(setup.warnings.empty()) << setup.warnings.front().text;
}

} // namespace
} // namespace korvane
