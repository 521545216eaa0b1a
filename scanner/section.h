#pragma once

#include "report/progress.h"
#include "report/scan_feedback.h"
#include "scanner/project_reader.h"
#include "scanner/sections.h"

#include <cstdint>

namespace korvane::detail {

// The frame every section reader shares: entry by entry while j < count, the
// entry itself, then the status line, then the progress steps. Once the end
// of the file has been passed no new entry is begun, and what is left of the
// budget is stepped at once; after a stop no new entry is begun and nothing
// more is stepped. A section the driver steps makes no steps here.
//
// Where the feedback does not need the status of every entry, `passEmpty(n)`
// may pass over up to n entries that refer to no file at once and says how
// many it passed (0: the next entry is read as usual); the status is then
// told for the last of them.
template <class ReadEntry, class PassEmpty>
void forEachEntry(ProjectReader& reader, ScanFeedback& feedback, const Section& section, std::int64_t count,
                  ReadEntry&& readEntry, PassEmpty&& passEmpty)
{
    const int budget = section.stepper == Stepper::Reader ? section.budget : 0;
    const bool inRuns = !feedback.statusOfEveryEntry();
    SectionProgress progress(feedback, count, budget);
    for (std::int64_t j = 0; j < count && !reader.halted(); ++j) {
        reader.mark(section.name, j + 1, count);
        const std::int64_t passed = inRuns ? passEmpty(count - j) : 0;
        if (passed > 0)
            j += passed - 1;
        else
            readEntry();
        // Counts show as signed 32-bit numbers, the unsigned ones of the filters too.
        feedback.entryStatus(section.label, static_cast<std::int32_t>(j + 1), static_cast<std::int32_t>(count));
        if (budget > 0)
            progress.afterEntry(j);
    }
    if (!reader.stopRequested())
        progress.finish();
}

// `count` items of `size` bytes each, none when count is 0 or negative.
inline void skipRecords(ProjectReader& reader, std::int32_t count, std::uint64_t size)
{
    if (count > 0)
        reader.skip(static_cast<std::uint64_t>(count) * size);
}

template <class ReadEntry>
void forEachEntry(ProjectReader& reader, ScanFeedback& feedback, const Section& section, std::int64_t count,
                  ReadEntry&& readEntry)
{
    forEachEntry(reader, feedback, section, count, readEntry, [](std::int64_t) { return std::int64_t{0}; });
}

} // namespace korvane::detail
