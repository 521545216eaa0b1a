// The clip lists and the bin: record sizes, which name is tested, status
// lines and progress steps.

#include "scanner/media_kind.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using testkit::ProjectBuilder;
using testkit::RecordingFeedback;
using testkit::Track;

// Reads one section of `count` entries from `b`'s bytes; returns the offset
// at which the reader stopped.
std::uint64_t readSection(const ProjectBuilder& b, RecordingFeedback& feedback, std::int32_t count,
                          void (*scan)(ProjectReader&, ScanFeedback&, FileChecks&, std::int32_t))
{
    ProjectReader reader(b.bytes());
    ChecksInTurn checks(feedback, feedback);
    scan(reader, feedback, checks, count);
    EXPECT_FALSE(reader.passedEnd());
    return reader.offset();
}

using SectionScan = void (*)(ProjectReader&, ScanFeedback&, FileChecks&, std::int32_t);
const SectionScan mainAV = [](ProjectReader& r, ScanFeedback& f, FileChecks& c, std::int32_t n) {
    scanMainAV(r, f, c, n);
};
const SectionScan insertAV = [](ProjectReader& r, ScanFeedback& f, FileChecks& c, std::int32_t n) {
    scanInsertAV(r, f, c, n);
};
const SectionScan exAudio = [](ProjectReader& r, ScanFeedback& f, FileChecks& c, std::int32_t n) {
    scanExAudio(r, f, c, n, SectionId::ExAudio1);
};
const SectionScan binWindow = [](ProjectReader& r, ScanFeedback& f, FileChecks& c, std::int32_t n) {
    scanBinWindow(r, f, c, n);
};

TEST(MediaKind, TakenFromTheLastThreeBytesWithoutRegardToCase)
{
    EXPECT_EQ(mediaKindOf("clip.avi"), MediaKind::Movie);
    EXPECT_EQ(mediaKindOf("CLIP.AVI"), MediaKind::Movie);
    EXPECT_EQ(mediaKindOf("Clip.Avi"), MediaKind::Movie);
    for (const char* still : {"a.bmp", "a.JPG", "a.tif", "a.Psd", "a.tga"})
        EXPECT_EQ(mediaKindOf(still), MediaKind::Still) << still;
    EXPECT_EQ(mediaKindOf("Black.CLR"), MediaKind::Colour);
    EXPECT_EQ(mediaKindOf("avi"), MediaKind::Movie) << "three bytes are enough";
    EXPECT_EQ(mediaKindOf("vi"), MediaKind::Unknown);
    EXPECT_EQ(mediaKindOf(""), MediaKind::Unknown);
    EXPECT_EQ(mediaKindOf("clip.wav"), MediaKind::Unknown);
    EXPECT_EQ(mediaKindOf("clip.jpeg"), MediaKind::Unknown);
    EXPECT_EQ(mediaKindOf(std::string_view("a.a\0i", 5)), MediaKind::Unknown);
    EXPECT_EQ(mediaKindOf("clip.\xC1VI"), MediaKind::Unknown) << "only ASCII letters are folded";
}

TEST(ClipRecords, SizesOfEveryLayout)
{
    RecordingFeedback f;
    const std::string movie10 = "abcdef.avi";    // 10 bytes
    const std::string still12 = "abcdefgh.bmp";  // 12 bytes
    const std::string second8 = "abcdefgh";      // 8 bytes

    EXPECT_EQ(readSection(ProjectBuilder().movie(movie10, 2), f, 1, mainAV), 39u);
    EXPECT_EQ(readSection(ProjectBuilder().movie(movie10, 2, Track::Insert), f, 1, insertAV), 43u);
    EXPECT_EQ(readSection(ProjectBuilder().extraAudio(movie10, 2), f, 1, exAudio), 43u);
    EXPECT_EQ(readSection(ProjectBuilder().picture(still12, second8, 1), f, 1, mainAV), 44u);
    EXPECT_EQ(readSection(ProjectBuilder().picture(still12, second8, 1, Track::Insert), f, 1, insertAV), 48u);
    EXPECT_EQ(readSection(ProjectBuilder().bin("abcde", std::string(16, 'x') + ".wav"), f, 1, binWindow), 43u);
    EXPECT_EQ(readSection(ProjectBuilder().picture("Black.clr", second8, 1), f, 1, mainAV), 41u);
    // A name of no known kind is the whole entry.
    EXPECT_EQ(readSection(ProjectBuilder().name("clip.wav"), f, 1, mainAV), 9u);
    EXPECT_EQ(readSection(ProjectBuilder().name("ab"), f, 1, insertAV), 3u);
}

TEST(ClipRecords, NegativePairCountReadsNoPairs)
{
    RecordingFeedback f;
    // 0x80000000 pairs: the next entry begins right behind the 16-bit fields.
    const ProjectBuilder b = ProjectBuilder().name("a.avi").filler(8).u32(0x80000000).filler(4).movie("b.avi");
    EXPECT_EQ(readSection(b, f, 2, mainAV), b.size());
    EXPECT_EQ(f.checked, (std::vector<std::string>{"a.avi", "b.avi"}));
}

TEST(ClipRecords, ConsecutiveEntriesStayInStep)
{
    RecordingFeedback f;
    const ProjectBuilder b = ProjectBuilder()
                                 .movie("m.avi", 3, Track::Insert)
                                 .picture("s.JPG", "second.avi", 2, Track::Insert)
                                 .name("odd.mov")
                                 .picture("c.clr", "", 0, Track::Insert)
                                 .movie("last.avi", 0, Track::Insert);
    EXPECT_EQ(readSection(b, f, 5, insertAV), b.size());
    EXPECT_EQ(f.checked, (std::vector<std::string>{"m.avi", "s.JPG", "last.avi"}));
}

