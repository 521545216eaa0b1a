#pragma once

// Existence tests asked ahead of the scan. Whether a file exists never
// changes how a project is read, so the scan can read on while the tests of
// the paths it met are under way on other threads.

#include <cstdint>
#include <stop_token>
#include <string_view>

namespace korvane {

// Starts existence tests on other threads. One scan thread calls begin,
// ready and wait; the tests themselves run elsewhere.
class LookAhead {
public:
    using Ticket = std::uint32_t;

    virtual ~LookAhead() = default;
    // Starts (or soon starts) looking for `path`, a stored name. A path met
    // before returns the ticket it had.
    virtual Ticket begin(std::string_view path) = 0;
    // Whether the test of `ticket` has ended. Quick: asked for every event.
    virtual bool ready(Ticket ticket) const = 0;
    // Waits until it has, or until a stop is requested of `stop`.
    virtual void wait(Ticket ticket, std::stop_token stop = {}) = 0;
    // Starts every test begun so far that is still held back (tests may be
    // handed to the threads in batches).
    virtual void flush() = 0;
};

} // namespace korvane
