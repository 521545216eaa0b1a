#pragma once

#include "paths/path_resolver.h"
#include "report/scan_feedback.h"
#include "report/throttle.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace korvane {

class TerminalProgress;

// One line on a terminal shared by the runs of several projects: only the
// run it belongs to draws on it, after the text of `prefix` ("2/5 projects").
// Who owns it and the prefix change under `mutex`.
struct ProgressLine {
    std::mutex mutex;
    const TerminalProgress* owner = nullptr;
    std::string prefix;
    bool drawn = false;

    // Erases the line, when drawn, and gives it to `next` (may be null).
    void handOver(std::FILE* out, const TerminalProgress* next, std::string nextPrefix);
};

// Shows the status line and a progress bar on a terminal, redrawn at most
// every 50 ms; between runs also a line of free text. With a shared `line`
// it draws only while it owns the line, and the line stays drawn or erased
// as the line says.
class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* out, ProgressLine* line = nullptr) : out_(out), line_(line) {}
    void reset();
    void step();
    void status(std::string_view text);
    // The status line of an entry, told for every entry of a scan: kept as
    // it is and made into text only when it is drawn. The clock is asked
    // once in a while, not for every entry. `label` is static text, as
    // ScanFeedback::entryStatus promises.
    void entry(std::string_view label, std::int32_t entry, std::int32_t count)
    {
        label_ = label;
        entry_ = entry;
        count_ = count;
        entryPending_ = true;
        if (++sinceClock_ >= kEntriesPerClockLook)
            lookAtClock();
    }
    // Work that may take long happened since the last entry (an existence
    // test): the clock is asked sooner.
    void busy() { sinceClock_ += kBusyWeight; }
    // Shows `text` instead of the bar, cut to the terminal's width; `force`
    // draws it even when the last drawing was a moment ago.
    void text(std::string_view text, bool force = false);
    // Erases the line; the next change draws it again.
    void finish();

private:
    void lookAtClock();
    void draw(bool force);
    void show(const std::string& line);

    // Entries told between two looks at the clock; an existence test counts
    // as kBusyWeight of them.
    static constexpr int kEntriesPerClockLook = 64;
    static constexpr int kBusyWeight = 8;

    std::FILE* out_;
    ProgressLine* line_;
    int position_ = 0;
    std::string status_;
    // The entry told last, when it is newer than status_.
    bool entryPending_ = false;
    std::string_view label_;
    std::int32_t entry_ = 0;
    std::int32_t count_ = 0;
    int sinceClock_ = 0;
    Throttle redraw_{std::chrono::milliseconds(50)};
    bool drawn_ = false;
};

// The command line's feedback sink: the report byte for byte on `out` (or,
// with `utf8`, its paths decoded), or, in trace mode, one line per call on
// the sink. A null `out` writes no report. With `quoteNames` (`out` is a
// terminal) each missing path is written as quoteName shows it, so that no
// name can move the cursor, talk to the terminal or end a line; headings and
// line ends stay as they are. `resolver` decodes the names for `utf8`.
class CliFeedback final : public ScanFeedback {
public:
    struct Output {
        std::FILE* out = nullptr;
        bool trace = false;
        bool utf8 = false;
        bool quoteNames = false; // not in trace mode, which escapes every byte its own way
        // May be null. When the report and the progress share one terminal,
        // the progress line is taken away before report text is written.
        TerminalProgress* progress = nullptr;
        bool sharedTerminal = false;
    };

    CliFeedback(const Output& output, PathResolver& resolver) : output_(output), resolver_(resolver) {}

    void appendReport(std::string_view text) override;
    void clearReport() override;
    void setStatus(std::string_view text) override;
    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override;
    // Only the trace shows every status line.
    bool statusOfEveryEntry() const override { return output_.trace; }
    void resetProgress() override;
    void stepProgress() override;
    void missingFile(std::string_view path) override;
    // Notes a file not found; the trace shows every test.
    void fileChecked(std::string_view path, bool found) override;

    bool anyMissing() const { return anyMissing_; }
    // The report's lines of missing paths so far.
    std::size_t missingCount() const { return missingCount_; }

private:
    void writeReport(std::string_view text);
    void traceLine(std::string_view verb, std::string_view text, std::string_view suffix = {});

    Output output_;
    PathResolver& resolver_;
    bool anyMissing_ = false;
    std::size_t missingCount_ = 0;
};

// The text of a trace line's quotes: backslash, quote, CR and LF escaped,
// every other byte below 0x20 and every byte from 0x7F as \xHH.
std::string escapeTraceText(std::string_view text);

} // namespace korvane
