#include "scanner/project_reader.h"
#include "scanner/scan.h"
#include "tests/builder/project_builder.h"
#include "tests/recording_feedback.h"
#include "tests/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ProjectReader, ReadsLittleEndianIntegers)
{
    const Bytes bytes = {0x34, 0x12, 0x56, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    ProjectReader r(bytes);
    EXPECT_EQ(r.readU16(), 0x1234);
    EXPECT_EQ(r.readU24(), 0x123456u);
    EXPECT_EQ(r.readS32(), 0x12345678);
    EXPECT_EQ(r.readS32(), -1) << "the top bit makes a 32-bit value negative";
    EXPECT_EQ(r.readS32(), INT32_MIN);
    EXPECT_FALSE(r.passedEnd());
    EXPECT_EQ(r.offset(), bytes.size());
}

TEST(ProjectReader, ReadingTheLastByteIsNotPassingTheEnd)
{
    const Bytes bytes = {1, 2, 3};
    ProjectReader r(bytes);
    EXPECT_EQ(r.readU16(), 0x0201);
    EXPECT_EQ(r.readByte(), 3);
    EXPECT_FALSE(r.passedEnd());
    EXPECT_EQ(r.readByte(), 0);
    EXPECT_TRUE(r.passedEnd());
    EXPECT_EQ(r.offset(), 3u);
}

TEST(ProjectReader, BytesPastTheEndReadAsZero)
{
    const Bytes bytes = {0x11, 0x22};
    ProjectReader r(bytes);
    EXPECT_EQ(r.readS32(), 0x2211) << "the bytes that are there keep their place";
    EXPECT_TRUE(r.passedEnd());
    EXPECT_EQ(r.readS32(), 0);
    EXPECT_EQ(r.readU24(), 0u);
}

TEST(ProjectReader, EmptyInputPassesTheEndOnTheFirstRead)
{
    ProjectReader r(std::span<const std::uint8_t>{});
    EXPECT_FALSE(r.passedEnd());
    EXPECT_EQ(r.readU16(), 0);
    EXPECT_TRUE(r.passedEnd());
}

TEST(ProjectReader, NamesKeepZeroBytesButTheTextEndsAtTheFirst)
{
    const Bytes bytes = {5, 'a', 0, 'b', 'v', 'i', 9};
    ProjectReader r(bytes);
    CountedName name;
    r.readName(name);
    EXPECT_EQ(name.stored(), std::string_view("a\0bvi", 5));
    EXPECT_EQ(name.text(), "a");
    EXPECT_EQ(r.readByte(), 9);
}

TEST(ProjectReader, NameCutByTheEndIsPaddedWithZeros)
{
    const Bytes bytes = {4, 'a', 'b'};
    ProjectReader r(bytes);
    CountedName name;
    r.readName(name);
    EXPECT_EQ(name.length, 4);
    EXPECT_EQ(name.stored(), std::string_view("ab\0\0", 4));
    EXPECT_EQ(name.text(), "ab");
    EXPECT_TRUE(r.passedEnd());
}

TEST(ProjectReader, ReadCharsOfSizeOneOrLessStoresOnlyTheTerminator)
{
    const Bytes bytes = {'x'};
    ProjectReader r(bytes);
    char buffer[4] = {'?', '?', '?', '?'};
    r.readChars(buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    r.readChars(buffer + 1, 0);
    EXPECT_EQ(buffer[1], '?') << "nothing is written for a size of 0";
    EXPECT_EQ(r.readByte(), 'x');
}

TEST(ProjectReader, SkipStopsAtTheEnd)
{
    const Bytes bytes(10, 7);
    ProjectReader exact(bytes);
    exact.skip(10);
    EXPECT_FALSE(exact.passedEnd());
    EXPECT_EQ(exact.offset(), 10u);

    ProjectReader over(bytes);
    over.skip(UINT64_MAX);
    EXPECT_TRUE(over.passedEnd());
    EXPECT_EQ(over.offset(), 10u);
}

TEST(ProjectReader, RemembersWhereTheEndWasPassed)
{
    const Bytes bytes = {1, 2, 3, 4};
    ProjectReader r(bytes);
    r.mark("MainAV", 1, 3);
    r.readS32();
    r.mark("MainAV", 2, 3);
    r.readByte();
    r.mark("MainAV", 3, 3);
    r.readByte();
    EXPECT_STREQ(r.endLocation().section, "MainAV");
    EXPECT_EQ(r.endLocation().entry, 2);
    EXPECT_EQ(r.endLocation().count, 3);
}

// The file reader refills a 64 KiB buffer: values that straddle a refill
// must come out whole, and offsets must count across refills.
TEST(ProjectReader, FileValuesStraddlingTheBufferAreReadWhole)
{
    testkit::TempDir dir;
    std::string content(3 * 65536 + 5, '\0');
    for (std::size_t k = 0; k < content.size(); ++k)
        content[k] = static_cast<char>(k * 7 + 3);
    const std::string path = dir.touch("big.dvc", content);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ProjectReader r(fd);
    const auto at = [&](std::size_t k) { return std::uint32_t(static_cast<std::uint8_t>(content[k])); };

    r.skip(65534);
    EXPECT_EQ(static_cast<std::uint32_t>(r.readS32()), at(65534) | at(65535) << 8 | at(65536) << 16 | at(65537) << 24);
    char text[8];
    r.skip(65536 - 6 - 2);
    r.readChars(text, 8); // 7 bytes across the second refill
    EXPECT_EQ(std::string(text, 7), content.substr(2 * 65536 - 6, 7));
    EXPECT_EQ(r.offset(), 2 * 65536u + 1);
    r.skip(65536 + 2);
    EXPECT_FALSE(r.passedEnd());
    const std::size_t n = content.size();
    EXPECT_EQ(static_cast<std::uint32_t>(r.readS32()), at(n - 2) | at(n - 1) << 8)
        << "two bytes remain before the end, then zeros";
    EXPECT_EQ(r.offset(), n);
    EXPECT_TRUE(r.passedEnd());
    ::close(fd);
}

// Refills of a few bytes fall inside every field of every section: a whole
// scan through them must raise the same calls and end the same way as a scan
// of the bytes in memory, for a whole file and for one cut 40 bytes short.
TEST(ProjectReader, SmallRefillsScanAsTheWholeFileDoes)
{
    testkit::ProjectModel m;
    m.version = 519;
    m.mainAV = {{"C:\\Media\\Beach.avi", "", 2}, {"C:\\Media\\Map.jpg", "Map", 0}, {"Black.clr", "Black", 0}};
    m.insertAV = {{"C:\\Media\\Boat.bmp", "Boat", 1}};
    m.exAudio1 = {{"C:\\Media\\Waves.wav", "", 1}};
    m.effects = {{"Wipe", 5, "Soft"}};
    m.titles = {{{{"Caption", 0, "caption"}, {"C:\\Media\\Frame.bmp", 1, "frame"}}, 0}};
    m.mainFilters = {{1, 0, 1, 12, 0, 3, {{"Colour", "sepia"}}, {{"Vignette.bmp", "strength"}}}};
    m.bin = {{"Beach", "C:\\Media\\Beach.avi"}};
    const Bytes whole = testkit::buildProject(m);
    const Bytes cut(whole.begin(), whole.end() - 40);

    testkit::TempDir dir;
    for (const Bytes& bytes : {whole, cut}) {
        testkit::RecordingFeedback expected;
        ProjectReader memory{std::span<const std::uint8_t>(bytes)};
        const ScanResult fromMemory = scanProject(memory, expected, expected);
        ASSERT_FALSE(expected.checked.empty());
        const std::string path = dir.touch("p.dvc", std::string(bytes.begin(), bytes.end()));
        for (std::size_t size = 1; size <= 16; ++size) {
            SCOPED_TRACE("refills of " + std::to_string(size) + " bytes, " + std::to_string(bytes.size()) + " in all");
            const int fd = ::open(path.c_str(), O_RDONLY);
            ASSERT_GE(fd, 0);
            auto reader = std::make_unique<ProjectReader>(fd, size);
            testkit::RecordingFeedback got;
            const ScanResult result = scanProject(*reader, got, got);
            ::close(fd);
            EXPECT_EQ(got.calls, expected.calls);
            EXPECT_EQ(got.events, expected.events);
            EXPECT_EQ(got.checked, expected.checked);
            EXPECT_EQ(result.damaged, fromMemory.damaged);
            EXPECT_STREQ(result.endedAt.section, fromMemory.endedAt.section);
            EXPECT_EQ(result.endedAt.entry, fromMemory.endedAt.entry);
            EXPECT_EQ(reader->offset(), memory.offset());
        }
    }
}

} // namespace
} // namespace korvane
