#include "ui/scan_relay.h"

#include "report/progress.h"
#include "text/ascii.h"
#include "text/unicode_text.h"

#include <utility>

namespace korvane::ui {

void RelayedChange::merge(RelayedChange&& later)
{
    if (later.reportCleared) {
        reportCleared = true;
        report = std::move(later.report);
    } else if (report.empty()) {
        report = std::move(later.report);
    } else {
        report += later.report;
    }
    if (later.statusChanged) {
        statusChanged = true;
        status = std::move(later.status);
    }
    if (later.progressReset) {
        progressReset = true;
        steps = later.steps;
    } else {
        steps += later.steps;
    }
}

ScanRelay::ScanRelay(std::function<bool(std::string_view)> exists, PathResolver* resolver, std::function<void()> wake)
    : exists_(std::move(exists)), resolver_(resolver), wake_(std::move(wake))
{
}

RelayedChange ScanRelay::take()
{
    RelayedChange change;
    {
        const std::lock_guard lock(mutex_);
        std::swap(change, waiting_);
        if (change.empty())
            wakeWanted_.store(true, std::memory_order_relaxed);
    }
    taken_.notify_all();
    return change;
}

void ScanRelay::abandon()
{
    {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    taken_.notify_all();
}

void ScanRelay::finish()
{
    publish();
}

void ScanRelay::publish()
{
    if (entryPending_) {
        gathered_.statusChanged = true;
        gathered_.status = entryStatusText(entryLabel_, entry_, entryCount_);
        entryPending_ = false;
    }
    if (gathered_.empty())
        return;
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        waiting_.merge(std::move(gathered_));
        wake = wakeWanted_.exchange(false, std::memory_order_relaxed);
    }
    gathered_ = RelayedChange();
    if (wake)
        wake_();
}

void ScanRelay::publishWhenTaken()
{
    {
        // The GUI thread takes what waits at least once a frame.
        std::unique_lock lock(mutex_);
        taken_.wait(lock, [this] { return waiting_.report.empty() || abandoned_; });
    }
    publish();
}

void ScanRelay::changed()
{
    if (gathered_.report.size() > kMaxWaitingText)
        publishWhenTaken();
    else if (wakeWanted_.load(std::memory_order_relaxed))
        publish();
}

void ScanRelay::appendDecoded(std::string_view text)
{
    // ASCII reads the same in every code page, and it is nearly all a
    // report holds: the line ends, the headings and most paths.
    if (isAscii(text))
        gathered_.report.append(text);
    else
        gathered_.report += resolver_ ? resolver_->decoded(text) : toValidUtf8(text);
}

void ScanRelay::appendReport(std::string_view text)
{
    appendDecoded(text);
    changed();
}

void ScanRelay::missingFile(std::string_view path)
{
    const std::size_t at = gathered_.report.size();
    appendDecoded(path);
    missing_.add(path, std::string_view(gathered_.report).substr(at));
    gathered_.report.append(kLineEnd);
    changed();
}

void ScanRelay::clearReport()
{
    gathered_.reportCleared = true;
    gathered_.report.clear();
    changed();
}

void ScanRelay::setStatus(std::string_view text)
{
    entryPending_ = false;
    gathered_.statusChanged = true;
    gathered_.status.assign(text);
    changed();
}

void ScanRelay::entryStatus(std::string_view label, std::int32_t entry, std::int32_t count)
{
    // Called for every entry: the text is made only when it is handed over.
    entryLabel_ = label;
    entry_ = entry;
    entryCount_ = count;
    entryPending_ = true;
    changed();
}

void ScanRelay::resetProgress()
{
    gathered_.progressReset = true;
    gathered_.steps = 0;
    changed();
}

void ScanRelay::stepProgress()
{
    ++gathered_.steps;
    changed();
}

bool ScanRelay::exists(std::string_view path)
{
    // A test may take long on a slow share: what came before it is shown meanwhile.
    publish();
    return exists_(path);
}

} // namespace korvane::ui
