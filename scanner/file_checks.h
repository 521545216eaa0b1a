#pragma once

#include "fs/existence_test.h"
#include "report/scan_feedback.h"

#include <string_view>

namespace korvane {

// Where a section reader sends each file it refers to: the file is tested
// with the run's existence test, and the feedback hears fileChecked, now or
// (see LookAheadFeedback) later but in the scan's order.
class FileChecks {
public:
    virtual ~FileChecks() = default;
    // The scan refers to the file `path`, a stored name up to its first zero byte.
    virtual void check(std::string_view path) = 0;
};

// Each test in its turn, while the scan waits.
class ChecksInTurn final : public FileChecks {
public:
    ChecksInTurn(ExistenceTest& exists, ScanFeedback& feedback) : exists_(exists), feedback_(feedback) {}

    void check(std::string_view path) override { feedback_.fileChecked(path, exists_.exists(path)); }

private:
    ExistenceTest& exists_;
    ScanFeedback& feedback_;
};

} // namespace korvane
