// The visual and audio filter records of every clip, from version 519 on.
// Nothing in them refers to a file the scan tests: they are passed over so
// that the bin behind them is read in step. All their numbers are unsigned.

#include "scanner/scan.h"
#include "scanner/section.h"

namespace korvane {

namespace {

using detail::forEachEntry;

std::uint32_t readCount(ProjectReader& reader)
{
    return static_cast<std::uint32_t>(reader.readS32());
}

// A list of entries: a count, then each entry's counted name, data size and data.
void skipFilterEntries(ProjectReader& reader)
{
    const std::uint32_t count = readCount(reader);
    for (std::uint32_t k = 0; k < count && !reader.halted(); ++k) {
        reader.skipName();
        reader.skip(readCount(reader));
    }
}

} // namespace

void scanFilterVisual(ProjectReader& reader, ScanFeedback& feedback, std::uint32_t clipCount, SectionId section)
{
    forEachEntry(reader, feedback, sectionOf(section), clipCount, [&] {
        const std::uint32_t block1 = readCount(reader);
        const std::uint32_t block2 = readCount(reader);
        const std::uint32_t block3 = readCount(reader);
        reader.skip(3 * 4);
        if (block1 == 1) {
            // The size counts its own four bytes.
            const std::uint32_t size = readCount(reader);
            if (size > 4)
                reader.skip(size - 4);
        }
        if (block2 == 1) {
            reader.skip(4);
            reader.skip(readCount(reader));
        }
        if (block3 == 1)
            reader.skip(readCount(reader));
        skipFilterEntries(reader);
        skipFilterEntries(reader);
    });
}

void scanFilterAudio(ProjectReader& reader, ScanFeedback& feedback, std::uint32_t clipCount, SectionId section)
{
    forEachEntry(reader, feedback, sectionOf(section), clipCount,
                 [&] { skipFilterEntries(reader); });
}

} // namespace korvane
