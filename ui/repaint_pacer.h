#pragma once

// Paces the repaints of a window that changes faster than a screen can show:
// a change is painted when at least one frame has passed since the last
// paint, and the last change before a pause is painted by whoever forces it.

#include <chrono>
#include <functional>

namespace korvane::ui {

class RepaintPacer {
public:
    using Clock = std::chrono::steady_clock;
    using ClockSource = std::function<Clock::time_point()>;

    RepaintPacer() : now_([] { return Clock::now(); }) {}

    void setClock(ClockSource now) { now_ = std::move(now); }
    void setFrameRate(double framesPerSecond)
    {
        const double rate = framesPerSecond >= 1.0 ? framesPerSecond : 60.0;
        frame_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    }
    Clock::duration frame() const { return frame_; }

    // Whether a change now may be painted.
    bool due() const { return !painted_ || now_() - lastPaint_ >= frame_; }
    void painted()
    {
        lastPaint_ = now_();
        painted_ = true;
    }

private:
    ClockSource now_;
    Clock::duration frame_ = std::chrono::milliseconds(16);
    Clock::time_point lastPaint_{};
    bool painted_ = false;
};

} // namespace korvane::ui
