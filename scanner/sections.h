#pragma once

// The sections of a project file in file order, with what the scan shows of
// each: the one table the driver and the section readers share.

#include "report/progress.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace korvane {

enum class SectionId {
    MainAV,
    InsertAV,
    ExAudio1,
    ExAudio2,
    Effect,
    Title,
    FilterVisualOfMainAV,
    FilterVisualOfInsertAV,
    FilterAudioOfExAudio1,
    FilterAudioOfExAudio2,
    BinWindow,
};

// Who makes a section's share of the progress bar.
enum class Stepper {
    Reader, // entry by entry; the driver steps it all when the count is 0
    Driver, // all of it, once the reader is done
};

struct Section {
    const char* name;       // the report's heading; where the scan is, for a damaged file
    std::string_view label; // of the status line
    int budget;             // progress steps; 0 for sections that make none
    bool heading;           // whether the report has a heading for it
    Stepper stepper;
};

inline constexpr std::array<Section, 11> kSections = {{
    {"MainAV", "MainAV", 40, true, Stepper::Reader},
    {"InsertAV", "InsertAV", 20, true, Stepper::Reader},
    {"ExAudio1", "ExAudio", 10, true, Stepper::Reader},
    {"ExAudio2", "ExAudio", 10, true, Stepper::Reader},
    // The effects refer to no files.
    {"Effect", "Effect", 20, false, Stepper::Reader},
    {"Title", "Title", 60, true, Stepper::Reader},
    // The filters refer to no files and show only in the status line.
    {"FilterVisual of MainAV", "FilterVisual", 0, false, Stepper::Reader},
    {"FilterVisual of InsertAV", "FilterVisual", 0, false, Stepper::Reader},
    {"FilterAudio of ExAudio1", "FilterAudio", 0, false, Stepper::Reader},
    {"FilterAudio of ExAudio2", "FilterAudio", 0, false, Stepper::Reader},
    {"BinWindow", "BinWindow", 40, true, Stepper::Driver},
}};

constexpr const Section& sectionOf(SectionId id)
{
    return kSections[static_cast<std::size_t>(id)];
}

constexpr int totalBudget()
{
    int sum = 0;
    for (const Section& section : kSections)
        sum += section.budget;
    return sum;
}

// Every run fills the bar: files without some sections step their budgets at once.
static_assert(totalBudget() == kProgressSteps);
static_assert(kSections.size() == static_cast<std::size_t>(SectionId::BinWindow) + 1);

} // namespace korvane
