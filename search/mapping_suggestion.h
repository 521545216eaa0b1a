#pragma once

#include "paths/drive_map.h"
#include "search/file_index.h"
#include "search/missing_decision.h"
#include "search/missing_match.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// A stored folder prefix and the local folder that stands for it now.
struct MappingSuggestion {
    std::string root;         // "D:" or "\\server\share"
    std::string storedPrefix; // the root and the folders below it, joined by `\`: "D:\Video"
    std::size_t storedDepth = 0; // folders below the root in storedPrefix
    std::string localFolder;  // absolute
    // The matches (indices into the list given) whose stored path the
    // mapping turns into the path of a file of the same name, and that no
    // suggestion before it finds, in order.
    std::vector<std::size_t> explains;
    // How many of the matches name the same root: "explains 12 of 14".
    std::size_t missingOnRoot = 0;

    // A mapping of a whole drive or share rather than of a folder on one.
    bool wholeRoot() const { return storedDepth == 0; }
};

struct SuggestOptions {
    std::size_t maxSuggestions = 20;
    // The mappings the run looks through. A suggestion never names one of
    // their roots: it could only replace that mapping, not add a place.
    std::vector<DriveMapping> inUse;
};

// Derives mappings from the files the search decided on (see decideMissing),
// never from a file left undecided, and never one that would send an
// undecided file to one of its candidates. A path that
// several mappings cover is looked for under each, the longest root first,
// and the first place where the file is found wins; so a mapping only adds
// places to look, and one that finds a missing file loses none that is found.
//
// Each candidate of a missing Windows path gives the prefix pairs that turn
// the stored path into the candidate's: the stored folder path and the local
// one without the folders they share at their ends, and each step from there
// down the shared folders (`D:\Video\Day1\clip.avi` found as
// `/mnt/m/Video/Day1/clip.avi` gives `D:` -> `/mnt/m`, `D:\Video` ->
// `/mnt/m/Video`, `D:\Video\Day1` -> `/mnt/m/Video/Day1`). Folders are
// compared as whole names, without regard to case or composition, so
// `D:\MyProject` never stands for `D:\MyProjectV2`. A candidate gives none
// when the first folder where the two paths part is the stored one's twin
// but for its numbers (`Shoot_001` against `Shoot_000`, `Card_49` against
// `Card_50`): that is another shoot's or card's copy of the name.
//
// A pair is left out when its prefix is the root of a mapping in use, when
// its prefix or local folder holds a control character (a folder named
// `x<line break>map E: = /tmp` must not make a configuration line of its
// own), and a folder mapping (not a whole drive or share) when it finds one
// file only, unless that is every missing file below its prefix.
//
// The pairs left are then chosen as a cover: again and again the pair that
// finds the most missing files not yet found (on a tie a whole drive or
// share, then the shorter stored prefix, then by text), never two of one
// prefix, until none finds another. The result is ordered by how many
// missing files each one finds, most first. The work is linear in the
// candidates given, times the depth of their stored folders.
std::vector<MappingSuggestion> suggestMappings(const FileIndex& index, const std::vector<MissingMatch>& matches,
                                               const std::vector<Decision>& decisions,
                                               const SuggestOptions& options = {});

// The suggestion as a korvane-scan argument, quoted for a POSIX shell:
// --map D:=/mnt/media, --map '\\nas\media'=/mnt/nas, --map 'D:\Video'=/mnt/v.
std::string mapArgument(const MappingSuggestion& suggestion);
// The suggestion as a line of the configuration file: map D: = /mnt/media.
std::string configLine(const MappingSuggestion& suggestion);
// `text` as one word of a POSIX shell: as it is when it holds nothing the
// shell would change, else in single quotes.
std::string shellQuote(std::string_view text);

} // namespace korvane
