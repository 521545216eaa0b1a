#pragma once

#include "restore/journal_format.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A journal as read: its records in the order written.
struct Journal {
    int version = 2;
    std::vector<JournalRecord> records;
    // The last line had no end: the run was cut short while writing it, and
    // it is left out (its act, announced by no whole line, never began).
    bool cutShort = false;
    // When the journal file was made and last written (nanoseconds since
    // the epoch; `begun` 0 where the file system keeps no birth time): what
    // a run made lies between the two.
    std::int64_t begun = 0;
    std::int64_t ended = 0;
};

// The largest journal read: a run of a million files writes about 500 MB;
// anything larger is not a journal of this program's.
inline constexpr std::size_t kMostJournalBytes = std::size_t{256} << 20;

// Reads a journal piece by piece, taking only what the writer writes: each
// line exactly as formatRecord writes it, and in an order a run writes
// them (version 2: every intent's ID one more than the last, each
// completion after its intent and only once, every place below a root
// named before it). The first line that is not marks the journal damaged.
class JournalParser {
public:
    // Takes the next bytes of the journal; false once it is damaged.
    bool feed(std::string_view bytes);
    // The journal, or nothing when it is damaged or empty; `error` then
    // says which line and why ("line 7 is damaged").
    std::optional<Journal> finish(std::string& error);

private:
    bool takeLine(std::string_view line);
    bool damaged(std::string why);
    bool inOrder(const JournalRecord& record);

    // What a version 2 intent has had so far.
    struct Progress {
        bool folder = false;
        bool made = false;     // folder-made
        bool ended = false;    // linked, copied or dropped
        bool written = false;
    };
    Journal journal_;
    std::string partial_; // the line being read
    std::size_t line_ = 0;
    bool header_ = false;
    std::string error_;
    std::vector<Progress> ids_; // by ID - 1
    std::vector<std::string> roots_;
};

// The journal at `path`: opened without blocking and read only when it is
// a regular file of at most kMostJournalBytes. Nothing, with `error` set,
// when it cannot be read or is damaged.
std::optional<Journal> readJournal(const std::string& path, std::string& error);

} // namespace korvane
