#pragma once

#include "restore/content_hash.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// One thing a run of putting back created, in the order created.
struct JournalEntry {
    // Temporary: a file made under a temporary name to be renamed into
    // place; left only by a run cut short.
    enum class Kind : std::uint8_t { Folder, Link, Copy, Temporary };
    Kind kind = Kind::Folder;
    std::string path;
    std::string source;     // Link, Copy: the file it was made from
    std::uint64_t device = 0; // Link: the file linked
    std::uint64_t inode = 0;
    ContentHash content;    // Copy: what was written
};

// The journal of one run, written as the run goes: each entry is appended
// and handed to the system at once, so that a run cut short leaves a journal
// of what it did. One line an entry, names escaped to printable ASCII.
class JournalWriter {
public:
    // Creates a new journal in `folder` (made if need be), named by the
    // local date and time ("put-back-2026-12-08-102030.journal", a suffix
    // added if one of that name exists). Nothing, with `error` set, when it
    // cannot be made.
    static std::optional<JournalWriter> create(const std::string& folder, int& error);
    JournalWriter(JournalWriter&& other) noexcept;
    JournalWriter& operator=(JournalWriter&&) = delete;
    ~JournalWriter();

    const std::string& path() const { return path_; }
    // False, with errno set, when the entry could not be written.
    bool add(const JournalEntry& entry);

private:
    JournalWriter(std::FILE* file, std::string path);
    std::FILE* file_;
    std::string path_;
};

// The folder journals go in: $XDG_STATE_HOME/korvane, else
// ~/.local/state/korvane.
std::string journalFolder();

// The entries of a journal, in the order written; a last line cut short by
// a crash is left out. Nothing, with `error` set, when it cannot be read or
// is not a journal.
std::optional<std::vector<JournalEntry>> readJournal(const std::string& path, std::string& error);

} // namespace korvane
