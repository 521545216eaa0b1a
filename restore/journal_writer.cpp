#include "restore/journal_writer.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

// Opens the journal folder, making it and the folders above it that are
// missing (mode 0700); -1 with errno set when it cannot be had, or when it
// is not a folder of this user's that only this user can write.
int openJournalFolder(const std::string& folder)
{
    for (std::size_t k = 1; k <= folder.size(); ++k) {
        if (k == folder.size() || folder[k] == '/') {
            const std::string at = folder.substr(0, k);
            if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST)
                return -1;
        }
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

std::string stampNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    return stamp;
}

} // namespace

std::string journalFolder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/korvane";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/state/korvane";
}

JournalWriter::JournalWriter(int fd, std::string path, FaultHook fault)
    : fd_(fd), path_(std::move(path)), fault_(std::move(fault))
{
}

JournalWriter::JournalWriter(JournalWriter&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), fault_(std::move(other.fault_)),
      error_(other.error_), unsynced_(other.unsynced_), lastId_(other.lastId_)
{
}

JournalWriter::~JournalWriter()
{
    if (fd_ >= 0)
        ::close(fd_);
}

namespace {

// Gives the journal open as `fd`, its header written and synced, its name
// in `dir`: the first free of "put-back-STAMP.journal", "...-2.journal", ...
// The name never replaces anything. An empty string when none could be given.
std::string nameJournal(int dir, int fd, const std::string& stamp, int& error)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int n = 1; n < 1000; ++n) {
        std::string name = "put-back-" + stamp;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        name += ".journal";
        if (::linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return name;
        if (errno != EEXIST) {
            error = errno;
            return {};
        }
    }
    error = EEXIST;
    return {};
}

// Where a file cannot be made without a name: the journal made under its
// name at once; a run killed before its header leaves an empty file.
int openNamed(int dir, const std::string& stamp, std::string& name)
{
    for (int n = 1; n < 1000; ++n) {
        name = "put-back-" + stamp;
        if (n > 1) {
            name += '-';
            name += std::to_string(n);
        }
        name += ".journal";
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

std::optional<JournalWriter> JournalWriter::create(const std::string& folder, int& error, FaultHook fault)
{
    const int dir = openJournalFolder(folder);
    if (dir < 0) {
        error = errno;
        return std::nullopt;
    }
    // Made without a name and named once its header is on the disk: a run
    // killed before leaves no journal, rather than one that is not one.
    const std::string stamp = stampNow();
    std::string name;
    int fd = ::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    const bool unnamed = fd >= 0;
    if (!unnamed && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL))
        fd = openNamed(dir, stamp, name);
    if (fd < 0) {
        error = errno;
        ::close(dir);
        return std::nullopt;
    }
    JournalWriter writer(fd, {}, std::move(fault));
    const std::string header = std::string(kJournalHeader) + "\n";
    if (!writer.write(header) || !writer.sync())
        error = writer.error_, name.clear();
    else if (unnamed)
        name = nameJournal(dir, fd, stamp, error);
    if (!name.empty() && ::fsync(dir) != 0) {
        error = errno;
        ::unlinkat(dir, name.c_str(), 0);
        name.clear();
    }
    ::close(dir);
    if (name.empty())
        return std::nullopt;
    writer.path_ = folder + "/" + name;
    return writer;
}

bool JournalWriter::fail(int error)
{
    if (error_ == 0)
        error_ = error;
    errno = error_;
    return false;
}

bool JournalWriter::write(std::string_view line)
{
    if (error_ != 0)
        return fail(error_);
    if (const int injected = faultAt(fault_, "journal-write"))
        return fail(injected);
    for (;;) {
        const ssize_t n = ::write(fd_, line.data(), line.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (static_cast<std::size_t>(n) != line.size())
            return fail(ENOSPC); // a short write: the rest did not fit
        unsynced_ = true;
        return true;
    }
}

bool JournalWriter::add(const JournalRecord& record)
{
    return write(formatRecord(record));
}

bool JournalWriter::sync()
{
    if (error_ != 0)
        return fail(error_);
    if (!unsynced_)
        return true;
    if (const int injected = faultAt(fault_, "journal-sync"))
        return fail(injected);
    if (::fdatasync(fd_) != 0)
        return fail(errno);
    unsynced_ = false;
    return true;
}

} // namespace korvane
