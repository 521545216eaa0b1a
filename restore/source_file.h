#pragma once

#include "restore/restore_plan.h"

#include <optional>
#include <string>

namespace korvane {

// The file a step puts back, held by a descriptor that does not open it
// (O_PATH: a FIFO or a device swapped in is never opened), and only when it
// is the very file the plan saw: a regular file of the same device, inode,
// size and modification time, its last name no link.
class SourceFile {
public:
    // The source of `step`, or nothing with `error` set ("changed since the
    // plan was made", ...).
    static std::optional<SourceFile> open(const RestoreStep& step, std::string& error);
    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&&) = delete;
    SourceFile(const SourceFile&) = delete;
    ~SourceFile();

    // Makes `name` in the folder `dir` a hard link to this very file (never
    // replacing anything): 0 or the errno.
    int linkInto(int dir, const char* name) const;
    // This file opened for reading: a descriptor, or -1 with errno set.
    int openForReading() const;
    const FileIdentity& identity() const { return identity_; }

private:
    SourceFile(int fd, std::string path, FileIdentity identity);
    int fd_;
    std::string path_;
    FileIdentity identity_;
};

// What the file open as `fd` is: device, inode, size and modification time.
FileIdentity identityOf(int fd);

// The birth time of the entry `name` in the folder `dir` (of `dir` itself
// for ""), in nanoseconds since the epoch; 0 where the file system keeps
// none. Unlike the change time it never changes, so it tells an inode from
// a later one given the same number.
std::int64_t birthTime(int dir, const char* name);

} // namespace korvane
