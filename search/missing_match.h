#pragma once

#include "search/file_index.h"
#include "search/folder_evidence.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A missing file as the report lists it: the bytes stored in the project,
// and their text in UTF-8 (decoded from the project's code page).
struct MissingFile {
    std::string stored;
    std::string decoded;
    std::string codePage = {}; // the code page `decoded` was read in, when it matters; else empty
};

// The missing files of `stored` paths, each decoded by `decode` (the
// project's code page); without one, the bytes are taken as UTF-8, invalid
// bytes as U+FFFD.
std::vector<MissingFile> missingFiles(const std::vector<std::string_view>& stored,
                                      const std::function<std::string(std::string_view)>& decode = {});

// A stored path taken apart for the search, from its decoded text.
struct StoredPath {
    // "D:" or "\\server\share" for a Windows path (as the path resolver
    // writes roots); empty for any other path.
    std::string root;
    // The folder names between the root (or the start) and the file name,
    // split on `\` and `/`, with empty names and `.` left out and `..`
    // taking away the name before it.
    std::vector<std::string> folders;
    std::string name;
    // Why the path is not searched for: it names no file (a trailing
    // separator, a bare root, a device), or its name holds wildcards.
    // Empty when it is searched for.
    std::string notSearched;
};

StoredPath parseStoredPath(std::string_view decoded);

enum class MatchKind : std::uint8_t {
    SameName,       // the stored name, compared without regard to case or composition
    OtherExtension, // the stored name with another extension: a transcoded copy
    SameContent,    // another name, holding what was remembered of the stored name: the file renamed
};

struct Candidate {
    FileId file = 0;
    // What its folders say of the stored folders (see FolderEvidence): what
    // all those found anywhere on its path weigh; the distinctive ones found
    // (bit k: the k-th stored folder, the first 32) and how many.
    float weight = 0;
    std::uint32_t distinctive = 0;
    // How many folder names at the end of the candidate's folder path are
    // those at the end of the stored folder path: `...\Wedding\Day1\clip.avi`
    // and `.../Wedding/Day1/clip.avi` share 2.
    std::uint16_t sharedFolders = 0;
    // The shared tail of folders when it reaches a distinctive stored folder
    // (Wedding_Mueller/CamA below Wedding_Mueller), else 0: below a name that
    // tells the shoot, the generic folders tell the card; alone (DCIM,
    // PRIVATE/M4ROOT/CLIP of another client's card) they tell nothing.
    std::uint8_t anchoredTail = 0;
    std::uint8_t distinctiveCount = 0;
    MatchKind kind = MatchKind::SameName;
    // The name on disk is the stored name byte for byte.
    bool sameSpelling = false;
    // Its path names only other dates than the stored path.
    bool otherDate = false;
    // Known to open for reading (the best few are checked as they are found).
    bool readable = false;
};

// How the folders' evidence orders two candidates: below 0 when `a` has the
// stronger (the most distinctive stored folders on its path, then the
// longest anchored tail, then the most weight), above 0 when `b` has, 0
// when they are even.
inline int compareEvidence(const Candidate& a, const Candidate& b)
{
    if (a.distinctiveCount != b.distinctiveCount)
        return a.distinctiveCount > b.distinctiveCount ? -1 : 1;
    if (a.anchoredTail != b.anchoredTail)
        return a.anchoredTail > b.anchoredTail ? -1 : 1;
    if (a.weight != b.weight)
        return a.weight > b.weight ? -1 : 1;
    return 0;
}

// What the search found for one missing file.
struct MissingMatch {
    MissingFile file;
    StoredPath path;
    std::string rootKey;                 // path.root compared without regard to case
    std::vector<std::string> folderKeys; // matchKey of each of path.folders
    // Best first: a path of other dates last; then the most distinctive
    // stored folders found on the path, then the longest anchored tail, then
    // the most weight of stored folders found (camera names repeat on every card: the folders tell
    // shoots apart); then the same name before another extension; then the
    // same spelling before a name that differs in case or composition; then
    // by path. At most MatchOptions::maxCandidates.
    std::vector<Candidate> candidates;
    std::size_t candidateCount = 0; // before the list was cut
    bool found() const { return !candidates.empty(); }
};

struct MatchOptions {
    std::size_t maxCandidates = 100;
    // How many of the best candidates must be files that can be opened for
    // reading: those shown. Each is checked, and one that cannot be read is
    // dropped (and no longer counted) so the next takes its place. Checking
    // every candidate would ask about every file of a tree of repeated names.
    std::size_t checkedCandidates = 5;
};

// Looks for each missing file by name in the index (see
// MatchOptions::checkedCandidates for files that cannot be read). A stored path that is
// given more than once is looked for once: one match for each distinct
// stored path, in the order first given.
std::vector<MissingMatch> matchMissing(const FileIndex& index, const std::vector<MissingFile>& missing,
                                       const MatchOptions& options = {});

// Every file of the index under the stored name of `match` itself (not
// another extension), each with its shared folders, in the order of the
// index: what a decision weighs, whatever number of candidates the match
// keeps for showing.
std::vector<Candidate> sameNameCandidates(const FileIndex& index, const FolderEvidence& evidence,
                                          const MissingMatch& match);

} // namespace korvane
