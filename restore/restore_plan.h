#pragma once

#include "paths/path_resolver.h"
#include "search/missing_search.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvane {

// Why a missing file is not put back.
enum class LeftReason : std::uint8_t {
    NotFound,       // no file of its name was found
    OtherExtension, // the best candidate has another extension: a transcoded file is not the original
    DifferentFiles, // several equally good candidates that are not the same file
    NoMapping,      // its drive or share has no mapping, so it has no local place
    NotWritable,    // the folder it goes in cannot be written
    NotSearched,    // the path names no file that can be looked for
    AlreadyThere,   // its local place holds an entry now
};

struct RestoreStep {
    std::string stored;  // as the project stores it
    std::string decoded; // its text in UTF-8
    bool putBack = false;
    LeftReason reason = LeftReason::NotFound; // when not put back
    std::string source;      // when put back: the file found
    std::string destination; // the local place its stored path resolves to (when it has one)
    // DifferentFiles: how many different files among the equally good
    // candidates, and their sizes in bytes, in the order of the candidates.
    std::vector<std::uint64_t> differentSizes;
    // NotWritable: the folder that cannot be written and why; NotSearched:
    // why the path is not searched for.
    std::string detail;
    int error = 0; // NotWritable: why
};

// "not found", "the closest file found has another extension ...", "3 different files found
// (1024, 2048 and 4096 bytes)", "no mapping for drive D:", "cannot write in
// folder "/x": Permission denied", ... Names as quoteName shows them.
std::string describeLeft(const RestoreStep& step);

struct RestorePlan {
    std::vector<RestoreStep> steps; // one a missing file, in the order of the search's matches
    std::size_t putBackCount() const;
};

struct PlanOptions {
    // Whether a folder that exists can take new entries (0) or the error why
    // not; null: access(2) for writing and searching.
    std::function<int(const std::string& folder)> writable;
};

// The plan for the missing files the search looked for. A file is put back
// when its best candidate stands alone on the strongest evidence (more
// stored folders shared than any other candidate), or when all the equally
// good candidates are the same file (same size, then same content hash);
// never between different files, never from another extension. Its place is
// where the run's mappings put its stored path (the first mapping that
// covers it), each folder of it that exists in another letter case taken as
// it is on disk.
RestorePlan makeRestorePlan(const SearchResults& results, PathResolver& resolver, const PlanOptions& options = {});

} // namespace korvane
