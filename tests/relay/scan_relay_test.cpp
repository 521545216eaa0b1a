// The dialog's relay between a scan on a thread of its own and the GUI
// thread, without Qt: however the GUI thread takes the changes, and
// however often, what it applies in order is the report, the status line
// and the progress a scan in turn gives. Under ThreadSanitizer this is the
// relay's race test.

#include "report/progress.h"
#include "run/run.h"
#include "tests/builder/project_builder.h"
#include "tests/temp_dir.h"
#include "ui/scan_relay.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace korvane {
namespace {

// The report as the GUI thread shows it, from the changes it took.
struct Shown {
    std::string report;
    std::string status;
    int steps = 0;

    void apply(ui::RelayedChange&& change)
    {
        if (change.reportCleared)
            report.clear();
        report += change.report;
        if (change.statusChanged)
            status = change.status;
        if (change.progressReset)
            steps = 0;
        steps += change.steps;
    }
};

// A sink that keeps what a scan says, as the relay should hand it over.
class Plain final : public ScanFeedback {
public:
    Shown shown;
    void appendReport(std::string_view text) override { shown.report += text; }
    void clearReport() override { shown.report.clear(); }
    void setStatus(std::string_view text) override { shown.status = text; }
    void resetProgress() override { shown.steps = 0; }
    void stepProgress() override { ++shown.steps; }
};

TEST(ScanRelay, TheGuiThreadShowsWhatTheScanSaidWhicheverWayItTakesTheChanges)
{
    const testkit::TempDir dir;
    testkit::ProjectModel model;
    for (int k = 0; k < 3000; ++k) {
        const std::string clip = "D:\\Video\\Day" + std::to_string(k % 7) + "\\clip" + std::to_string(k) + ".avi";
        model.mainAV.push_back({clip});
        model.bin.push_back({"clip", clip});
    }
    const std::string project = dir / "p.dvc";
    testkit::writeFile(project, testkit::buildProject(model));
    RunOptions options;
    options.jobs = 4;

    Plain inTurn;
    korvane::Run direct(options);
    ProjectScan directScan = direct.project(project);
    direct.scan(directScan, inTurn);

    // The GUI thread takes as soon as it is woken, or only now and then.
    for (const bool eager : {true, false}) {
        korvane::Run run(options);
        ProjectScan scan = run.project(project);
        std::atomic<int> wakes{0};
        ui::ScanRelay relay([&scan](std::string_view path) { return scan.resolver().exists(path); },
                            &scan.resolver(), [&wakes] { ++wakes; });
        std::atomic<bool> ended{false};
        std::thread scanning([&] {
            ScanOptions scanOptions;
            scanOptions.exists = &relay;
            runScan(project, relay, scanOptions);
            relay.finish();
            ended = true;
        });
        Shown shown;
        while (!ended) {
            if (eager || wakes > 0)
                shown.apply(relay.take());
            if (!eager)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        scanning.join();
        shown.apply(relay.take());
        EXPECT_EQ(shown.report, inTurn.shown.report) << (eager ? "eager" : "now and then");
        EXPECT_EQ(shown.status, inTurn.shown.status);
        EXPECT_EQ(shown.steps, kProgressSteps);
        EXPECT_EQ(relay.missing().size(), 6000u);
    }
}

} // namespace
} // namespace korvane
