#include "restore/content_hash.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;

std::uint64_t rotate(std::uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

std::uint64_t mix(std::uint64_t lane, std::uint64_t word)
{
    return rotate(lane + word * kPrime2, 31) * kPrime1;
}

// Four lanes of 8-byte words, so the multiplications overlap.
class Hasher {
public:
    void add(const unsigned char* data, std::size_t size)
    {
        size_ += size;
        while (used_ == 0 && size >= sizeof block_) {
            addBlock(data);
            data += sizeof block_;
            size -= sizeof block_;
        }
        while (size > 0) {
            const std::size_t take = std::min(size, sizeof block_ - used_);
            std::memcpy(block_ + used_, data, take);
            used_ += take;
            data += take;
            size -= take;
            if (used_ == sizeof block_) {
                addBlock(block_);
                used_ = 0;
            }
        }
    }

    std::uint64_t finish()
    {
        std::memset(block_ + used_, 0, sizeof block_ - used_);
        addBlock(block_);
        std::uint64_t h = size_ * kPrime1;
        for (const std::uint64_t lane : lanes_)
            h = mix(h, lane);
        h ^= h >> 33;
        h *= kPrime2;
        h ^= h >> 29;
        return h;
    }

private:
    void addBlock(const unsigned char* block)
    {
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint64_t word = 0;
            std::memcpy(&word, block + 8 * k, 8);
            lanes_[k] = mix(lanes_[k], word);
        }
    }

    std::uint64_t lanes_[4] = {kPrime1, kPrime2, ~kPrime1, ~kPrime2};
    unsigned char block_[32] = {};
    std::size_t used_ = 0;
    std::uint64_t size_ = 0;
};

} // namespace

std::optional<ContentHash> hashOpenFile(int fd)
{
    Hasher hasher;
    std::vector<unsigned char> buffer(1 << 18);
    std::uint64_t size = 0;
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (got == 0)
            break;
        hasher.add(buffer.data(), static_cast<std::size_t>(got));
        at += got;
        size += static_cast<std::uint64_t>(got);
    }
    return ContentHash{size, hasher.finish()};
}

std::optional<ContentHash> hashFile(const std::string& path)
{
    // Only a regular file is read: a FIFO or a device put in its place
    // must neither block nor be read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return std::nullopt;
    }
    std::optional<ContentHash> hash = hashOpenFile(fd);
    const int error = errno;
    ::close(fd);
    errno = error;
    return hash;
}

} // namespace korvane
