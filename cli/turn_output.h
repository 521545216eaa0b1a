#pragma once

#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace korvane {

// Writes all of `size` bytes at `data` to `fd`; 0, or the system's error number.
int writeAll(int fd, const char* data, std::size_t size);
inline int writeAll(int fd, std::string_view text)
{
    return writeAll(fd, text.data(), text.size());
}

// The stdout of one project of a run of several: kept until the project's
// turn comes, then written out and from then on let through. What is kept
// stays in memory up to kKeptInMemory bytes, most projects' whole output;
// past that it goes on in an anonymous temporary file.
class TurnOutput {
public:
    static constexpr std::size_t kKeptInMemory = std::size_t{1} << 20;

    explicit TurnOutput(int fd) : fd_(fd) {}
    ~TurnOutput();
    TurnOutput(const TurnOutput&) = delete;
    TurnOutput& operator=(const TurnOutput&) = delete;

    // The stream the project writes to; null, with errno, when it cannot be had.
    std::FILE* open();
    // Writes out what was kept, then lets every write through; 0, or the
    // system's error number.
    int takeTurn();

private:
    static ssize_t onWrite(void* cookie, const char* data, std::size_t size);
    // Keeps what is written before the turn; false, with errno, when it cannot.
    bool keep(const char* data, std::size_t size);

    std::mutex mutex_;
    int fd_;
    bool direct_ = false;
    std::string memory_;
    std::FILE* file_ = nullptr; // past kKeptInMemory
};

} // namespace korvane
