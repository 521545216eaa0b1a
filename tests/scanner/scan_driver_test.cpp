// The walk of a whole project: header sizes, version gates, counts, the
// progress budgets, and what a damaged file does to the run.

#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <random>

namespace korvane {
namespace {

using testkit::BinEntry;
using testkit::buildProject;
using testkit::ProjectBuilder;
using testkit::ProjectModel;
using testkit::RecordingFeedback;
using testkit::scanBytes;

std::vector<std::string> headings(const std::string& report)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < report.size()) {
        const std::size_t end = report.find("\r\n", start);
        const std::string line = report.substr(start, end - start);
        if (line.starts_with('['))
            out.push_back(line);
        start = end + 2;
    }
    return out;
}

const std::vector<std::string> kOldHeadings = {"[MainAV]", "[InsertAV]", "[ExAudio1]", "[ExAudio2]", "[BinWindow]"};
const std::vector<std::string> kHeadings = {"[MainAV]", "[InsertAV]", "[ExAudio1]", "[ExAudio2]", "[Title]",
                                            "[BinWindow]"};

TEST(ScanDriver, HeaderSizeFollowsTheVersion)
{
    // With an empty main track the bin follows the header directly.
    for (const auto& [version, size] : std::vector<std::pair<std::uint16_t, std::uint64_t>>{
             {0, 16}, {516, 16}, {517, 20}, {518, 20}, {519, 24}, {0xFFFF, 24}}) {
        const ProjectBuilder b = ProjectBuilder().header(version, 1, 0).bin("Clip", "gone.avi");
        EXPECT_EQ(b.size(), size + 2 + 4 + 8 + 16);
        RecordingFeedback f;
        const ScanResult result = scanBytes(b.bytes(), f);
        EXPECT_EQ(result.version, version);
        EXPECT_FALSE(result.damaged) << version;
        EXPECT_EQ(f.checked, (std::vector<std::string>{"gone.avi"})) << version;
    }
}

TEST(ScanDriver, VersionGatesTheTitleSection)
{
    ProjectModel m;
    m.mainAV = {{"a.avi"}};
    m.titles = {{{{"t.bmp", 1, ""}}}};
    m.bin = {{"b", "b.avi"}};
    for (const std::uint16_t version : {std::uint16_t{511}, std::uint16_t{512}, std::uint16_t{518}, std::uint16_t{519}}) {
        m.version = version;
        RecordingFeedback f;
        const ScanResult result = scanBytes(buildProject(m), f);
        EXPECT_FALSE(result.damaged) << version;
        EXPECT_EQ(headings(f.report), version < 512 ? kOldHeadings : kHeadings) << version;
        EXPECT_EQ(f.position, 200) << version;
        const bool titleTested = std::ranges::count(f.checked, "t.bmp") == 1;
        EXPECT_EQ(titleTested, version >= 519) << version;
        EXPECT_EQ(f.checked.back(), "b.avi") << "the bin is read in step at version " << version;
    }
}

TEST(ScanDriver, EmptyMainTrackReadsNoFurtherCounts)
{
    ProjectModel m;
    m.version = 519;
    m.bin = {{"x", "gone.avi"}, {"y", "Black.clr"}};
    RecordingFeedback f;
    const ScanResult result = scanBytes(buildProject(m), f);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(f.report, "[MainAV]\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[Title]\r\n[BinWindow]\r\ngone.avi\r\n");
    EXPECT_EQ(f.position, 200);
    EXPECT_EQ(f.statuses(), (std::vector<std::string>{"[BinWindow] 1 / 2", "[BinWindow] 2 / 2", ""}));
}