TEST(ClipRecords, WhichNameEachSectionTests)
{
    RecordingFeedback clips;
    const ProjectBuilder track = ProjectBuilder()
                                     .movie("Movie.AVI")
                                     .picture("still.tga", "missing-second.bmp")
                                     .picture("Black.clr", "x")
                                     .name("x")
                                     .name("");
    readSection(track, clips, 5, mainAV);
    EXPECT_EQ(clips.checked, (std::vector<std::string>{"Movie.AVI", "still.tga"}))
        << "colour clips, unknown kinds and second names are never tested";

    RecordingFeedback audio;
    const ProjectBuilder tracks = ProjectBuilder().extraAudio("a.wav").extraAudio("b.clr").extraAudio("").extraAudio("ab");
    readSection(tracks, audio, 4, exAudio);
    EXPECT_EQ(audio.checked, (std::vector<std::string>{"a.wav", "b.clr", "", "ab"}));
    EXPECT_EQ(audio.report, "a.wav\r\nb.clr\r\n\r\nab\r\n") << "an empty path is listed as an empty line";

    RecordingFeedback bin;
    bin.present = {"here.avi"};
    const ProjectBuilder entries = ProjectBuilder()
                                       .bin("first-missing.avi", "here.avi")
                                       .bin("Black", "Black.CLR")
                                       .bin("Music", "song.wav")
                                       .bin("", "");
    readSection(entries, bin, 4, binWindow);
    EXPECT_EQ(bin.checked, (std::vector<std::string>{"here.avi", "song.wav", ""}));
    EXPECT_EQ(bin.report, "song.wav\r\n\r\n");
}

TEST(ClipRecords, ZeroByteInsideANameEndsThePathButNotTheKind)
{
    RecordingFeedback f;
    readSection(ProjectBuilder().movie(std::string_view("a\0b.avi", 7)), f, 1, mainAV);
    EXPECT_EQ(f.checked, (std::vector<std::string>{"a"}));
}

TEST(ClipRecords, MissingPathIsListedBeforeTheEntrysStatus)
{
    RecordingFeedback f;
    f.present = {"here.avi"};
    readSection(ProjectBuilder().movie("gone.avi").movie("here.avi").movie("gone.avi"), f, 3, mainAV);
    EXPECT_EQ(f.report, "gone.avi\r\ngone.avi\r\n") << "a path is listed once per reference";
    const std::vector<std::string> head(f.calls.begin(), f.calls.begin() + 5);
    EXPECT_EQ(head, (std::vector<std::string>{"check gone.avi missing", "append gone.avi", "append \r\n",
                                              "status [MainAV] 1 / 3", "step"}));
}

TEST(ClipProgress, StepsFollowTheBudgetRule)
{
    RecordingFeedback main3;
    readSection(ProjectBuilder().name("a").name("b").name("c"), main3, 3, mainAV);
    EXPECT_EQ(main3.stepsAfterEachStatus(), (std::vector<int>{13, 13, 14}));
    EXPECT_EQ(main3.statuses(), (std::vector<std::string>{"[MainAV] 1 / 3", "[MainAV] 2 / 3", "[MainAV] 3 / 3"}));

    ProjectBuilder seven;
    for (int k = 0; k < 7; ++k)
        seven.name("x");
    RecordingFeedback insert7;
    readSection(seven, insert7, 7, insertAV);
    EXPECT_EQ(insert7.stepsAfterEachStatus(), (std::vector<int>{2, 3, 3, 3, 3, 3, 3}));
    EXPECT_EQ(insert7.statuses()[2], "[InsertAV] 3 / 7");

    RecordingFeedback audio4;
    readSection(ProjectBuilder().extraAudio("a").extraAudio("b").extraAudio("c").extraAudio("d"), audio4, 4, exAudio);
    EXPECT_EQ(audio4.stepsAfterEachStatus(), (std::vector<int>{2, 3, 2, 3}));
    EXPECT_EQ(audio4.statuses()[0], "[ExAudio] 1 / 4");

    ProjectBuilder sixty;
    for (int k = 0; k < 60; ++k)
        sixty.name("x");
    RecordingFeedback insert60;
    readSection(sixty, insert60, 60, insertAV);
    const std::vector<int> steps = insert60.stepsAfterEachStatus();
    EXPECT_EQ(steps[0] + steps[1], 0);
    EXPECT_EQ(steps[2], 1);
    EXPECT_EQ(insert60.position, 20);
}

TEST(ClipProgress, BinStepsNothingButCountsItsStatus)
{
    RecordingFeedback f;
    readSection(ProjectBuilder().bin("a", "b.clr").bin("c", "d.clr"), f, 2, binWindow);
    EXPECT_EQ(f.position, 0);
    EXPECT_EQ(f.statuses(), (std::vector<std::string>{"[BinWindow] 1 / 2", "[BinWindow] 2 / 2"}));
}

TEST(ClipProgress, ZeroOrNegativeCountReadsNothing)
{
    const ProjectBuilder b = ProjectBuilder().movie("a.avi");
    for (const std::int32_t count : {0, -1, INT32_MIN}) {
        for (const SectionScan scan : {mainAV, insertAV, exAudio, binWindow}) {
            RecordingFeedback f;
            ProjectReader reader(b.bytes());
            ChecksInTurn checks(f, f);
            scan(reader, f, checks, count);
            EXPECT_EQ(reader.offset(), 0u);
            EXPECT_TRUE(f.calls.empty()) << count;
        }
    }
}

} // namespace
} // namespace korvane
