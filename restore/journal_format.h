#pragma once

#include "fs/content_digest.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// The journal of putting back is a text file of one record a line, written
// ahead of the acts it announces: an intent before the act, the identity of
// what was made after it. Undo believes a record only where the disk proves
// it (see restore_undo.h); the format is strict so that a damaged line is
// seen as damaged, never read as something else.
//
// Version 2, each field separated by one space, paths absolute and escaped
// (every byte but printable ASCII, and `%`, as %XX in upper-case hex):
//   root PATH                                  a folder files may be put back below
//   folder-intent ID TEMP FINAL                a folder is about to be made as TEMP, then named FINAL
//   folder-made ID DEV INO BTIME               TEMP was made: the folder's identity
//   put ID FINAL TEMP SOURCE DEV INO SIZE MTIME  SOURCE, that file, is about to be put back at FINAL
//                                              (linked there, or copied through TEMP)
//   linked ID CTIME                            FINAL is a hard link to SOURCE; the change time after
//   written ID DEV INO BTIME SIZE SHA256       TEMP holds the copy, durable; its identity and digest
//   copied ID CTIME                            TEMP was named FINAL; the change time after naming
//   dropped ID                                 the run removed its TEMP again and named nothing,
//                                              or found FINAL taken
// MTIME, CTIME and BTIME (the birth time; 0 where the file system keeps
// none) are nanoseconds since the epoch. IDs count up from 1.
// Version 1 (read only): folder PATH; temporary PATH; link DEV INO PATH
// SOURCE; copy SIZE HASH64 PATH SOURCE (spaces escaped too).
inline constexpr std::string_view kJournalHeader = "korvane put-back journal 2";
inline constexpr std::string_view kJournalHeaderV1 = "korvane put-back journal 1";

// The name of a temporary (a file or a folder) a run makes next to its
// final place: ".korvane-put-back-" and 12 letters or digits in version 2,
// 6 in version 1. Unguessable, so that one found is known to be a run's.
inline constexpr std::string_view kTemporaryPrefix = ".korvane-put-back-";
bool isTemporaryName(std::string_view name, int version);

struct JournalRecord {
    enum class Kind : std::uint8_t {
        Root,
        FolderIntent,
        FolderMade,
        Put,
        Linked,
        Written,
        Copied,
        Dropped,
        // Version 1.
        OldFolder,
        OldTemporary,
        OldLink,
        OldCopy,
    };
    Kind kind = Kind::Root;
    std::uint64_t id = 0;
    std::string path;      // Root: the folder; intents: FINAL; version 1: PATH
    std::string temporary; // FolderIntent, Put
    std::string source;    // Put, OldLink, OldCopy
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;      // Put (the source's), Written, OldCopy
    std::int64_t time = 0;       // Put: the source's mtime; Linked, Copied: the ctime after (ns)
    std::int64_t birth = 0;      // FolderMade, Written: the birth time (ns), 0 when unknown
    Digest digest;               // Written
    std::uint64_t oldHash = 0;   // OldCopy
    bool operator==(const JournalRecord&) const = default;
};

// The line of a record, ended by "\n", as the writer writes it.
std::string formatRecord(const JournalRecord& record);

// The record of one line (without its "\n") of a journal of `version`;
// nothing for any line formatRecord would not write, byte for byte: a
// record read is always written back the same.
std::optional<JournalRecord> parseRecord(std::string_view line, int version);

// Whether `path` is as records keep paths: absolute, without empty, "." or
// ".." names, without a trailing "/" (but "/" itself) and without NUL.
bool isCleanPath(std::string_view path);

// The folder part and the name part of a clean path ("/a/b" -> "/a", "b";
// "/b" -> "/", "b").
std::string_view folderPart(std::string_view path);
std::string_view namePart(std::string_view path);

} // namespace korvane
