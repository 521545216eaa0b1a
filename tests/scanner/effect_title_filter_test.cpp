// The Effect and Title lists and the filter records: sizes, the item flag,
// status lines, and that nothing but flagged title items is ever tested.

#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testkit::FilterEntry;
using testkit::ProjectBuilder;
using testkit::RecordingFeedback;
using testkit::TitleItem;
using testkit::VisualFilter;

struct Read {
    std::uint64_t offset;
    bool passedEnd;
};

template <class Scan>
Read readWith(const ProjectBuilder& b, Scan scan)
{
    ProjectReader reader(b.bytes());
    scan(reader);
    return {reader.offset(), reader.passedEnd()};
}

std::uint64_t effectSize(const ProjectBuilder& b)
{
    RecordingFeedback f;
    const Read r = readWith(b, [&](ProjectReader& reader) { scanEffect(reader, f, 1); });
    EXPECT_FALSE(r.passedEnd);
    return r.offset;
}

TEST(EffectRecords, SizesWithTheirWordBlock)
{
    EXPECT_EQ(effectSize(ProjectBuilder().effect("", 0, "")), 40u);
    EXPECT_EQ(effectSize(ProjectBuilder().effect("", 5, "")), 48u) << "5 bytes take two words";
    EXPECT_EQ(effectSize(ProjectBuilder().effect("", 8, "")), 48u);
    EXPECT_EQ(effectSize(ProjectBuilder().effect("", 1, "")), 44u);
    EXPECT_EQ(effectSize(ProjectBuilder().effect("", -1, "")), 40u) << "a negative size takes no data";
    EXPECT_EQ(effectSize(ProjectBuilder().effect("Wipe", 3, "Soft edge")), 40u + 4 + 9 + 4);
}

TEST(EffectRecords, NeverReportAndStepTwentyInAll)
{
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder().effect("gone.avi", 2, "gone.bmp").effect().effect("x.avi");
    const Read r = readWith(b, [&](ProjectReader& reader) { scanEffect(reader, f, 3); });
    EXPECT_EQ(r.offset, b.size());
    EXPECT_TRUE(f.checked.empty());
    EXPECT_TRUE(f.report.empty());
    EXPECT_EQ(f.statuses(), (std::vector<std::string>{"[Effect] 1 / 3", "[Effect] 2 / 3", "[Effect] 3 / 3"}));
    EXPECT_EQ(f.stepsAfterEachStatus(), (std::vector<int>{6, 7, 7}));
}

Read titles(const ProjectBuilder& b, RecordingFeedback& f, std::int32_t count, std::uint16_t version)
{
    ChecksInTurn checks(f, f);
    return readWith(b, [&](ProjectReader& reader) { scanTitle(reader, f, checks, count, version); });
}

TEST(TitleRecords, SizesByVersion)
{
    RecordingFeedback f;
    // Three names of which the builder writes "title", "font" and "end": 12 bytes.
    EXPECT_EQ(titles(ProjectBuilder().title(518, {}), f, 1, 518).offset, 31u + 12);
    EXPECT_EQ(titles(ProjectBuilder().title(519, {}), f, 1, 519).offset, 39u + 12);
    EXPECT_EQ(titles(ProjectBuilder().title(519, {}, 0, 5, -3), f, 1, 519).offset, 39u + 12 + 8);
}

TEST(TitleRecords, ItemSizes)
{
    EXPECT_EQ(ProjectBuilder().titleItem({"", 0, ""}, false).size(), 619u);
    EXPECT_EQ(ProjectBuilder().titleItem({"", 0, ""}, true).size(), 623u);

    RecordingFeedback f;
    const TitleItem item{"caption", 0, "name"};
    const ProjectBuilder b = ProjectBuilder().title(519, {item, item, item}).title(519, {item}, 768);
    EXPECT_EQ(titles(b, f, 2, 519).offset, b.size());
}