TEST(ScanDriver, ReportListsMissingPathsUnderTheirSections)
{
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"main.avi"}, {"here.avi"}};
    m.insertAV = {{"insert.bmp", "second"}};
    m.exAudio1 = {{"one.wav"}};
    m.exAudio2 = {{"two.wav"}};
    m.effects = {{"effect.avi", 3, "x"}};
    m.titles = {{{{"title.tga", 1, ""}}}};
    m.mainFilters = {{.block1Flag = 1, .block1Size = 9, .list1 = {{"filter.avi", "x"}}}};
    m.exAudio2Filters = {{{"filter.wav", ""}}};
    m.bin = {{"bin", "bin.avi"}};
    RecordingFeedback f;
    f.present = {"here.avi"};
    const ScanResult result = scanBytes(buildProject(m), f);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(f.report, "[MainAV]\r\nmain.avi\r\n[InsertAV]\r\ninsert.bmp\r\n[ExAudio1]\r\none.wav\r\n"
                        "[ExAudio2]\r\ntwo.wav\r\n[Title]\r\ntitle.tga\r\n[BinWindow]\r\nbin.avi\r\n");
    EXPECT_EQ(f.position, 200);
    EXPECT_EQ(f.calls.back(), "status ");
}

TEST(ScanDriver, StatusSequenceOfAWholeRun)
{
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"a.avi"}, {"b.avi"}};
    m.insertAV = {{"c.avi"}, {"d.avi"}, {"e.avi"}};
    m.exAudio1 = {{"f.wav"}};
    m.effects = {{}};
    m.titles = {{}};
    m.bin = {{"g", "g.avi"}};
    RecordingFeedback f;
    scanBytes(buildProject(m), f);
    EXPECT_EQ(f.statuses(),
              (std::vector<std::string>{"[MainAV] 1 / 2", "[MainAV] 2 / 2", "[InsertAV] 1 / 3", "[InsertAV] 2 / 3",
                                        "[InsertAV] 3 / 3", "[ExAudio] 1 / 1", "[Effect] 1 / 1", "[Title] 1 / 1",
                                        "[FilterVisual] 1 / 2", "[FilterVisual] 2 / 2", "[FilterVisual] 1 / 3",
                                        "[FilterVisual] 2 / 3", "[FilterVisual] 3 / 3", "[FilterAudio] 1 / 1",
                                        "[BinWindow] 1 / 1", ""}));
}

TEST(ScanDriver, NegativeSectionCountLeavesItsBudgetUnstepped)
{
    // Version 518: a negative Effect count reads nothing and its 20 steps are not made.
    ProjectBuilder b;
    b.header(518, 0, 1).movie("a.avi").count(0).count(0).count(0).count(-1).count(0);
    RecordingFeedback f;
    const ScanResult result = scanBytes(b.bytes(), f);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(f.position, 180);
    EXPECT_EQ(headings(f.report), kHeadings);
}

TEST(ScanDriver, NegativeClipCountBelowVersion519)
{
    ProjectBuilder b;
    b.header(511, 1, 1).movie("a.avi").count(INT32_MIN).count(0).count(0).bin("b", "b.avi");
    RecordingFeedback f;
    const ScanResult result = scanBytes(b.bytes(), f);
    EXPECT_FALSE(result.damaged);
    EXPECT_EQ(f.position, 180) << "InsertAV's 20 steps are not made";
    EXPECT_EQ(f.checked, (std::vector<std::string>{"a.avi", "b.avi"}));
}

TEST(ScanDriver, EmptyFileIsDamagedButCompletes)
{
    RecordingFeedback f;
    const ScanResult result = scanBytes({}, f);
    EXPECT_TRUE(result.damaged);
    EXPECT_STREQ(result.endedAt.section, "header");
    EXPECT_EQ(f.report, "[MainAV]\r\n[InsertAV]\r\n[ExAudio1]\r\n[ExAudio2]\r\n[BinWindow]\r\n");
    EXPECT_EQ(f.position, 200);
    EXPECT_TRUE(f.checked.empty());
    EXPECT_EQ(describeDamage(result), "The file does not look like a RexEdit project: it is empty.");
}

