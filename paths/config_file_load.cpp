// Reading the configuration file from the disk: its type checked before it
// is opened, and never more than kMaxConfigFileBytes of it held.

#include "paths/config_file.h"
#include "text/system_error.h"
#include "text/message.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace korvane {

namespace fs = std::filesystem;

namespace {

// What a file of type `mode` is, for a warning that it is not read.
std::string_view describeFileType(mode_t mode)
{
    if (S_ISFIFO(mode))
        return message("a FIFO");
    if (S_ISCHR(mode))
        return message("a character device");
    if (S_ISBLK(mode))
        return message("a block device");
    if (S_ISSOCK(mode))
        return message("a socket");
    if (S_ISDIR(mode))
        return message("a folder");
    return message("something other than a file");
}

// The whole of `fd`, a regular file, when it holds at most `cap` bytes:
// read in pieces, so that a file that grows while it is read is not held
// beyond the cap either. Sets `tooLarge` when it holds more; nothing with
// errno set when a read fails.
std::optional<std::string> readUpTo(int fd, std::size_t cap, std::size_t sizeHint, bool& tooLarge)
{
    std::string text;
    text.reserve(std::min(sizeHint, cap));
    char piece[16384];
    for (;;) {
        const ssize_t n = ::read(fd, piece, sizeof piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        const auto count = static_cast<std::size_t>(n);
        if (count > cap - text.size()) {
            tooLarge = true;
            return std::string();
        }
        text.append(piece, count);
    }
}

} // namespace

// A file larger than the cap is refused as a whole rather than read in part:
// later lines win, so the part before the cap could map a root that a line
// beyond it maps elsewhere, and the dialogs write back what they loaded, so
// a part written back would lose the rest of the file.
ConfigFile ConfigFile::load(const fs::path& file, std::string* error)
{
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = fillMessage("cannot read %1: %2", {file.string(), why});
        return ConfigFile();
    };
    // The type is known before the file is opened: opening a FIFO waits for
    // a writer, and opening a device may do something.
    struct stat before;
    if (::stat(file.c_str(), &before) != 0)
        return errno == ENOENT ? ConfigFile() : fail(systemErrorText(errno));
    if (!S_ISREG(before.st_mode))
        return fail(fillMessage("it is %1, not a regular file", {describeFileType(before.st_mode)}));
    const std::string tooLarge =
        message("it is larger than 1 MiB, the most a configuration file may hold; none of its settings are used");
    if (static_cast<std::uintmax_t>(before.st_size) > kMaxConfigFileBytes)
        return fail(tooLarge);

    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ConfigFile() : fail(systemErrorText(errno));
    struct stat after;
    if (::fstat(fd, &after) != 0 || !S_ISREG(after.st_mode) || after.st_dev != before.st_dev ||
        after.st_ino != before.st_ino) {
        ::close(fd);
        return fail(message("it was replaced while it was opened"));
    }
    bool overCap = false;
    const std::optional<std::string> text =
        readUpTo(fd, kMaxConfigFileBytes, static_cast<std::size_t>(after.st_size), overCap);
    const int readError = errno;
    ::close(fd);
    if (!text)
        return fail(systemErrorText(readError));
    if (overCap)
        return fail(tooLarge);
    return parse(*text);
}

} // namespace korvane
