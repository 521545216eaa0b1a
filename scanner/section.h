#pragma once

#include "report/progress.h"
#include "report/scan_feedback.h"
#include "scanner/project_reader.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace korvane::detail {

// Writes the decimal digits of v at out[pos]; returns the new position.
inline std::size_t appendNumber(char* out, std::size_t pos, std::int32_t v)
{
    std::uint32_t magnitude = static_cast<std::uint32_t>(v);
    if (v < 0) {
        out[pos++] = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (n > 0)
        out[pos++] = digits[--n];
    return pos;
}

// "[Label] %d / %d": the entry just read and the section's count, as signed
// 32-bit numbers. Labels are short: the text always fits.
inline std::string_view formatStatus(std::array<char, 64>& out, std::string_view label, std::int32_t entry,
                                     std::int32_t count)
{
    std::size_t pos = 0;
    out[pos++] = '[';
    for (const char c : label)
        out[pos++] = c;
    out[pos++] = ']';
    out[pos++] = ' ';
    pos = appendNumber(out.data(), pos, entry);
    out[pos++] = ' ';
    out[pos++] = '/';
    out[pos++] = ' ';
    pos = appendNumber(out.data(), pos, count);
    return {out.data(), pos};
}

struct Section {
    const char* name;       // where the scan is, for a damaged file
    std::string_view label; // of the status line
    int budget;             // progress steps; 0 for sections that make none
};

// The frame every section reader shares: entry by entry while j < count, the
// entry itself, then the status line, then the progress steps. Once the end
// of the file has been passed no new entry is begun, and what is left of the
// budget is stepped at once.
template <class ReadEntry>
void forEachEntry(ProjectReader& reader, ScanFeedback& feedback, const Section& section, std::int64_t count,
                  ReadEntry&& readEntry)
{
    SectionProgress progress(feedback, count, section.budget);
    std::array<char, 64> status;
    for (std::int64_t j = 0; j < count && !reader.passedEnd(); ++j) {
        reader.mark(section.name, j + 1, count);
        readEntry();
        feedback.setStatus(formatStatus(status, section.label, static_cast<std::int32_t>(j + 1),
                                        static_cast<std::int32_t>(count)));
        if (section.budget > 0)
            progress.afterEntry(j);
    }
    progress.finish();
}

// `count` items of `size` bytes each, none when count is 0 or negative.
inline void skipRecords(ProjectReader& reader, std::int32_t count, std::uint64_t size)
{
    if (count > 0)
        reader.skip(static_cast<std::uint64_t>(count) * size);
}

} // namespace korvane::detail
