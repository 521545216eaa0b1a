#pragma once

// Escape stops long work, and where nothing runs it ends the window. A user
// who wants something to stop often presses Escape twice: the second press,
// coming after the work has stopped, must not end the window and throw away
// what the stop kept. So for a while after a stop Escape does nothing.

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace korvane::ui {

class StopGrace {
public:
    using Clock = std::chrono::steady_clock;
    using ClockSource = std::function<Clock::time_point()>;

    // About the time between two presses of a user who wants something to stop.
    static constexpr std::chrono::milliseconds kPeriod{2000};

    // For tests.
    void setClock(ClockSource now) { now_ = std::move(now); }
    // Something was asked to stop, or has stopped, now.
    void stopped() { at_ = now_(); }
    // Whether Escape may end the window now.
    bool escapeMayEnd() const { return !at_ || now_() - *at_ >= kPeriod; }

private:
    ClockSource now_ = [] { return Clock::now(); };
    std::optional<Clock::time_point> at_;
};

} // namespace korvane::ui
