#pragma once

#include "restore/fault_hook.h"
#include "restore/journal_format.h"

#include <cstdint>
#include <optional>
#include <string>

namespace korvane {

// The folder journals go in: $XDG_STATE_HOME/korvane, else
// ~/.local/state/korvane.
std::string journalFolder();

// A journal being written. Each record is one write(2) of its whole line,
// its count checked; records reach the disk at each sync. The first write
// or sync that fails is the last: every later one fails with the same
// error, so a journal never holds a line after one that was lost.
class JournalWriter {
public:
    // Creates a new journal in `folder`, named by the local date and time
    // ("put-back-2026-12-08-102030.journal", a suffix added if one of that
    // name exists), its header synced. The folder is made (mode 0700) if
    // need be; one that exists must be a real folder of this user that no
    // one else can write. Nothing, with `error` set, otherwise.
    static std::optional<JournalWriter> create(const std::string& folder, int& error, FaultHook fault = {});
    JournalWriter(JournalWriter&& other) noexcept;
    JournalWriter& operator=(JournalWriter&&) = delete;
    JournalWriter(const JournalWriter&) = delete;
    ~JournalWriter();

    const std::string& path() const { return path_; }
    // False, with error() set, when the line could not be written whole.
    bool add(const JournalRecord& record);
    // Makes what was added durable; false, with error() set, when it fails.
    bool sync();
    // 0, or the errno of the first failure.
    int error() const { return error_; }
    // The next ID of an intent: 1, 2, ...
    std::uint64_t nextId() { return ++lastId_; }

private:
    JournalWriter(int fd, std::string path, FaultHook fault);
    bool fail(int error);
    bool write(std::string_view line);

    int fd_;
    std::string path_;
    FaultHook fault_;
    int error_ = 0;
    bool unsynced_ = false;
    std::uint64_t lastId_ = 0;
};

} // namespace korvane
