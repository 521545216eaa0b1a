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
// budget is stepped at once. A section the driver steps makes no steps here.
template <class ReadEntry>
void forEachEntry(ProjectReader& reader, ScanFeedback& feedback, const Section& section, std::int64_t count,
                  ReadEntry&& readEntry)
{
    const int budget = section.stepper == Stepper::Reader ? section.budget : 0;
    SectionProgress progress(feedback, count, budget);
    for (std::int64_t j = 0; j < count && !reader.passedEnd(); ++j) {
        reader.mark(section.name, j + 1, count);
        readEntry();
        // Counts show as signed 32-bit numbers, the unsigned ones of the filters too.
        feedback.entryStatus(section.label, static_cast<std::int32_t>(j + 1), static_cast<std::int32_t>(count));
        if (budget > 0)
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
