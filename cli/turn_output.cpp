#include "cli/turn_output.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace korvane {

int writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t wrote = ::write(fd, data, size);
        if (wrote < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += wrote;
        size -= static_cast<std::size_t>(wrote);
    }
    return 0;
}

TurnOutput::~TurnOutput()
{
    if (file_)
        std::fclose(file_);
}

std::FILE* TurnOutput::open()
{
    const cookie_io_functions_t functions = {nullptr, &TurnOutput::onWrite, nullptr, nullptr};
    std::FILE* file = ::fopencookie(this, "w", functions);
    if (file)
        std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
    return file;
}

int TurnOutput::takeTurn()
{
    const std::lock_guard lock(mutex_);
    direct_ = true;
    int error = writeAll(fd_, memory_);
    std::string().swap(memory_);
    if (!file_)
        return error;
    std::FILE* kept = std::exchange(file_, nullptr);
    if (error == 0)
        error = std::fflush(kept) == 0 && std::fseek(kept, 0, SEEK_SET) == 0 ? 0 : errno;
    char buffer[1 << 16];
    while (error == 0) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, kept);
        if (got == 0) {
            error = std::ferror(kept) ? EIO : 0;
            break;
        }
        error = writeAll(fd_, buffer, got);
    }
    std::fclose(kept);
    return error;
}

bool TurnOutput::keep(const char* data, std::size_t size)
{
    if (!file_ && memory_.size() + size <= kKeptInMemory) {
        memory_.append(data, size);
        return true;
    }
    if (!file_ && !(file_ = std::tmpfile()))
        return false;
    return std::fwrite(data, 1, size, file_) == size;
}

ssize_t TurnOutput::onWrite(void* cookie, const char* data, std::size_t size)
{
    auto& self = *static_cast<TurnOutput*>(cookie);
    const std::lock_guard lock(self.mutex_);
    if (self.direct_) {
        if (const int error = writeAll(self.fd_, data, size); error != 0) {
            errno = error;
            return -1;
        }
    } else if (!self.keep(data, size)) {
        return -1;
    }
    return static_cast<ssize_t>(size);
}

} // namespace korvane
