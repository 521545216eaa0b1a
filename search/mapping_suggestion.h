#pragma once

#include "search/file_index.h"
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
    // mapping turns into the path of a file of the same name, in order.
    std::vector<std::size_t> explains;
    // How many of the matches name the same root: "explains 12 of 14".
    std::size_t missingOnRoot = 0;

    // A mapping of a whole drive or share rather than of a folder on one.
    bool wholeRoot() const { return storedDepth == 0; }
};

struct SuggestOptions {
    std::size_t maxSuggestions = 20;
};

// Derives mappings from the files found under their own name. Each
// candidate of a missing Windows path gives the prefix pairs that turn the
// stored path into the candidate's: the stored folder path and the local
// one without the folders they share at their ends, and each step from
// there down the shared folders (`D:\Video\Day1\clip.avi` found as
// `/mnt/m/Video/Day1/clip.avi` gives `D:` -> `/mnt/m`, `D:\Video` ->
// `/mnt/m/Video`, `D:\Video\Day1` -> `/mnt/m/Video/Day1`). Folders are
// compared as whole names, without regard to case or composition, so
// `D:\MyProject` never stands for `D:\MyProjectV2`.
//
// The pairs are then chosen as a cover: again and again the pair that
// explains the most missing files not yet explained (on a tie a whole
// drive or share, then the shorter stored prefix, then by text), until
// none explains another. The result is ordered by how many missing files
// each one explains, most first.
std::vector<MappingSuggestion> suggestMappings(const FileIndex& index, const std::vector<MissingMatch>& matches,
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