// The text length: one byte up to 254, else 255 and a 16-bit length.
TEST(TitleRecords, ItemTextLengthEscapes)
{
    for (const auto& [length, bytes] : std::vector<std::pair<std::vector<std::uint8_t>, std::size_t>>{
             {{254}, 254}, {{0xFF, 0x2C, 0x01}, 300}, {{0xFF, 0xFF, 0x00}, 255}, {{0xFF, 0x00, 0x00}, 0}}) {
        ProjectBuilder b;
        b.filler(12).name("").i32(0).filler(4).name("").i32(0).u16(0).filler(6).i32(1).u32(1);
        for (const std::uint8_t v : length)
            b.u8(v);
        b.raw(std::string(bytes, 'p')).filler(36).name("").filler(581).name("");
        RecordingFeedback f;
        const Read r = titles(b, f, 1, 519);
        EXPECT_EQ(r.offset, b.size()) << bytes;
        ASSERT_EQ(f.checked.size(), 1u);
        EXPECT_EQ(f.checked[0], std::string(bytes, 'p'));
    }
}

TEST(TitleRecords, LongTextIsConsumedAndTestedWhole)
{
    const std::string path = "/media/" + std::string(9000, 'x') + ".avi";
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder().title(519, {{path, 1, ""}, {"next.avi", 1, ""}});
    EXPECT_EQ(titles(b, f, 1, 519).offset, b.size());
    EXPECT_EQ(f.checked, (std::vector<std::string>{path, "next.avi"}));
}

TEST(TitleRecords, OnlyItemsFlaggedOneAreTested)
{
    RecordingFeedback f;
    f.present = {"here.bmp"};
    const ProjectBuilder b =
        ProjectBuilder().title(519, {{"gone.bmp", 1, ""}, {"other.bmp", 2, ""}, {"here.bmp", 1, ""}, {"", 1, ""}});
    titles(b, f, 1, 519);
    EXPECT_EQ(f.checked, (std::vector<std::string>{"gone.bmp", "here.bmp", ""}));
    EXPECT_EQ(f.report, "gone.bmp\r\n\r\n");
}

TEST(TitleRecords, BeforeVersion519NoItemIsTested)
{
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder().title(518, {{"gone.bmp", 1, ""}, {"gone.avi", 1, ""}});
    EXPECT_EQ(titles(b, f, 1, 518).offset, b.size());
    EXPECT_TRUE(f.checked.empty());
}

TEST(TitleRecords, FlagIsCarriedIntoTitlesWithoutFlagFields)
{
    // A: last flagged item 1; B (768): its items have no flag and go by A's.
    RecordingFeedback carried;
    const ProjectBuilder ab = ProjectBuilder()
                                  .title(519, {{"a1.bmp", 0, ""}, {"a2.bmp", 1, ""}})
                                  .title(519, {{"b1.bmp", 7, ""}, {"b2.bmp", 7, ""}}, 768);
    EXPECT_EQ(titles(ab, carried, 2, 519).offset, ab.size());
    EXPECT_EQ(carried.checked, (std::vector<std::string>{"a2.bmp", "b1.bmp", "b2.bmp"}));

    // A first title of layout 768 starts from a flag of 0.
    RecordingFeedback first;
    const ProjectBuilder b = ProjectBuilder().title(519, {{"b1.bmp", 1, ""}}, 768).title(519, {{"c.bmp", 0, ""}});
    EXPECT_EQ(titles(b, first, 2, 519).offset, b.size());
    EXPECT_TRUE(first.checked.empty());
}

TEST(TitleRecords, StatusAndSixtySteps)
{
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder().title(519, {}).title(519, {}).title(519, {});
    titles(b, f, 3, 519);
    EXPECT_EQ(f.stepsAfterEachStatus(), (std::vector<int>{20, 20, 20}));
    EXPECT_EQ(f.statuses().back(), "[Title] 3 / 3");
}

TEST(TitleRecords, ZeroOrNegativeCountsReadNothing)
{
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder().title(519, {{"a.bmp", 1, ""}});
    EXPECT_EQ(titles(b, f, -5, 519).offset, 0u);
    EXPECT_EQ(readWith(b, [&](ProjectReader& r) { scanEffect(r, f, INT32_MIN); }).offset, 0u);
    EXPECT_TRUE(f.calls.empty());

    // An item count of 0 or below: the closing name follows at once.
    ProjectBuilder negative;
    negative.filler(12).name("").i32(0).filler(4).name("").i32(0).u16(0).filler(6).i32(-2).name("end");
    EXPECT_EQ(titles(negative, f, 1, 519).offset, negative.size());
}

