#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <linux/fs.h>
#include <stop_token>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace korvane {

// Copies `size` bytes of `in` into `out`: a clone where the file system
// offers one (tried while `tryClone`, which a refusal clears), else
// copy_file_range, else read and write. 0 or the error; EINTR once stop is
// requested. `copied`: the bytes written.
int copyContent(int in, int out, std::uint64_t size, const std::stop_token& stop, std::uint64_t& copied,
                bool& tryClone)
{
    copied = 0;
    if (tryClone) {
        if (::ioctl(out, FICLONE, in) == 0) {
            copied = size;
            return 0;
        }
        if (errno == EOPNOTSUPP || errno == ENOTTY || errno == EXDEV || errno == EINVAL)
            tryClone = false;
    }
    bool ranged = true;
    std::vector<char> buffer;
    while (copied < size) {
        if (stop.stop_requested())
            return EINTR;
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size - copied, 8u << 20));
        ssize_t n = -1;
        if (ranged) {
            n = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) &&
                copied == 0) {
                ranged = false;
                continue;
            }
        } else {
            buffer.resize(1 << 20);
            n = ::read(in, buffer.data(), std::min(chunk, buffer.size()));
            for (ssize_t written = 0; n > 0 && written < n;) {
                const ssize_t w = ::write(out, buffer.data() + written, static_cast<std::size_t>(n - written));
                if (w < 0 && errno != EINTR)
                    return errno;
                written += std::max<ssize_t>(w, 0);
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO; // the source shrank: the copy would not be the file the plan saw
        copied += static_cast<std::uint64_t>(n);
    }
    return 0;
}

} // namespace korvane