// A count far beyond what the file holds: the entry in progress finishes
// reading zeros, no new one begins, and the rest of the budget is stepped.
TEST(DamagedFile, HugeCountStopsAtTheEndOfTheFile)
{
    ProjectBuilder b;
    b.header(519, 1000000, 1).movie("a.avi").count(0).count(0x7FFFFFFF).extraAudio("here.wav").extraAudio("gone.wav");
    RecordingFeedback f;
    f.present = {"here.wav"};
    const ScanResult result = scanBytes(b.bytes(), f);
    EXPECT_TRUE(result.damaged);
    EXPECT_STREQ(result.endedAt.section, "ExAudio1");
    EXPECT_EQ(result.endedAt.entry, 3);
    EXPECT_EQ(result.endedAt.count, 0x7FFFFFFF);
    EXPECT_EQ(describeDamage(result), "The file does not look like a RexEdit project: its counts claim far more "
                                      "records than its 112 bytes can hold.");
    // The third entry was begun past the end: it tests an empty name.
    EXPECT_EQ(f.checked, (std::vector<std::string>{"a.avi", "here.wav", "gone.wav", ""}));
    EXPECT_EQ(f.report, "[MainAV]\r\na.avi\r\n[InsertAV]\r\n[ExAudio1]\r\ngone.wav\r\n\r\n[ExAudio2]\r\n[Title]\r\n"
                        "[BinWindow]\r\n");
    EXPECT_EQ(f.position, 200) << "the bar ends where a complete run would";
    const std::vector<std::string> statuses = f.statuses();
    EXPECT_EQ(std::ranges::count(statuses, "[ExAudio] 3 / 2147483647"), 1);
    EXPECT_EQ(statuses.back(), "");
    EXPECT_EQ(std::ranges::count_if(statuses, [](const std::string& s) { return s.starts_with("[BinWindow]"); }), 0)
        << "the bin reads no entry once the end is passed";
}

TEST(DamagedFile, EndInsideAnItemListStopsTheTitle)
{
    ProjectBuilder b;
    b.header(519, 0, 1).movie("a.avi").count(0).count(0).count(0).count(0).count(2);
    // A title claiming a million items, of which one is there.
    b.filler(12).name("").i32(0).filler(4).name("").i32(0).u16(0).filler(6).i32(1000000);
    b.titleItem({"gone.bmp", 1, ""}, true);
    RecordingFeedback f;
    const ScanResult result = scanBytes(b.bytes(), f);
    EXPECT_TRUE(result.damaged);
    EXPECT_STREQ(result.endedAt.section, "Title");
    EXPECT_EQ(result.endedAt.entry, 1);
    EXPECT_EQ(f.checked, (std::vector<std::string>{"a.avi", "gone.bmp"}))
        << "the item begun at the end reads a flag of 0 and is not tested";
    EXPECT_EQ(f.statuses(), (std::vector<std::string>{"[MainAV] 1 / 1", "[Title] 1 / 2", ""}));
    EXPECT_EQ(f.position, 200);
}

TEST(DamagedFile, EndInACountIsNamed)
{
    ProjectBuilder b;
    b.header(519, 0, 1).movie("a.avi").u16(3); // half of InsertAV's count
    RecordingFeedback f;
    const ScanResult result = scanBytes(b.bytes(), f);
    EXPECT_TRUE(result.damaged);
    EXPECT_STREQ(result.endedAt.section, "InsertAV");
    EXPECT_EQ(result.endedAt.entry, 0);
    EXPECT_EQ(describeDamage(result), "The project file is damaged: it ends in the count of the InsertAV section.");
    EXPECT_EQ(f.position, 200) << "a count of 3 whose entries never begin still steps its budget";
}

TEST(DamagedFile, FileEndingExactlyAfterTheLastEntryIsWhole)
{
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"a.avi", "", 2}};
    m.bin = {{"b", "b.avi"}};
    std::vector<std::uint8_t> bytes = buildProject(m);
    RecordingFeedback whole;
    EXPECT_FALSE(scanBytes(bytes, whole).damaged);

    bytes.pop_back();
    RecordingFeedback cut;
    const ScanResult result = scanBytes(bytes, cut);
    EXPECT_TRUE(result.damaged);
    EXPECT_STREQ(result.endedAt.section, "BinWindow");
    EXPECT_EQ(cut.report, whole.report) << "an entry cut inside its skipped fields is still tested";
}

