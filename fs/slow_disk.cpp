#include "fs/slow_disk.h"

namespace korvane {

void SlowDisk::timed(std::chrono::steady_clock::duration took)
{
    if (slow())
        return;
    // Threads may count at once: a window may be cut a little short or
    // long, which matters not.
    const unsigned slowOnes = took >= kSlowAnswer ? slowInWindow_.fetch_add(1) + 1
                                                  : slowInWindow_.load(std::memory_order_relaxed);
    if (slowOnes >= kSlowInWindow)
        slow_.store(true, std::memory_order_relaxed);
    else if ((timed_.fetch_add(1) + 1) % kWindow == 0)
        slowInWindow_.store(0, std::memory_order_relaxed);
}

} // namespace korvane
