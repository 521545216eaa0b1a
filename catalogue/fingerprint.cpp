#include "catalogue/fingerprint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace korvane {

namespace {

// Reads exactly `size` bytes at `offset`; false, with errno set, otherwise.
bool readAt(int fd, unsigned char* buffer, std::size_t size, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0) {
            errno = EBUSY; // shorter than its size said: it is being written
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

FileFacts factsOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<Digest> fingerprintOpenFile(int fd, std::uint64_t size)
{
    thread_local std::vector<unsigned char> buffer(2 * kFingerprintPiece);
    std::array<unsigned char, 8> sizeBytes{};
    for (std::size_t k = 0; k < sizeBytes.size(); ++k)
        sizeBytes[k] = static_cast<unsigned char>(size >> (8 * k));
    DigestBuilder builder;
    builder.add(sizeBytes.data(), sizeBytes.size());
    if (size <= 2 * kFingerprintPiece) {
        if (!readAt(fd, buffer.data(), static_cast<std::size_t>(size), 0))
            return std::nullopt;
        builder.add(buffer.data(), static_cast<std::size_t>(size));
    } else {
        if (!readAt(fd, buffer.data(), kFingerprintPiece, 0) ||
            !readAt(fd, buffer.data() + kFingerprintPiece, kFingerprintPiece, size - kFingerprintPiece))
            return std::nullopt;
        builder.add(buffer.data(), 2 * kFingerprintPiece);
    }
    return builder.finish();
}

std::optional<Fingerprinted> fingerprintFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    struct stat before {};
    struct stat after {};
    std::optional<Fingerprinted> result;
    if (::fstat(fd, &before) != 0) {
        // errno says why
    } else if (!S_ISREG(before.st_mode)) {
        errno = EINVAL;
    } else if (const std::optional<Digest> digest = fingerprintOpenFile(fd, static_cast<std::uint64_t>(before.st_size))) {
        if (::fstat(fd, &after) == 0 && factsOf(after) == factsOf(before))
            result = Fingerprinted{factsOf(before), *digest};
        else
            errno = EBUSY;
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return result;
}

} // namespace korvane
