#pragma once

// Paces the repaints of a window that changes faster than a screen can show:
// a change is painted when at least one frame has passed since the last
// paint, and the last change before a pause is painted by whoever forces it.

#include "report/throttle.h"

#include <chrono>
#include <utility>

namespace korvane::ui {

class RepaintPacer {
public:
    using Clock = Throttle::Clock;
    using ClockSource = Throttle::ClockSource;

    void setClock(ClockSource now) { throttle_.setClock(std::move(now)); }
    // A screen that does not say its rate (below one frame a second) counts
    // as 60 frames a second.
    void setFrameRate(double framesPerSecond)
    {
        const double rate = framesPerSecond >= 1.0 ? framesPerSecond : 60.0;
        throttle_.setInterval(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate)));
    }
    Clock::duration frame() const { return throttle_.interval(); }

    // Whether a change now may be painted.
    bool due() const { return throttle_.due(); }
    void painted() { throttle_.markDone(); }

private:
    Throttle throttle_{std::chrono::milliseconds(16)};
};

} // namespace korvane::ui
