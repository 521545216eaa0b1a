// A whole scan of a project made on Windows, with its drive and share mapped
// to local folders the way the command line and the dialog map them.

#include "paths/path_resolver.h"
#include "report/scan_feedback.h"
#include "scanner/project_reader.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace korvane {
namespace {

using testkit::TempDir;

// A sink and, through the resolver, the scan's existence test, as the
// command line's and the dialog's are.
class ResolvingFeedback final : public ScanFeedback, public ExistenceTest {
public:
    explicit ResolvingFeedback(PathResolver& resolver) : resolver_(resolver) {}

    std::string report;
    std::vector<std::string> checked;

    void appendReport(std::string_view text) override { report += text; }
    void clearReport() override { report.clear(); }
    void setStatus(std::string_view) override {}
    void resetProgress() override {}
    void stepProgress() override {}

    bool exists(std::string_view path) override
    {
        checked.emplace_back(path);
        return resolver_.exists(path);
    }

private:
    PathResolver& resolver_;
};

// The report's lines that are not section headings.
std::vector<std::string> listedPaths(const std::string& report)
{
    std::vector<std::string> paths;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.starts_with("["))
            paths.push_back(line);
    }
    return paths;
}

const std::string kClip = "D:\\Video\\Clip.AVI";
const std::string kIntro = "\\\\nas\\media\\Intro.avi";
const std::string kKanji = "D:\\\x95\x5C\\\x83\x5C.avi"; // D:\表\ソ.avi in CP932

std::vector<std::uint8_t> windowsProject()
{
    testkit::ProjectModel model;
    model.mainAV = {{kClip}, {kIntro}};
    model.bin = {{"Kanji", kKanji}};
    return testkit::buildProject(model);
}

PathResolver resolverFor(const MappingSources& sources)
{
    ResolverSettings settings = loadResolverSettings(sources);
    EXPECT_TRUE(settings.warnings.empty());
    std::optional<TextDecoder> decoder = TextDecoder::open(settings.codePage);
    if (!decoder)
        throw std::invalid_argument("code page");
    return PathResolver(std::move(settings.drives), std::move(*decoder));
}

TEST(EndToEnd, AProjectFromWindowsReportsNothingMissingOnceItsDriveAndShareAreMapped)
{
    TempDir video, nas, config;
    video.touch("video/clip.avi");
    video.touch("\xE8\xA1\xA8/\xE3\x82\xBD.avi");
    nas.touch("intro.avi");
    config.touch("korvane.conf", "# the studio's NAS\nmap \\\\NAS\\Media = " + nas.path().string() + "\n");

    MappingSources sources; // nothing from this machine's Wine or WSL
    sources.explicitMappings = {*parseMapArgument("D:=" + video.path().string())};
    sources.configFile = config.path() / "korvane.conf";
    PathResolver resolver = resolverFor(sources);

    ResolvingFeedback feedback(resolver);
    const std::vector<std::uint8_t> bytes = windowsProject();
    ProjectReader reader(bytes);
    const ScanResult result = scanProject(reader, feedback, feedback);

    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(feedback.checked, (std::vector<std::string>{kClip, kIntro, kKanji}));
    EXPECT_EQ(listedPaths(feedback.report), std::vector<std::string>{}) << feedback.report;
    EXPECT_NE(feedback.report.find("[MainAV]"), std::string::npos) << "the headings are still written";
    EXPECT_TRUE(resolver.unmappedRoots().empty());
}

TEST(EndToEnd, WithoutMappingsTheSamePathsAreListedAsStoredAndTheirRootsNamed)
{
    PathResolver resolver = resolverFor(MappingSources{});

    ResolvingFeedback feedback(resolver);
    const std::vector<std::uint8_t> bytes = windowsProject();
    ProjectReader reader(bytes);
    scanProject(reader, feedback, feedback);

    EXPECT_EQ(listedPaths(feedback.report), (std::vector<std::string>{kClip, kIntro, kKanji}))
        << "byte for byte as stored";
    EXPECT_EQ(resolver.unmappedRoots(), (std::vector<std::string>{"D:", "\\\\nas\\media"}));
}

} // namespace
} // namespace korvane