std::uint64_t visualSize(const ProjectBuilder& b)
{
    RecordingFeedback f;
    const Read r = readWith(b, [&](ProjectReader& reader) {
        scanFilterVisual(reader, f, 1, SectionId::FilterVisualOfMainAV);
    });
    EXPECT_FALSE(r.passedEnd);
    return r.offset;
}

TEST(FilterRecords, VisualRecordSizes)
{
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({})), 32u);
    EXPECT_EQ(visualSize(ProjectBuilder().raw(std::string(32, '\0'))), 32u);
    for (const std::uint32_t size : {0u, 1u, 2u, 3u, 4u})
        EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.block1Flag = 1, .block1Size = size})), 36u) << size;
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.block1Flag = 1, .block1Size = 10})), 42u);
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.block2Flag = 1, .block2Size = 0})), 40u);
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.block2Flag = 1, .block2Size = 3})), 43u);
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.block3Flag = 1, .block3Size = 0})), 36u);
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter(
                  {.block1Flag = 1, .block2Flag = 1, .block3Flag = 1, .block1Size = 4})),
              48u);
    // Any flag but exactly 1 means the block is absent.
    for (const std::uint32_t flag : {0u, 2u, 0xFFFFFFFFu})
        EXPECT_EQ(visualSize(ProjectBuilder().u32(flag).u32(flag).u32(flag).filler(12).u32(0).u32(0)), 32u) << flag;
    // Lists: 5 + name + data each.
    const FilterEntry empty{"", ""};
    const FilterEntry full{std::string(255, 'n'), "data"};
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.list1 = {empty}})), 37u);
    EXPECT_EQ(visualSize(ProjectBuilder().visualFilter({.list1 = {empty}, .list2 = {full, empty}})), 32u + 5 + 264 + 5);
}

TEST(FilterRecords, AudioRecordsAndStatusLines)
{
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder()
                                 .audioFilter({})
                                 .audioFilter({{"gone.wav", "gone.avi"}, {"", ""}})
                                 .audioFilter({{"x", std::string(300, 'd')}});
    const Read r = readWith(b, [&](ProjectReader& reader) {
        scanFilterAudio(reader, f, 3, SectionId::FilterAudioOfExAudio1);
    });
    EXPECT_EQ(r.offset, b.size());
    EXPECT_EQ(b.size(), 4u + (4 + 21 + 5) + (4 + 306));
    EXPECT_EQ(f.statuses(), (std::vector<std::string>{"[FilterAudio] 1 / 3", "[FilterAudio] 2 / 3", "[FilterAudio] 3 / 3"}));
    EXPECT_TRUE(f.checked.empty()) << "names in filters are never tested";
    EXPECT_TRUE(f.report.empty());
    EXPECT_EQ(f.position, 0) << "filters make no progress";
}

TEST(FilterRecords, CountsAreUnsigned)
{
    // An entry count of 0x80000000 is not negative: entries are read until
    // the end of the data, not skipped.
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder().u32(0x80000000).filterEntry({"a", "bc"}).filterEntry({"d", ""});
    const Read r = readWith(b, [&](ProjectReader& reader) {
        scanFilterAudio(reader, f, 1, SectionId::FilterAudioOfExAudio1);
    });
    EXPECT_TRUE(r.passedEnd);
    EXPECT_EQ(r.offset, b.size());

    // A clip count with the top bit set runs until the data ends; the status
    // line shows it as a signed number, as the format does.
    RecordingFeedback huge;
    const ProjectBuilder two = ProjectBuilder().audioFilter({}).audioFilter({});
    readWith(two, [&](ProjectReader& reader) {
        scanFilterAudio(reader, huge, 0x80000000u, SectionId::FilterAudioOfExAudio1);
    });
    EXPECT_EQ(huge.statuses().front(), "[FilterAudio] 1 / -2147483648");
    EXPECT_EQ(huge.statuses().size(), 3u) << "two records, then the one begun at the end";
}

} // namespace
} // namespace korvane