std::vector<std::uint8_t> randomBytes(std::uint32_t seed, std::size_t size)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::string damageOf(const std::vector<std::uint8_t>& bytes)
{
    RecordingFeedback f;
    const ScanResult result = scanBytes(bytes, f);
    return result.damaged ? describeDamage(result) : "(whole)";
}

// Text and noise read as a project are "damaged" somewhere in a section of
// a thousand million entries; they are called what they are. A real project
// cut short, however short, is still called damaged.
TEST(DamagedFile, FilesThatCannotBeProjectsAreCalledSo)
{
    const std::string notAProject = "The file does not look like a RexEdit project: ";
    const std::string text = "# Shopping list\nmilk\neggs\nbread, butter and a sack of flour for the week\n";
    EXPECT_EQ(damageOf({text.begin(), text.end()}), notAProject + "its layout version, 8227, is far outside the editor's.");
    EXPECT_EQ(damageOf({0x07}), "The project file is damaged: it ends in its header.") << "half a version is none";
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        std::vector<std::uint8_t> noise = randomBytes(seed, 4096);
        EXPECT_TRUE(damageOf(noise).starts_with(notAProject)) << seed << ": " << damageOf(noise);
        // Noise behind a version the editor wrote: its counts give it away.
        noise[0] = 0x07;
        noise[1] = 0x02;
        EXPECT_NE(damageOf(noise).find("its counts claim far more records than its 4096 bytes can hold"),
                  std::string::npos)
            << seed << ": " << damageOf(noise);
    }

    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"main.avi", "", 2}, {"still.bmp", "second"}, {"Black.clr"}};
    m.insertAV = {{"insert.bmp", "second"}};
    m.exAudio1 = {{"one.wav"}};
    m.effects = {{"effect", 3, "x"}};
    m.titles = {{{{"title.tga", 1, "t"}}}};
    m.mainFilters = {{.block1Flag = 1, .block1Size = 9, .list1 = {{"filter.avi", "x"}}}};
    m.bin = {{"bin", "bin.avi"}, {"colour", "Black.clr"}};
    const std::vector<std::uint8_t> whole = buildProject(m);
    for (std::size_t size = 1; size < whole.size(); ++size) {
        const std::string damage = damageOf({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)});
        EXPECT_TRUE(damage.starts_with("The project file is damaged: it ends ")) << size << ": " << damage;
    }
    // A large project keeps a thirty-second of its bytes.
    m.bin.assign(60000, BinEntry{"clip", "media/clip.avi"});
    const std::vector<std::uint8_t> large = buildProject(m);
    const std::string damage = damageOf({large.begin(), large.begin() + static_cast<std::ptrdiff_t>(large.size() / 32)});
    EXPECT_TRUE(damage.starts_with("The project file is damaged: it ends in the BinWindow section")) << damage;
}

// Asks the scan to stop as the k-th missing path is reported, as a signal
// handler or another thread would.
class StopAtMissing : public RecordingFeedback {
public:
    StopAtMissing(std::stop_source& stop, std::size_t k) : stop_(stop), k_(k) {}
    void missingFile(std::string_view path) override
    {
        RecordingFeedback::missingFile(path);
        if (++seen_ == k_)
            stop_.request_stop();
    }

private:
    std::stop_source& stop_;
    std::size_t k_;
    std::size_t seen_ = 0;
};

