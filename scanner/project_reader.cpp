#include "scanner/project_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace korvane {

std::string_view textBeforeZero(std::string_view bytes)
{
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    return zero ? bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(zero) - bytes.data())) : bytes;
}

ProjectReader::ProjectReader(std::span<const std::uint8_t> data)
    : begin_(data.data()), next_(data.data()), end_(data.data() + data.size())
{
}

ProjectReader::ProjectReader(int fd, std::size_t refillSize)
    : fd_(fd), refillSize_(std::clamp<std::size_t>(refillSize, 1, kBufferSize))
{
}

bool ProjectReader::refill()
{
    if (fd_ < 0 || passedEnd_)
        return false;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_, refillSize_);
        if (got > 0) {
            chunkOffset_ += static_cast<std::uint64_t>(end_ - begin_);
            begin_ = buffer_;
            next_ = buffer_;
            end_ = buffer_ + got;
            return true;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            readError_ = errno;
        return false;
    }
}

void ProjectReader::notePassedEnd()
{
    if (!passedEnd_) {
        passedEnd_ = true;
        endLocation_ = location_;
    }
    next_ = end_;
}

std::uint8_t ProjectReader::readByteSlow()
{
    if (refill())
        return *next_++;
    notePassedEnd();
    return 0;
}

std::uint16_t ProjectReader::readU16()
{
    const unsigned b0 = readByte();
    const unsigned b1 = readByte();
    return static_cast<std::uint16_t>(b0 | b1 << 8);
}

std::uint32_t ProjectReader::readU24()
{
    const std::uint32_t b0 = readByte();
    const std::uint32_t b1 = readByte();
    const std::uint32_t b2 = readByte();
    return b0 | b1 << 8 | b2 << 16;
}

std::int32_t ProjectReader::readS32()
{
    std::uint32_t v;
    if (end_ - next_ >= 4) [[likely]] {
        v = std::uint32_t(next_[0]) | std::uint32_t(next_[1]) << 8 | std::uint32_t(next_[2]) << 16 |
            std::uint32_t(next_[3]) << 24;
        next_ += 4;
    } else {
        const std::uint32_t b0 = readByte();
        const std::uint32_t b1 = readByte();
        const std::uint32_t b2 = readByte();
        const std::uint32_t b3 = readByte();
        v = b0 | b1 << 8 | b2 << 16 | b3 << 24;
    }
    return static_cast<std::int32_t>(v);
}

void ProjectReader::readChars(char* buffer, std::int64_t size)
{
    std::int64_t want = size - 1;
    char* out = buffer;
    while (want > 0) {
        if (next_ == end_ && !refill()) {
            // Past the end every byte reads as 0.
            notePassedEnd();
            std::memset(out, 0, static_cast<std::size_t>(want));
            out += want;
            break;
        }
        const std::int64_t n = std::min<std::int64_t>(want, end_ - next_);
        std::memcpy(out, next_, static_cast<std::size_t>(n));
        next_ += n;
        out += n;
        want -= n;
    }
    if (size > 0)
        *out = '\0';
}

void ProjectReader::readNameBytes(CountedName& name)
{
    if (end_ - next_ >= name.length) [[likely]] {
        std::memcpy(name.bytes, next_, name.length);
        next_ += name.length;
        name.bytes[name.length] = '\0';
        return;
    }
    readChars(name.bytes, std::int64_t{name.length} + 1);
}

std::uint64_t ProjectReader::skipZeros(std::uint64_t max)
{
    if (next_ == end_ && !refill())
        return 0;
    const std::uint8_t* limit = next_ + std::min(max, static_cast<std::uint64_t>(end_ - next_));
    const std::uint8_t* at = next_;
    // Eight bytes at a time while they are all zero.
    while (limit - at >= 8) {
        std::uint64_t word;
        std::memcpy(&word, at, sizeof word);
        if (word != 0)
            break;
        at += 8;
    }
    while (at < limit && *at == 0)
        ++at;
    const auto passed = static_cast<std::uint64_t>(at - next_);
    next_ = at;
    return passed;
}

void ProjectReader::skip(std::uint64_t count)
{
    while (count > 0) {
        if (next_ == end_ && !refill()) {
            notePassedEnd();
            return;
        }
        const std::uint64_t n = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(end_ - next_));
        next_ += n;
        count -= n;
    }
}

} // namespace korvane
