#pragma once

#include "report/file_probe.h"
#include "report/scan_feedback.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace korvane {

// Shows the status line and a progress bar on a terminal, redrawn at most a
// few dozen times a second.
class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* out) : out_(out) {}
    void reset();
    void step();
    void status(std::string_view text);
    // Erases the line; the next change draws it again.
    void finish();

private:
    void draw(bool force);

    std::FILE* out_;
    int position_ = 0;
    std::string status_;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool drawn_ = false;
};

// The command line's feedback sink: the report byte for byte on `out`, or,
// in trace mode, one line per call on the sink.
class CliFeedback final : public ScanFeedback {
public:
    // `progress` may be null. When the report and the progress share one
    // terminal, the progress line is taken away before report text is written.
    CliFeedback(std::FILE* out, bool trace, TerminalProgress* progress, bool sharedTerminal = false)
        : out_(out), trace_(trace), progress_(progress), sharedTerminal_(sharedTerminal)
    {
    }

    void appendReport(std::string_view text) override;
    void clearReport() override;
    void setStatus(std::string_view text) override;
    void resetProgress() override;
    void stepProgress() override;

    bool anyMissing() const { return anyMissing_; }

protected:
    bool fileExists(std::string_view path) override;

private:
    void traceLine(std::string_view verb, std::string_view text, std::string_view suffix = {});

    std::FILE* out_;
    bool trace_;
    TerminalProgress* progress_;
    bool sharedTerminal_;
    FileProbe probe_;
    bool anyMissing_ = false;
};

// The text of a trace line's quotes: backslash, quote, CR and LF escaped,
// every other byte below 0x20 and every byte from 0x7F as \xHH.
std::string escapeTraceText(std::string_view text);

} // namespace korvane