TEST(ScanDriver, AStopEndsTheReportWithTheLastWholeEntry)
{
    ProjectModel m;
    m.version = 519;
    m.mainAV = {{"m1.avi"}, {"m2.avi"}, {"m3.avi"}};
    m.insertAV = {{"i1.avi"}};
    m.exAudio1 = {{"a1.wav"}};
    m.titles = {{{{"t1.bmp", 1, ""}, {"t2.bmp", 1, ""}}}};
    m.bin = {{"b", "b1.avi"}, {"b", "b2.avi"}};
    const std::vector<std::uint8_t> bytes = buildProject(m);
    RecordingFeedback whole;
    ASSERT_FALSE(scanBytes(bytes, whole).stopped);
    const std::vector<std::string> missing = {"m1.avi", "m2.avi", "m3.avi", "i1.avi", "a1.wav",
                                              "t1.bmp", "t2.bmp", "b1.avi", "b2.avi"};
    ASSERT_EQ(whole.checked, missing);

    for (std::size_t k = 0; k <= missing.size(); ++k) {
        std::stop_source stop;
        if (k == 0)
            stop.request_stop(); // asked before the scan begins
        StopAtMissing f(stop, k);
        ProjectReader reader(bytes);
        reader.setStop(stop.get_token());
        const ScanResult result = scanProject(reader, f, f);
        EXPECT_TRUE(result.stopped) << k;
        EXPECT_FALSE(result.damaged) << k;
        // The report of the whole run up to the k-th missing line, nothing after it.
        const std::string expected =
            k == 0 ? "[MainAV]\r\n"
                   : whole.report.substr(0, whole.report.find(missing[k - 1] + "\r\n") + missing[k - 1].size() + 2);
        EXPECT_EQ(f.report, expected) << k;
        EXPECT_EQ(f.checked.size(), k) << "no entry begun after the stop";
        EXPECT_LT(f.position, kProgressSteps) << k;
    }
}

// A sink that needs only the status of the last of a run of empty entries.
class SparseStatus : public RecordingFeedback {
public:
    bool statusOfEveryEntry() const override { return false; }
};

TEST(ScanDriver, RunsOfEmptyClipsPassedAtOnceLeaveTheRunAsItWas)
{
    // Empty names (one zero byte each) in runs, between clips that name files.
    ProjectModel m;
    m.version = 519;
    for (int k = 0; k < 300; ++k) {
        std::string name;
        if (k % 100 == 50)
            name.append("m").append(std::to_string(k)).append(".avi");
        m.mainAV.push_back({name});
    }
    m.insertAV = {{""}, {""}, {"i.avi"}, {""}};
    m.exAudio1 = {{""}};
    m.bin = {{"b", "b.avi"}};
    const std::vector<std::uint8_t> bytes = buildProject(m);
    // The whole file, and the file cut inside the first run of empty clips,
    // inside a later one and inside the insert track.
    for (const std::size_t size : {bytes.size(), std::size_t{24 + 10}, std::size_t{24 + 200}, bytes.size() - 40}) {
        const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        RecordingFeedback every;
        SparseStatus sparse;
        const ScanResult a = scanBytes(cut, every);
        const ScanResult b = scanBytes(cut, sparse);
        EXPECT_EQ(sparse.report, every.report) << size;
        EXPECT_EQ(sparse.checked, every.checked) << size;
        EXPECT_EQ(sparse.position, every.position) << size;
        EXPECT_EQ(b.damaged, a.damaged) << size;
        EXPECT_STREQ(b.endedAt.section, a.endedAt.section) << size;
        EXPECT_EQ(b.endedAt.entry, a.endedAt.entry) << size;
        // Fewer status lines, the last of every section still among them.
        EXPECT_LT(sparse.events.size(), every.events.size()) << size;
        for (const char* last : {"entry MainAV 300/300", "entry InsertAV 4/4"}) {
            const bool inEvery = std::find(every.events.begin(), every.events.end(), last) != every.events.end();
            const bool inSparse = std::find(sparse.events.begin(), sparse.events.end(), last) != sparse.events.end();
            EXPECT_EQ(inSparse, inEvery) << size << " " << last;
        }
    }
}

} // namespace
} // namespace korvane
