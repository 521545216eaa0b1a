#pragma once

#include "paths/path_resolver.h"
#include "report/scan_feedback.h"
#include "report/throttle.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace korvane {

// Shows the status line and a progress bar on a terminal, redrawn at most a
// few dozen times a second; between runs also a line of free text.
class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* out) : out_(out) {}
    void reset();
    void step();
    void status(std::string_view text);
    // Shows `text` instead of the bar, cut to the terminal's width; `force`
    // draws it even when the last drawing was a moment ago.
    void text(std::string_view text, bool force = false);
    // Erases the line; the next change draws it again.
    void finish();

private:
    void draw(bool force);
    void show(const std::string& line);

    std::FILE* out_;
    int position_ = 0;
    std::string status_;
    Throttle redraw_{std::chrono::milliseconds(40)};
    bool drawn_ = false;
};

// The command line's feedback sink: the report byte for byte on `out` (or,
// with `utf8`, its paths decoded), or, in trace mode, one line per call on
// the sink. A null `out` writes no report. With `quoteNames` (`out` is a
// terminal) each missing path is written as quoteName shows it, so that no
// name can move the cursor, talk to the terminal or end a line; headings and
// line ends stay as they are. The existence test is the resolver's.
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
    void resetProgress() override;
    void stepProgress() override;
    void missingFile(std::string_view path) override;

    bool anyMissing() const { return anyMissing_; }

protected:
    bool fileExists(std::string_view path) override;

private:
    void writeReport(std::string_view text);
    void traceLine(std::string_view verb, std::string_view text, std::string_view suffix = {});

    Output output_;
    PathResolver& resolver_;
    bool anyMissing_ = false;
};

// The text of a trace line's quotes: backslash, quote, CR and LF escaped,
// every other byte below 0x20 and every byte from 0x7F as \xHH.
std::string escapeTraceText(std::string_view text);

} // namespace korvane
