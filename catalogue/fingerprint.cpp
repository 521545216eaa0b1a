#include "catalogue/fingerprint.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace korvane {

FileFacts factsOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec,
            static_cast<std::uint64_t>(st.st_ino)};
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
    } else {
        const std::optional<Digest> digest = fingerprintOpenFile(fd, static_cast<std::uint64_t>(before.st_size));
        const int readError = errno;
        // A file cut shorter or written to while it was read is busy, not
        // unreadable: the next run reads it again.
        if (::fstat(fd, &after) != 0 || factsOf(after) != factsOf(before))
            errno = EBUSY;
        else if (digest)
            result = Fingerprinted{factsOf(before), *digest};
        else
            errno = readError;
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return result;
}

} // namespace korvane
