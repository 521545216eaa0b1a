#pragma once

// The feedback of a scan that runs on a thread of its own, for a window
// that shows it on the GUI thread. The scan thread's events are gathered
// into one change (the report's new text, decoded; the last status line;
// the progress steps), which the GUI thread takes whole when it wants to
// show it: one hand-over per frame, however many events came. What is taken
// in order, applied in order, is exactly what the events said. The report
// text waiting to be taken is bounded: past kMaxWaitingText the scan
// thread waits until the GUI thread has taken it. Plain C++, free of Qt.

#include "fs/existence_test.h"
#include "paths/path_resolver.h"
#include "report/scan_feedback.h"
#include "ui/missing_paths.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace korvane::ui {

// A change of the report box, the status line and the progress bar.
struct RelayedChange {
    bool reportCleared = false; // before `report`: the box is emptied
    std::string report = {};    // UTF-8, appended to the report box
    bool statusChanged = false;
    std::string status = {}; // the status line's new text, when statusChanged
    bool progressReset = false; // before `steps`: range 0 to 200, step 1, position 0
    int steps = 0;

    bool empty() const { return !reportCleared && report.empty() && !statusChanged && !progressReset && steps == 0; }
    // `later` happened after this change: the two become one.
    void merge(RelayedChange&& later);
};

class ScanRelay final : public ScanFeedback, public ExistenceTest {
public:
    // Report text that may wait for the GUI thread before the scan waits.
    static constexpr std::size_t kMaxWaitingText = std::size_t{4} << 20;

    // `exists` is the existence test, called on the scan thread. `resolver`
    // decodes the stored names of the report; it belongs to the scan thread
    // while the run lasts (null: names are shown as UTF-8). `wake` is called
    // on the scan thread when a change waits and the GUI thread asked to be
    // told; it must only post a call to take().
    ScanRelay(std::function<bool(std::string_view)> exists, PathResolver* resolver, std::function<void()> wake);

    // GUI thread: the change handed over since the last take. When there is
    // none, the next one wakes the GUI thread; otherwise the GUI thread
    // takes again when it is ready to show more (once a frame).
    RelayedChange take();
    // GUI thread: the scan thread no longer waits for takes; for a window
    // that goes away while a scan still runs.
    void abandon();

    // Scan thread, once the scan has ended: whatever is left waits for take().
    void finish();

    // After the run (the scan thread has ended): the missing paths it
    // reported, as stored and as shown.
    MissingPaths& missing() { return missing_; }

    void appendReport(std::string_view text) override;
    void clearReport() override;
    void setStatus(std::string_view text) override;
    void resetProgress() override;
    void stepProgress() override;
    void missingFile(std::string_view path) override;
    void entryStatus(std::string_view label, std::int32_t entry, std::int32_t count) override;
    // The scan's existence test: `exists`, once what came before is handed over.
    bool exists(std::string_view path) override;

private:
    void appendDecoded(std::string_view text);
    // Hands the gathered change over; wakes the GUI thread where it asked.
    void publish();
    // Hands it over once the GUI has taken the last one (or abandoned it).
    void publishWhenTaken();
    void changed();

    std::function<bool(std::string_view)> exists_;
    PathResolver* resolver_;
    std::function<void()> wake_;
    MissingPaths missing_;

    // The scan thread's own: gathered since the last hand-over. An entry's
    // status line is made only when it is handed over.
    RelayedChange gathered_;
    std::string_view entryLabel_;
    std::int32_t entry_ = 0;
    std::int32_t entryCount_ = 0;
    bool entryPending_ = false;

    std::mutex mutex_;
    std::condition_variable taken_;
    RelayedChange waiting_;   // handed over, not yet taken
    std::atomic<bool> wakeWanted_{true}; // the GUI thread wants to be told of the next change
    bool abandoned_ = false;
};

} // namespace korvane::ui
