// The Effect and Title lists of projects from version 512 on.

#include "scanner/scan.h"
#include "scanner/section.h"

#include <cstring>
#include <memory>

namespace korvane {

namespace {

using detail::forEachEntry;

// A size, then its data in whole 32-bit words; none for a size of 0 or below.
void skipWordBlock(ProjectReader& reader)
{
    const std::int32_t size = reader.readS32();
    if (size > 0)
        reader.skip((static_cast<std::uint64_t>(size) + 3) & ~std::uint64_t{3});
}

constexpr std::uint16_t kFlaggedItemsFrom = 519;
constexpr std::uint16_t kItemsWithoutFlag = 768;

// Behind an item's text: nine 32-bit fields, a counted name, four 32-bit
// fields, a byte, twenty-two 32-bit fields and three groups of 188, 192 and
// 96 bytes.
constexpr std::uint64_t kItemFieldsBeforeName = 9 * 4;
constexpr std::uint64_t kItemFieldsAfterName = 4 * 4 + 1 + 22 * 4 + 188 + 192 + 96;

// Item texts take up to 65535 bytes; the whole text is kept so that a long
// path is tested as stored, not cut short.
constexpr std::int64_t kItemTextSize = 65536;

} // namespace

void scanEffect(ProjectReader& reader, ScanFeedback& feedback, std::int32_t count)
{
    forEachEntry(reader, feedback, sectionOf(SectionId::Effect), count, [&] {
        reader.skip(3 * 4 + 2);
        reader.skipName();
        reader.skip(5 * 4);
        skipWordBlock(reader);
        reader.skipName();
    });
}

void scanTitle(ProjectReader& reader, ScanFeedback& feedback, FileChecks& checks, std::int32_t count,
               std::uint16_t version)
{
    const bool flagged = version >= kFlaggedItemsFrom;
    // The flag belongs to the section: an item without one is tested by the
    // flag the last flagged item left, possibly one of an earlier title.
    std::uint32_t itemFlag = 0;
    std::unique_ptr<char[]> itemText;

    forEachEntry(reader, feedback, sectionOf(SectionId::Title), count, [&] {
        reader.skip(3 * 4);
        reader.skipName();
        skipWordBlock(reader);
        reader.skip(4);
        reader.skipName();
        skipWordBlock(reader);
        std::uint16_t itemLayout = 0;
        if (flagged) {
            itemLayout = reader.readU16();
            reader.skip(2 + 4);
        }
        const std::int32_t itemCount = reader.readS32();
        for (std::int32_t k = 0; k < itemCount && !reader.halted(); ++k) {
            if (flagged && itemLayout != kItemsWithoutFlag)
                itemFlag = static_cast<std::uint32_t>(reader.readS32());
            std::int64_t length = reader.readByte();
            if (length == 255)
                length = reader.readU16();
            if (itemFlag == 1) {
                if (!itemText)
                    itemText = std::make_unique<char[]>(kItemTextSize);
                reader.readChars(itemText.get(), length + 1);
                checks.check(textBeforeZero({itemText.get(), static_cast<std::size_t>(length)}));
            } else {
                reader.skip(static_cast<std::uint64_t>(length));
            }
            reader.skip(kItemFieldsBeforeName);
            reader.skipName();
            reader.skip(kItemFieldsAfterName);
        }
        reader.skipName();
    });
}

} // namespace korvane
