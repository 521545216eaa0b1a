#include "report/missing_collector.h"
#include "search/missing_match.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"
#include "text/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace korvane {
namespace {

using testkit::buildProject;
using testkit::ProjectModel;
using testkit::RecordingFeedback;

ProjectModel weddingProject()
{
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"D:\\Video\\a.avi"}, {"here.avi"}, {"D:\\Video\\a.avi"}};
    m.exAudio1 = {{"D:\\Music\\Caf\xE9.wav"}};
    m.titles = {{{{"[BinWindow]", 1, ""}}}}; // a name that looks like a heading
    m.bin = {{"a", "D:\\Video\\a.avi"}, {"b", ""}};
    return m;
}

// Something in every section: clips, effects, titles, filters and the bin.
ProjectModel everySectionProject()
{
    ProjectModel m = weddingProject();
    m.insertAV = {{"D:\\Video\\insert.avi"}};
    m.exAudio2 = {{"here.wav"}};
    m.effects = {{"fade", 3, "x"}};
    return m;
}

TEST(MissingCollector, TheInnerFeedbackSeesExactlyWhatItWouldWithoutIt)
{
    const std::vector<std::uint8_t> bytes = buildProject(everySectionProject());
    RecordingFeedback alone;
    alone.present = {"here.avi", "here.wav"};
    scanBytes(bytes, alone);

    RecordingFeedback inner;
    inner.present = alone.present;
    MissingCollector collector(inner);
    ProjectReader reader(bytes);
    const ScanResult result = scanProject(reader, collector, inner);
    EXPECT_FALSE(result.damaged);
    // Every event and every call, in order: the collector renders nothing of its own.
    EXPECT_EQ(inner.events, alone.events);
    EXPECT_EQ(inner.calls, alone.calls);
    EXPECT_EQ(inner.report, alone.report);
    for (const char* kind : {"entry MainAV", "entry InsertAV", "entry ExAudio", "entry Effect", "entry Title",
                             "entry FilterVisual", "entry FilterAudio", "entry BinWindow"}) {
        EXPECT_TRUE(std::any_of(alone.events.begin(), alone.events.end(),
                                [&](const std::string& event) { return event.starts_with(kind); }))
            << kind;
    }
    std::vector<std::string> headings;
    for (const std::string& event : alone.events) {
        if (event.starts_with("section "))
            headings.push_back(event.substr(8));
    }
    std::vector<std::string> collected;
    for (const MissingSection& section : collector.sections())
        collected.push_back(section.name);
    EXPECT_EQ(collected, headings);
}

TEST(MissingCollector, KeepsEachMissingPathOnceWithWhereAndHowOftenTheReportListsIt)
{
    RecordingFeedback inner;
    inner.present = {"here.avi"};
    MissingCollector collector(inner);
    const std::vector<std::uint8_t> bytes = buildProject(weddingProject());
    ProjectReader reader(bytes);
    scanProject(reader, collector, inner);

    std::vector<std::pair<std::string, std::size_t>> sections;
    for (const MissingSection& section : collector.sections())
        sections.emplace_back(section.name, section.references);
    EXPECT_EQ(sections, (std::vector<std::pair<std::string, std::size_t>>{
                            {"MainAV", 2}, {"InsertAV", 0}, {"ExAudio1", 1}, {"ExAudio2", 0}, {"Title", 1},
                            {"BinWindow", 2}}));

    // Stored bytes, sections (as indexes of the above) and references, in the order first listed.
    struct Expected {
        std::string stored;
        std::vector<std::uint32_t> sections;
        std::size_t references;
    };
    const std::vector<Expected> expected = {
        {"D:\\Video\\a.avi", {0, 5}, 3},
        {"D:\\Music\\Caf\xE9.wav", {2}, 1},
        {"[BinWindow]", {4}, 1},
        {"", {5}, 1},
    };
    const std::vector<MissingPath>& paths = collector.paths();
    ASSERT_EQ(paths.size(), expected.size());
    for (std::size_t k = 0; k < paths.size(); ++k) {
        EXPECT_EQ(paths[k].stored, expected[k].stored) << k;
        EXPECT_EQ(paths[k].sections, expected[k].sections) << k;
        EXPECT_EQ(paths[k].references, expected[k].references) << k;
    }
}

TEST(MissingCollector, ListsEachMissingPathOnceDecodedAsAsked)
{
    RecordingFeedback inner;
    MissingCollector collector(inner);
    const std::vector<std::uint8_t> bytes = buildProject(weddingProject());
    ProjectReader reader(bytes);
    scanProject(reader, collector, inner);

    const std::vector<MissingFile> asUtf8 = missingFiles(collector.distinctStored());
    ASSERT_EQ(asUtf8.size(), 5u);
    EXPECT_EQ(asUtf8[0].stored, "D:\\Video\\a.avi");
    EXPECT_EQ(asUtf8[1].stored, "here.avi");
    EXPECT_EQ(asUtf8[2].decoded, "D:\\Music\\Caf\xEF\xBF\xBD.wav");

    const auto latin1 = [](std::string_view stored) {
        std::string out;
        for (const char c : stored)
            appendUtf8(out, static_cast<unsigned char>(c));
        return out;
    };
    EXPECT_EQ(missingFiles(collector.distinctStored(), latin1)[2].decoded, "D:\\Music\\Caf\xC3\xA9.wav");
    EXPECT_EQ(missingFiles(collector.distinctStored(), latin1)[2].stored, "D:\\Music\\Caf\xE9.wav");
}

TEST(MissingCollector, ANewRunStartsAfresh)
{
    RecordingFeedback inner;
    MissingCollector collector(inner);
    const std::vector<std::uint8_t> bytes = buildProject(weddingProject());
    ProjectReader reader(bytes);
    scanProject(reader, collector, inner);
    collector.clearReport();
    EXPECT_TRUE(collector.sections().empty());
    EXPECT_TRUE(collector.paths().empty());
    EXPECT_TRUE(collector.distinctStored().empty());
    EXPECT_TRUE(inner.report.empty());
}

} // namespace
} // namespace korvane
