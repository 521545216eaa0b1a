#pragma once

// Paces something that is asked for far more often than it is worth doing,
// such as redrawing a progress line: it is due the first time, and then
// again once `interval` has passed since it was last done.

#include <chrono>
#include <functional>
#include <utility>

namespace korvane {

class Throttle {
public:
    using Clock = std::chrono::steady_clock;
    using ClockSource = std::function<Clock::time_point()>;

    explicit Throttle(Clock::duration interval) : interval_(interval) {}

    // Where the time comes from; for tests.
    void setClock(ClockSource now) { now_ = std::move(now); }
    void setInterval(Clock::duration interval) { interval_ = interval; }
    Clock::duration interval() const { return interval_; }

    bool due() const { return !done_ || now() - last_ >= interval_; }
    // Says that it was done now.
    void markDone()
    {
        last_ = now();
        done_ = true;
    }
    // For a caller that does it whenever it may: whether it is due (or
    // forced), and if so marks it done.
    bool claim(bool force = false)
    {
        if (!force && !due())
            return false;
        markDone();
        return true;
    }

private:
    Clock::time_point now() const { return now_ ? now_() : Clock::now(); }

    Clock::duration interval_;
    ClockSource now_;
    Clock::time_point last_{};
    bool done_ = false;
};

} // namespace korvane
