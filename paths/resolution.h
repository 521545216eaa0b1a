#pragma once

#include <string>
#include <vector>

namespace korvane {

// How a stored name was looked for.
enum class PathKind {
    NotWindows, // not a Windows path: looked for exactly as stored
    Mapped,     // a drive or share with a mapping: looked for below its folder
    NoMapping,  // a drive or share without a mapping: looked for as stored
    NotAFile,   // a device name space or a server without a share: never looked for
};

// What looking for one stored name found.
struct Resolution {
    PathKind kind = PathKind::NotWindows;
    bool found = false;
    // The code page the name was read in ("CP932"), for Windows paths that
    // are not all ASCII; empty otherwise. `otherCodePage` when that is not
    // the project's: only that reading found the file.
    std::string codePage;
    bool otherCodePage = false;
    // "D:" or "\\server\share" (decoded) for Windows paths; empty otherwise.
    std::string root;
    // The root of the mapping used last ("D:", "D:\Video"): the one under
    // which the name was found, else the last one tried; empty when none was.
    std::string mappedRoot;
    // The local path that was looked for: for a mapped name the folder of its
    // mapping and its names, with each name that was found replaced by the
    // entry on disk it matched; for every other kind the stored bytes.
    std::string localPath;
    // Why nothing was found, in UTF-8: "no mapping for drive D:", "no mapping
    // for drive D: outside D:\Video", "folder "X" not found", "no entry named
    // "Y" in folder "X"", ... Empty when found.
    std::string reason;

    // A place looked in, under one mapping, that found nothing.
    struct Attempt {
        std::string mappedRoot;
        std::string localPath;
        std::string reason;
    };
    // Where a mapped name was looked for before the place of mappedRoot,
    // localPath and reason, in the order tried: empty unless several mappings
    // cover the name (see DriveMap::covering) and an earlier one found nothing.
    std::vector<Attempt> tried;
};

// One line for the user: "found as PATH", "tried PATH: REASON", "no mapping
// for drive D:, looked for as stored", "not found as stored". Every name in
// it is shown as quoteName shows it, so no name can break the line or talk
// to a terminal.
std::string describe(const Resolution& resolution);

// One line for each place looked in, in order: "tried PATH: REASON" for each
// of resolution.tried, then describe(resolution).
std::vector<std::string> describeEach(const Resolution& resolution);

// Forgets what the last look-up answered (but `tried`, `codePage` and
// `otherCodePage`); the memory is kept for the next.
void clearAnswer(Resolution& resolution);

// Before looking under the next mapping: keeps where the last one looked in
// `tried`, unless only the answer counts.
void nextAttempt(Resolution& resolution, bool answerOnly);

} // namespace korvane
