#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// Everything a scan tells the user passes through this sink: the report of
// missing files, the status line and the 200-step progress bar. It only
// hears: whether a file exists is asked of the existence test the scan is
// given (fs/existence_test.h). The dialog adapts it to widgets, the command
// line prints it, the tests record it.
//
// The scan speaks in events (a section begins, a path is missing, an entry
// is done); each has a default rendering into the plain calls below, which
// is what the report and the status line show. A sink that needs the
// structure overrides an event; one that only shows text need not.
class ScanFeedback {
public:
    virtual ~ScanFeedback() = default;

    virtual void appendReport(std::string_view text) = 0;
    virtual void clearReport() = 0;
    virtual void setStatus(std::string_view text) = 0;
    // Range 0 to 200, step 1, position 0.
    virtual void resetProgress() = 0;
    virtual void stepProgress() = 0;

    // A section of the report begins; by default its heading "[name]" and a line end, in one append.
    virtual void beginSection(std::string_view name);
    // A path was not found; by default the path, then a line end, in two appends.
    virtual void missingFile(std::string_view path);
    // Entry `entry` of `count` of a section is done; by default the status
    // line entryStatusText(label, entry, count). Called for every entry, so a
    // sink that shows the status line only now and then overrides it and
    // formats the text only when it shows it. `label` is static text (the
    // section table's): a sink may keep the view.
    virtual void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count);
    // Whether entryStatus must be told for every entry. A sink that answers
    // false may be told only the last of a run of entries that refer to no
    // file, which the scan then passes over at once.
    virtual bool statusOfEveryEntry() const { return true; }

    // The existence test of one referenced file has answered; by default a
    // path that was not found is a missing file (missingFile). `path` is the
    // stored name as the scanner read it, up to its first zero byte.
    virtual void fileChecked(std::string_view path, bool found);
};

inline constexpr std::string_view kLineEnd = "\r\n";

// The status line of an entry: "[label] entry / count".
std::string entryStatusText(std::string_view label, std::int32_t entry, std::int32_t count);

inline void ScanFeedback::fileChecked(std::string_view path, bool found)
{
    if (!found)
        missingFile(path);
}

} // namespace korvane
