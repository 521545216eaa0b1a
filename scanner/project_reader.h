#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stop_token>
#include <string_view>

namespace korvane {

// Stored text up to its first zero byte: what the existence test, the
// feedback and everything after them see of a name. The scanner cuts every
// name it reads here, and nothing downstream cuts again.
std::string_view textBeforeZero(std::string_view bytes);

// A counted name as stored: one length byte, then that many bytes, held
// zero-terminated. The bytes are the editor's own 8-bit code page, unchanged.
struct CountedName {
    std::uint8_t length = 0;
    // Only the first length + 1 bytes are ever written or read: left
    // uninitialised, a name costs nothing before it is read.
    char bytes[256];

    // All stored bytes, zero bytes included: what the media kind is taken from.
    std::string_view stored() const { return {bytes, length}; }
    // The text up to the first zero byte (textBeforeZero).
    std::string_view text() const { return textBeforeZero(stored()); }
};

// Where the scan is, for telling the user where a damaged file ended.
struct ReadLocation {
    const char* section = "header";
    std::int64_t entry = 0; // 1-based; 0 while a section's count is read
    std::int64_t count = 0;
};

// The sequential little-endian reader over a project file: read strictly in
// order, through a buffer. Every byte past the end reads as 0; the first read
// that finds no byte marks the end as passed (reading the last byte does not).
class ProjectReader {
public:
    // Reads the bytes of `data`, which must outlive the reader.
    explicit ProjectReader(std::span<const std::uint8_t> data);
    static constexpr std::size_t kBufferSize = 64 * 1024;

    // Reads an open file descriptor from its current position; does not own it.
    // Each refill reads at most `refillSize` bytes (1 to kBufferSize): tests
    // make it small so that refills fall inside every field.
    explicit ProjectReader(int fd, std::size_t refillSize = kBufferSize);

    ProjectReader(const ProjectReader&) = delete;
    ProjectReader& operator=(const ProjectReader&) = delete;

    std::uint8_t readByte()
    {
        if (next_ < end_) [[likely]]
            return *next_++;
        return readByteSlow();
    }
    std::uint16_t readU16();
    std::uint32_t readU24();
    // Four bytes as a signed number: the top bit makes it negative.
    std::int32_t readS32();
    // Reads size - 1 bytes into buffer and stores a zero behind them.
    void readChars(char* buffer, std::int64_t size);
    void readName(CountedName& name)
    {
        name.length = readByte();
        name.bytes[0] = '\0';
        if (name.length != 0)
            readNameBytes(name);
    }

    // Passes over bytes exactly as reading them would: once the end is
    // passed nothing more is consumed.
    void skip(std::uint64_t count);
    // Passes over a counted name.
    void skipName() { skip(readByte()); }
    // Passes over the zero bytes that come next, at most `max` of them, of
    // those at hand (refilling first when none are); returns how many.
    // Never passes the end.
    std::uint64_t skipZeros(std::uint64_t max);

    bool passedEnd() const { return passedEnd_; }

    // Whoever requests a stop of `stop` asks the scan to stop: no loop of the
    // scan begins a new entry, item or pair once it is requested.
    void setStop(std::stop_token stop) { stop_ = std::move(stop); }
    bool stopRequested() const { return stop_.stop_requested(); }
    // Whether a loop of the scan must not begin anything new: the end has
    // been passed or a stop was asked for.
    bool halted() const { return passedEnd_ || stopRequested(); }
    // Bytes consumed so far; never more than the file holds.
    std::uint64_t offset() const { return chunkOffset_ + static_cast<std::uint64_t>(next_ - begin_); }
    // The location that was current when the end was first passed.
    const ReadLocation& endLocation() const { return endLocation_; }
    // The system's error number when reading failed before the end (then
    // the rest reads as past the end), or 0.
    int readError() const { return readError_; }

    void mark(const char* section, std::int64_t entry = 0, std::int64_t count = 0)
    {
        location_ = {section, entry, count};
    }

private:
    std::uint8_t readByteSlow();
    void readNameBytes(CountedName& name);
    bool refill();
    void notePassedEnd();

    const std::uint8_t* begin_ = nullptr; // of the bytes at hand
    const std::uint8_t* next_ = nullptr;
    const std::uint8_t* end_ = nullptr;
    std::uint64_t chunkOffset_ = 0; // of begin_ in the file
    int fd_ = -1;
    std::stop_token stop_;
    std::size_t refillSize_ = kBufferSize;
    bool passedEnd_ = false;
    int readError_ = 0;
    ReadLocation location_;
    ReadLocation endLocation_;
    alignas(64) std::uint8_t buffer_[kBufferSize];
};

} // namespace korvane
