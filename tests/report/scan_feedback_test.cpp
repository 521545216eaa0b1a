// What a sink sees of the scan's events when it does not override them: the
// report and status texts the events stand for, call for call.

#include "tests/recording_feedback.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {
namespace {

using testkit::RecordingFeedback;

TEST(ScanFeedback, EachEventRendersAsTheCallsOfTheReportAndStatusLine)
{
    const std::string longLabel(100, 'L');
    struct Case {
        const char* what;
        std::function<void(ScanFeedback&)> event;
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"heading", [](ScanFeedback& f) { f.beginSection("InsertAV"); }, {"append [InsertAV]\r\n"}},
        {"heading of a filter section", [](ScanFeedback& f) { f.beginSection("FilterAudio of ExAudio2"); },
         {"append [FilterAudio of ExAudio2]\r\n"}},
        {"missing path", [](ScanFeedback& f) { f.missingFile("D:\\Video\\a.avi"); },
         {"append D:\\Video\\a.avi", "append \r\n"}},
        {"missing empty path", [](ScanFeedback& f) { f.missingFile(""); }, {"append ", "append \r\n"}},
        {"status", [](ScanFeedback& f) { f.entryStatus("ExAudio", 1, 3); }, {"status [ExAudio] 1 / 3"}},
        {"status of the extremes", [](ScanFeedback& f) { f.entryStatus("FilterVisual", INT32_MIN, -1); },
         {"status [FilterVisual] -2147483648 / -1"}},
        {"status of the largest count", [](ScanFeedback& f) { f.entryStatus("Title", INT32_MAX, INT32_MAX); },
         {"status [Title] 2147483647 / 2147483647"}},
        {"status with a long label", [&](ScanFeedback& f) { f.entryStatus(longLabel, -7, 0); },
         {"status [" + longLabel + "] -7 / 0"}},
        {"existence test that finds", [](ScanFeedback& f) { f.fileChecked("here.avi", true); },
         {"check here.avi found"}},
        {"existence test that misses", [](ScanFeedback& f) { f.fileChecked("gone.avi", false); },
         {"check gone.avi missing", "append gone.avi", "append \r\n"}},
    };
    for (const Case& c : cases) {
        RecordingFeedback f;
        f.present = {"here.avi"};
        c.event(f);
        EXPECT_EQ(f.calls, c.calls) << c.what;
    }
}

} // namespace
} // namespace korvane
