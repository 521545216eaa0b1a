// The clip lists of the main, insert and extra audio tracks, and the media bin.

#include "scanner/media_kind.h"
#include "scanner/scan.h"
#include "scanner/section.h"
#include "text/ascii.h"

#include <array>

namespace korvane {

namespace {

using detail::forEachEntry;
using detail::skipRecords;

constexpr std::uint64_t kTrailingPairSize = 6; // 32 bits, 16 bits

enum class Track { Main, Insert };

// The closing part of every clip record: pairCount, two skipped 16-bit
// fields, then pairCount trailing pairs.
void skipPairCountAndPairs(ProjectReader& reader)
{
    const std::int32_t pairCount = reader.readS32();
    reader.skip(4);
    skipRecords(reader, pairCount, kTrailingPairSize);
}

void readClip(ProjectReader& reader, FileChecks& checks, Track track)
{
    CountedName path;
    reader.readName(path);
    const MediaKind kind = mediaKindOf(path.stored());
    switch (kind) {
    case MediaKind::Movie:
        reader.skip(track == Track::Main ? 8 : 12);
        skipPairCountAndPairs(reader);
        checks.check(path.text());
        break;
    case MediaKind::Still:
    case MediaKind::Colour:
        reader.skip(8); // 24, 8, 24 and 8 bits
        if (track == Track::Insert)
            reader.skip(4);
        reader.skipName(); // the second name is never tested
        skipPairCountAndPairs(reader);
        if (kind == MediaKind::Still)
            checks.check(path.text());
        break;
    case MediaKind::Unknown:
        break; // the name alone
    }
}

// A clip whose name is empty is one zero byte that refers to no file: a run
// of them is a run of zero bytes.
std::int64_t passEmptyClips(ProjectReader& reader, std::int64_t most)
{
    return static_cast<std::int64_t>(reader.skipZeros(static_cast<std::uint64_t>(most)));
}

} // namespace

MediaKind mediaKindOf(std::string_view storedName)
{
    if (storedName.size() < 3)
        return MediaKind::Unknown;
    char tail[3];
    for (std::size_t k = 0; k < 3; ++k) {
        tail[k] = asciiLower(storedName[storedName.size() - 3 + k]);
    }
    const std::string_view ending(tail, 3);
    static constexpr std::array<std::string_view, 5> stills = {"bmp", "jpg", "tif", "psd", "tga"};
    if (ending == "avi")
        return MediaKind::Movie;
    if (ending == "clr")
        return MediaKind::Colour;
    for (const std::string_view still : stills) {
        if (ending == still)
            return MediaKind::Still;
    }
    return MediaKind::Unknown;
}

void scanMainAV(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count)
{
    forEachEntry(
        reader, feedback, sectionOf(SectionId::MainAV), count, [&] { readClip(reader, checks, Track::Main); },
        [&](std::int64_t most) { return passEmptyClips(reader, most); });
}

void scanInsertAV(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count)
{
    forEachEntry(
        reader, feedback, sectionOf(SectionId::InsertAV), count, [&] { readClip(reader, checks, Track::Insert); },
        [&](std::int64_t most) { return passEmptyClips(reader, most); });
}

void scanExAudio(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count,
                 SectionId section)
{
    forEachEntry(reader, feedback, sectionOf(section), count, [&] {
        CountedName path;
        reader.readName(path);
        reader.skip(12);
        skipPairCountAndPairs(reader);
        checks.check(path.text());
    });
}

void scanBinWindow(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count)
{
    forEachEntry(reader, feedback, sectionOf(SectionId::BinWindow), count, [&] {
        reader.skipName(); // the first name is never tested
        CountedName path;
        reader.readName(path);
        reader.skip(16);
        if (mediaKindOf(path.stored()) != MediaKind::Colour)
            checks.check(path.text());
    });
}

} // namespace korvane
