#pragma once

#include "report/scan_feedback.h"

#include <cstdint>

namespace korvane {

inline constexpr int kProgressSteps = 200;

// The steps of one section's share of the progress bar. After entry j
// (from 0) of n the bar has made ((j + 1) * budget) / n steps, so a section
// read to its end makes exactly its budget. The product is taken in 64 bits:
// it cannot overflow for any count the file can hold.
class SectionProgress {
public:
    SectionProgress(ScanFeedback& feedback, std::int64_t count, int budget)
        : feedback_(feedback), count_(count), budget_(budget)
    {
        planNextStep();
    }

    void afterEntry(std::int64_t j)
    {
        // Called for every entry, most of which make no step: one comparison.
        if (j < nextStep_)
            return;
        const std::int64_t due = (j + 1) * budget_ / count_;
        for (; made_ < due; ++made_)
            feedback_.stepProgress();
        planNextStep();
    }

    // Steps what is left of the budget: a section whose entries stopped at
    // the end of a damaged file still leaves the bar where a complete run
    // would. Nothing for a count of 0 or below: the driver owns those.
    void finish()
    {
        if (count_ <= 0)
            return;
        for (; made_ < budget_; ++made_)
            feedback_.stepProgress();
    }

private:
    // The first entry after which the next step is due: the least j with
    // (j + 1) * budget / count > made, that is (j + 1) * budget >= (made + 1) * count.
    void planNextStep()
    {
        if (count_ <= 0 || made_ >= budget_) {
            nextStep_ = INT64_MAX;
            return;
        }
        const std::int64_t need = (made_ + 1) * count_;
        nextStep_ = (need + budget_ - 1) / budget_ - 1;
    }

    ScanFeedback& feedback_;
    std::int64_t count_;
    std::int64_t budget_;
    std::int64_t made_ = 0;
    std::int64_t nextStep_ = 0;
};

inline void stepProgress(ScanFeedback& feedback, int steps)
{
    for (int i = 0; i < steps; ++i)
        feedback.stepProgress();
}

} // namespace korvane
