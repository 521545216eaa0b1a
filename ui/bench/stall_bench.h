#pragma once

// The dialog's long work at archive scale, measured as a user meets it: how
// long the event loop stalls while the work runs and after it, and how soon
// Escape ends it. Each part builds its own files in the current folder.

#include <cstddef>
#include <vector>

namespace korvane::bench {

struct PutBackFigures {
    double planStallMs = 0;    // from opening the put-back dialog to 0.3 s after its plan is shown
    double longestStallMs = 0; // from "Put back" to a second after the outcome is shown
    double planMs = 0;         // until the plan is shown
    double applyMs = 0;        // from "Put back" until the outcome is shown
    std::size_t putBack = 0;   // files put back
};

// `files` moved clips found by a search and put back as hard links in the
// put-back dialog, shown on screen; with `cancelAt`, Cancel is pressed once
// that many are done.
PutBackFigures putBackInDialog(std::size_t files, std::size_t cancelAt = 0);

struct ReportFigures {
    double longestStallMs = 0;    // during a whole run, its closing box aside
    std::size_t lines = 0;        // of the report
    std::vector<double> escapeMs; // Escape to the end of the run, at each share of the report asked for
};

// Process on a project whose report has `lines` lines of missing paths, in
// the main dialog on screen; then, in a new run each, Escape once the report
// box holds each of `escapeShares` of its lines.
ReportFigures reportInDialog(std::size_t lines, const std::vector<double>& escapeShares);

struct SearchFigures {
    double escapeToWalkEndMs = 0; // Escape to the end of the walk's thread
    double longestStallMs = 0;    // from the start of the search to the end of its thread
    std::size_t filesWhenStopped = 0;
};

// "Find missing files in folder..." on a tree of `files` files; Escape once
// the walk has read a fifth of them.
SearchFigures searchEscapeInDialog(std::size_t files);

struct BoxFigures {
    double slowestFrameMs = 0; // the longest append and repaint of one frame's lines
    double framesPerSecond = 0;
};

// A report of `lines` lines appended `perFrame` lines at a time, each time
// drawn on screen, to the report box (`plainTextEdit` false) or to a
// QPlainTextEdit appended to as the box once was.
BoxFigures appendToBox(std::size_t lines, std::size_t perFrame, bool plainTextEdit);

} // namespace korvane::bench
