#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace korvane {

// When threads that wait on the disk start: once the disk has proved slow,
// or from the first request on.
enum class ReadAhead : std::uint8_t { WhenSlow, Now };

// The one rule for telling a disk that answers at once from one where each
// answer is a round trip, as on a network share: an answer is slow when it
// takes kSlowAnswer or longer, and the disk is slow once kSlowInWindow of a
// window of kWindow timed answers were. Once slow, it stays so. On a local
// disk a stat or a folder of a few dozen names answers in microseconds, less
// than handing the request to another thread costs; on a share it answers in
// a millisecond or more. Safe to time from several threads at once.
class SlowDisk {
public:
    static constexpr std::chrono::microseconds kSlowAnswer{100};
    static constexpr unsigned kSlowInWindow = 8;
    static constexpr unsigned kWindow = 32;

    explicit SlowDisk(ReadAhead start = ReadAhead::WhenSlow) : slow_(start == ReadAhead::Now) {}

    // One answer took `took`.
    void timed(std::chrono::steady_clock::duration took);
    bool slow() const { return slow_.load(std::memory_order_relaxed); }
    // Takes the disk as slow from now on, whatever its answers take.
    void assumeSlow() { slow_.store(true, std::memory_order_relaxed); }

private:
    std::atomic<bool> slow_;
    std::atomic<unsigned> timed_{0};
    std::atomic<unsigned> slowInWindow_{0};
};

// Times `ask()` for `disk` while the disk is not yet known to be slow.
template <typename Ask>
auto timedAnswer(SlowDisk& disk, Ask&& ask)
{
    if (disk.slow())
        return ask();
    const auto start = std::chrono::steady_clock::now();
    auto answer = ask();
    disk.timed(std::chrono::steady_clock::now() - start);
    return answer;
}

} // namespace korvane
