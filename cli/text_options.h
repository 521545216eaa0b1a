#pragma once

#include "report/scan_feedback.h"

#include <cstddef>
#include <string_view>

namespace korvane {

// How the parts of korvane-scan's text after the report are written.
struct TextOptions {
    std::string_view lineEnd = kLineEnd; // the report's
    // Missing paths as their decoded text instead of the stored bytes.
    bool decodedPaths = false;
    // Candidates shown for each missing file; the rest are counted.
    std::size_t maxCandidates = 5;
};

} // namespace korvane
