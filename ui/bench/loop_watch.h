#pragma once

// How long the event loop goes without turning while it is watched: the
// longest time a window could neither draw nor take a key. A timer of one
// millisecond notes each turn of the loop.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace korvane::bench {

class LoopWatch {
public:
    LoopWatch()
    {
        clock_.start();
        tick_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
        tick_.start(1);
    }

    // The longest gap so far, the one going on now included, in milliseconds.
    double longestMs() const
    {
        return static_cast<double>(std::max(longest_, clock_.nsecsElapsed() - last_)) / 1e6;
    }

private:
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    QTimer tick_;
};

} // namespace korvane::bench
